#include "engine/kavo_burner.h"

#include <atomic>

#include "engine/iso/date_time.h"
#include "engine/stream/direct_writer.h"
#include "engine/texts.h"
#include "platform/time_zone.h"

namespace engine {
namespace {
// One operation runs at a time in the process; the abort request is shared.
std::atomic<bool> gCancelRequested{false};
}  // namespace

TKavoBurner::TKavoBurner() { ResetCompilation(65535, 8191); }

TKavoBurner::~TKavoBurner() = default;

void TKavoBurner::SetCacheSize(std::uint32_t v) {
  FCacheSize = v < 2097152 ? 2097152 : v - v % 2048;
}

int TKavoBurner::PrepareLayout(LayoutTarget target) {
  FDoDebug = false;
  iso::LayoutOptions options;
  options.Joliet = FJolietFileSystem;
  // Reading the next writable address and merging an imported session join
  // here for disc targets once the drive side is in place.
  (void)target;
  options.SessionStart = 0;
  FLayout = iso::ComputeLayout(FTables, options);
  FLaidOut = false;
  return 1;
}

bool TKavoBurner::BuildHeader() {
  iso::HeaderInput in;
  in.Tables = &FTables;
  in.Layout = &FLayout;
  in.Ids = FIds;
  in.Now = platform::NowLocal();
  in.TimeZoneOffset = static_cast<std::int8_t>(in.Now.UtcOffsetMinutes / 15);
  in.NowAgain = platform::NowLocal();
  auto built = iso::BuildHeaderStream(in);
  if (!built) {
    DebugMessage(">>> " + std::string(texts::kLayoutFailed) + " " + built.Err().Message, device::kMsgCompilationError);
    FHeader = {};
    return false;
  }
  FHeader = std::move(built.Value());
  FLaidOut = true;
  FDoDebug = true;
  return true;
}

std::uint32_t TKavoBurner::ImageSectors() const {
  const auto sectors = static_cast<std::uint32_t>(FLayout.SectorsToWrite);
  return FWritePostGap && sectors < 300 ? 300 : sectors;
}

int TKavoBurner::WriteImageFile(const std::string& path, SaveMode mode) {
  // Until the read-ahead cache exists both modes write directly; the threaded
  // mode keeps its documented result.
  gCancelRequested = false;
  PrepareLayout(LayoutTarget::ImageFile);
  std::string error;
  if (!BuildHeader()) {
    error = texts::kLayoutFailed;
  } else {
    stream::DirectWriteInput in;
    in.Tables = &FTables;
    in.Layout = &FLayout;
    in.Header = &FHeader;
    in.OutputPath = path;
    in.Message = [this](const std::string& m, std::uint8_t kind) { DebugMessage(m, kind); };
    in.Progress = [this](std::uint64_t done, std::uint64_t total) {
      if (OnProgress) OnProgress(*this, Progress{done, total});
    };
    in.Cancelled = [] { return gCancelRequested.load(); };
    error = stream::WriteImageDirect(in).Error;
  }
  if (OnWriteDone) OnWriteDone(*this, error);
  return mode == SaveMode::Quick ? 1 : -1;
}

void TKavoBurner::CancelOperation() { gCancelRequested = true; }

bool TKavoBurner::CancelRequested() const { return gCancelRequested; }

}  // namespace engine
