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

// An optical drive of the system, behind SG_IO on Linux (named by device
// node, without a letter) or SPTI on Windows (named by its letter).
class TSystemDrive final : public TPassThroughDrive {
 public:
  explicit TSystemDrive(std::string node) : FNode(std::move(node)), FLetter(platform::DriveLetterOfDevice(FNode)) {}
  ~TSystemDrive() override { Close(); }
  bool Open() override {
    if (FHandle == platform::kNoScsiHandle) FHandle = platform::OpenScsiDevice(FNode);
    return FHandle != platform::kNoScsiHandle;
  }
  void Close() override {
    platform::CloseScsiDevice(FHandle);
    FHandle = platform::kNoScsiHandle;
  }
  bool IsOpen() const override { return FHandle != platform::kNoScsiHandle; }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                                std::uint32_t timeoutMs) override {
    return platform::ScsiPassThrough(FHandle, cdb, direction, data, sense, timeoutMs);
  }
  std::optional<platform::ScsiAddress> Address() override { return platform::GetScsiAddress(FHandle); }
  char DriveLetter() const override { return FLetter; }
  std::string Location() const override { return FNode; }

 private:
  std::string FNode;
  char FLetter;
  platform::ScsiHandle FHandle = platform::kNoScsiHandle;
};

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
  for (auto& node : platform::ListOpticalDrives()) drives.push_back(std::make_unique<TSystemDrive>(node));
  return drives;
}

}  // namespace device
