#include "vdrive/registration.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "engine/device/passthrough_drive.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/utf8_path.h"

namespace vdrive {

namespace {

// The built-in layer's view of a recorder: unaddressed, so it sits on the
// extra adapter, and named by its disc file.
class TVirtualDrive final : public device::TPassThroughDrive {
 public:
  explicit TVirtualDrive(std::shared_ptr<TVirtualRecorder> recorder) : FRecorder(std::move(recorder)) {}
  ~TVirtualDrive() override {
    if (FOpen) FRecorder->Close();
  }
  bool Open() override {
    if (!FOpen) FOpen = FRecorder->Open();
    return FOpen;
  }
  void Close() override {
    if (FOpen) FRecorder->Close();
    FOpen = false;
  }
  bool IsOpen() const override { return FOpen; }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense, std::uint32_t) override {
    return FRecorder->Execute(cdb, direction, data, sense);
  }
  std::optional<platform::ScsiAddress> Address() override { return std::nullopt; }
  char DriveLetter() const override { return 0; }
  std::string Location() const override { return FRecorder->DiscPath(); }
  std::string OpenProblem() const override { return FRecorder->OpenProblem(); }

 private:
  std::shared_ptr<TVirtualRecorder> FRecorder;
  bool FOpen = false;
};

std::mutex gRecordersMutex;
std::map<std::string, std::shared_ptr<TVirtualRecorder>>& Recorders() {
  static std::map<std::string, std::shared_ptr<TVirtualRecorder>> recorders;
  return recorders;
}

}  // namespace

std::string DefaultDiscPath() {
  const std::string base = platform::UserDataFolder();
  if (base.empty()) return {};
  return platform::PathUtf8(platform::Utf8Path(base) / "zantic" / "vdisc.zvd");
}

std::vector<std::string> ConfiguredDiscs() {
  std::vector<std::string> discs;
  if (const auto list = platform::GetEnvironment("ZANTIC_VDISC"); list && !list->empty()) {
    const std::string& all = *list;
    std::size_t from = 0;
    while (from <= all.size()) {
      const std::size_t to = std::min(all.find(platform::kPathListSeparator, from), all.size());
      if (to > from) discs.push_back(all.substr(from, to - from));
      from = to + 1;
    }
    return discs;
  }
  if (std::string path = DefaultDiscPath(); !path.empty()) discs.push_back(path);
  return discs;
}

std::unique_ptr<device::TPassThroughDrive> MakePassThroughDrive(std::shared_ptr<TVirtualRecorder> recorder) {
  return std::make_unique<TVirtualDrive>(std::move(recorder));
}

std::shared_ptr<TVirtualRecorder> RecorderFor(const std::string& discPath) {
  std::lock_guard<std::mutex> g(gRecordersMutex);
  auto& slot = Recorders()[discPath];
  if (!slot) slot = std::make_shared<TVirtualRecorder>(discPath);
  return slot;
}

void RegisterVirtualRecorders() {
  const std::vector<std::string> discs = ConfiguredDiscs();
  const auto configured = platform::GetEnvironment("ZANTIC_VDISC");
  const bool useDefault = !configured || configured->empty();
  device::RegisterDriveProvider(kProviderName, [discs, useDefault] {
    // The default disc is made when a drive list first needs it. A failure
    // leaves a recorder without a disc, which says so when asked.
    std::error_code ec;
    if (useDefault && !discs.empty() && !std::filesystem::exists(platform::Utf8Path(discs.front()), ec)) {
      std::filesystem::create_directories(platform::Utf8Path(discs.front()).parent_path(), ec);
      TDiscFile::Create(discs.front(), BlankDisc(TMedia::DvdPlusR, 0));
    }
    std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
    for (const auto& path : discs) drives.push_back(MakePassThroughDrive(RecorderFor(path)));
    return drives;
  });
}

void RegisterVirtualRecorderFor(const std::string& discPath) {
  device::RegisterDriveProvider(kProviderName, [discPath] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
    drives.push_back(MakePassThroughDrive(RecorderFor(discPath)));
    return drives;
  });
}

void UnregisterVirtualRecorders() {
  device::UnregisterDriveProvider(kProviderName);
  std::lock_guard<std::mutex> g(gRecordersMutex);
  Recorders().clear();
}

}  // namespace vdrive
