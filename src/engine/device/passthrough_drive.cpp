#include "engine/device/passthrough_drive.h"

#include <mutex>
#include <utility>

namespace device {

namespace {

std::mutex gProvidersMutex;
std::vector<std::pair<std::string, TDriveProvider>>& Providers() {
  static std::vector<std::pair<std::string, TDriveProvider>> providers;
  return providers;
}

#ifndef _WIN32
// An optical drive behind SG_IO; Linux names drives by device node, not by letter.
class TSystemDrive final : public TPassThroughDrive {
 public:
  explicit TSystemDrive(std::string node) : FNode(std::move(node)) {}
  ~TSystemDrive() override { Close(); }
  bool Open() override {
    if (FHandle < 0) FHandle = platform::OpenScsiDevice(FNode);
    return FHandle >= 0;
  }
  void Close() override {
    platform::CloseScsiDevice(FHandle);
    FHandle = -1;
  }
  bool IsOpen() const override { return FHandle >= 0; }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                                std::uint32_t timeoutMs) override {
    return platform::ScsiPassThrough(FHandle, cdb, direction, data, sense, timeoutMs);
  }
  std::optional<platform::ScsiAddress> Address() override { return platform::GetScsiAddress(FHandle); }
  char DriveLetter() const override { return '\0'; }
  std::string Location() const override { return FNode; }

 private:
  std::string FNode;
  int FHandle = -1;
};
#endif

}  // namespace

void RegisterDriveProvider(const std::string& name, TDriveProvider provider) {
  std::lock_guard<std::mutex> g(gProvidersMutex);
  for (auto& p : Providers()) {
    if (p.first == name) {
      p.second = std::move(provider);
      return;
    }
  }
  Providers().emplace_back(name, std::move(provider));
}

void UnregisterDriveProvider(const std::string& name) {
  std::lock_guard<std::mutex> g(gProvidersMutex);
  std::erase_if(Providers(), [&](const auto& p) { return p.first == name; });
}

std::vector<std::unique_ptr<TPassThroughDrive>> RegisteredDrives() {
  std::vector<std::pair<std::string, TDriveProvider>> providers;
  {
    std::lock_guard<std::mutex> g(gProvidersMutex);
    providers = Providers();
  }
  std::vector<std::unique_ptr<TPassThroughDrive>> drives;
  for (auto& p : providers) {
    if (!p.second) continue;
    for (auto& d : p.second()) {
      if (d) drives.push_back(std::move(d));
    }
  }
  return drives;
}

std::vector<std::unique_ptr<TPassThroughDrive>> SystemOpticalDrives() {
  std::vector<std::unique_ptr<TPassThroughDrive>> drives;
#ifndef _WIN32
  for (auto& node : platform::ListOpticalDrives()) drives.push_back(std::make_unique<TSystemDrive>(node));
#endif
  return drives;
}

}  // namespace device
