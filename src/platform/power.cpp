#include "platform/power.h"

#include <mutex>
#include <utility>

namespace platform {
namespace {
std::mutex& FakeMutex() {
  static std::mutex m;
  return m;
}
std::function<bool(std::string&)>& Fake() {
  static std::function<bool(std::string&)> f;
  return f;
}
}  // namespace

void SetPowerOffForTesting(std::function<bool(std::string&)> fake) {
  std::lock_guard lock(FakeMutex());
  Fake() = std::move(fake);
}

bool PowerOff(std::string& error) {
  error.clear();
  std::function<bool(std::string&)> fake;
  {
    std::lock_guard lock(FakeMutex());
    fake = Fake();
  }
  const bool ok = fake ? fake(error) : detail::SystemPowerOff(error);
  if (!ok && error.empty()) error = "The computer could not be switched off.";
  return ok;
}

}  // namespace platform
