// What is checked on the disc before the first write of a burn: a session
// that an ended burn left open is closed first, the disc must take another
// session, and the burn must fit the room left after the next writable
// address.
#include <algorithm>

#include "engine/device/media_types.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"

namespace engine {
namespace {

// Recordable media that grow by sessions and tracks; the others are written in place.
bool IsSequentialMedium(std::uint8_t m) {
  return m == device::kMediumCdr || m == device::kMediumCdrw || m == device::kMediumDvdr ||
         m == device::kMediumDvdrwSequential || m == device::kMediumDvdpr || m == device::kMediumDvdprDl ||
         m == device::kMediumBdr;
}

bool IsInPlaceMedium(std::uint8_t m) {
  return m == device::kMediumDvdRam || m == device::kMediumDvdrwRestricted || m == device::kMediumDvdprw ||
         m == device::kMediumBdre;
}

std::uint64_t RoundUp32(std::uint64_t sectors) { return (sectors + 31) / 32 * 32; }

// A busy drive is given a second per try, for as long as a close may take.
constexpr int kCloseBusyLimit = 1000;

// Half a minute of a busy or becoming-ready drive, in 500 ms steps.
constexpr int kQueryBusyLimit = 60;

}  // namespace

bool TKavoBurner::Patiently(const std::function<bool()>& query) {
  for (int attempt = 1;; ++attempt) {
    if (query()) return true;
    if (!(TargetBusy() || Sense().Asc == 0x04) || attempt >= kQueryBusyLimit || CancelRequested()) return false;
    Sleeper().Sleep(500);
  }
}

FitCheck TKavoBurner::CheckFit(std::uint64_t imageSectors, BurnSource source) {
  FitCheck fit;
  const std::uint8_t medium = DetectMediaType();
  SetCurrentMediaType(medium);
  // DVD media take whole 32-sector writes of a compilation, and a DVD-R
  // reserves its track in such units for an image file too.
  const bool padded = !device::IsCdMedium(medium) && (source == BurnSource::Compilation || medium == device::kMediumDvdr);
  fit.Needed = padded ? RoundUp32(imageSectors) : imageSectors;
  auto unknown = [&] {
    fit.Outcome = FitOutcome::Unknown;
    fit.Text = std::string(texts::kErrorNextWritableAddress) + " [" + LastErrorText() + "]";
    return fit;
  };
  if (medium == device::kMediumCdRom || medium == device::kMediumDvdRom || medium == device::kMediumBdRom) {
    fit.Outcome = FitOutcome::DiscClosed;
    fit.Text = texts::kDiscClosed;
    return fit;
  }
  if (IsSequentialMedium(medium)) {
    if (!Patiently([this] { return ReadDiscInformation(); })) return unknown();
    const device::TDiscInfo disc = LastDiscInfo();
    if (disc.DiscStatus() == 2) {
      fit.Outcome = FitOutcome::DiscClosed;
      fit.Text = texts::kDiscClosed;
      return fit;
    }
    if (source == BurnSource::ImageFile && disc.DiscStatus() != 0) {
      fit.Outcome = FitOutcome::NotBlank;
      fit.Text = texts::kImageNeedsBlankDisc;
      return fit;
    }
    const std::uint8_t track = disc.LastTrackInLastSession != 0 ? disc.LastTrackInLastSession : 1;
    if (!Patiently([&] { return ReadTrackInformation(track); })) return unknown();
    const device::TTrackInfo info = LastTrackInfo();
    if (!info.NextWritableValid() && disc.DiscStatus() != 0) return unknown();
    fit.Start = info.NextWritableValid() ? info.NextWritableAddress : 0;
    fit.Free = info.FreeBlocks;
  } else if (IsInPlaceMedium(medium)) {
    std::uint32_t start = 0;
    if (source == BurnSource::Compilation && !ReadNextWritableAddress(start)) return unknown();
    if (!Patiently([this] { return ReadTrackInformation(1); })) return unknown();
    const device::TTrackInfo info = LastTrackInfo();
    // Restricted overwrite part-formatted grows up to its free blocks.
    std::uint64_t total = info.TrackSize;
    if (info.NextWritableValid()) total = std::max<std::uint64_t>(total, std::uint64_t{info.NextWritableAddress} + info.FreeBlocks);
    // A blank BD-RE is formatted by the burn with the drive's default spare
    // areas: the room is that format's, not the raw disc's.
    if (medium == device::kMediumBdre && DiscState() == 0) {
      std::vector<std::uint8_t> capacities;
      if (ReadFormatCapacities(capacities))
        for (const auto& d : device::FormatDescriptors(capacities))
          if (d.Type == 0x00) total = std::min<std::uint64_t>(total, d.Blocks);
    }
    fit.Start = start;
    fit.Free = total > start ? total - start : 0;
  } else {
    return unknown();
  }
  if (fit.Needed > fit.Free) {
    fit.Outcome = FitOutcome::TooLarge;
    fit.Text = texts::Format(texts::kDiscTooSmall, std::to_string(fit.Needed), std::to_string(fit.Free));
    return fit;
  }
  fit.Outcome = FitOutcome::Fits;
  return fit;
}

std::string TKavoBurner::CloseOpenSession(std::uint8_t medium) {
  // A test write records nothing, so it closes nothing either.
  if (!IsSequentialMedium(medium) || TestWrite()) return {};
  // A drive still busy with the flush of a stopped burn is waited for; one
  // that never answers fails the address query that follows.
  if (!Patiently([this] { return ReadDiscInformation(); })) return {};
  const device::TDiscInfo disc = LastDiscInfo();
  // Incomplete disc whose last session holds a track: a burn stopped, or its
  // ending failed, before the session was closed.
  if (disc.DiscStatus() != 1 || disc.LastSessionState() != 1) return {};
  DebugMessage(">>> " + std::string(texts::kClosingOpenSession), device::kMsgProgress);
  auto send = [&](const std::function<bool()>& command) {
    bool refused = false;
    for (int attempt = 0; attempt < kCloseBusyLimit && !CancelRequested(); ++attempt) {
      if (command()) return true;
      if (TargetBusy() || Sense().Asc == 0x04) {
        Sleeper().Sleep(1000);
        continue;
      }
      if (refused) return false;
      refused = true;
    }
    return false;
  };
  // Another session must stay possible after this one.
  const bool finalize = FinalizeDisc();
  SetFinalizeDisc(false);
  SetWriteParameters(false, UnderrunProtection(), medium, false);
  SetFinalizeDisc(finalize);
  const std::uint8_t first = disc.FirstTrackInLastSession != 0 ? disc.FirstTrackInLastSession : disc.LastTrackInLastSession;
  for (std::uint32_t t = first; t != 0 && t <= disc.LastTrackInLastSession; ++t) {
    const auto track = static_cast<std::uint8_t>(t);
    if (!ReadTrackInformation(track)) continue;
    const device::TTrackInfo info = LastTrackInfo();
    // The invisible track holds nothing to close; a reserved one does.
    if (info.Blank() && !info.Reserved()) continue;
    if (!info.NextWritableValid()) continue;  // closed already
    if (!send([&] { return CloseTrackSession(device::TImmediate::No, 1, 0, 0, track); }))
      return std::string(texts::kOpenSessionNotClosed) + " [" + LastErrorText() + "]";
  }
  if (!send([&] { return CloseTrackSession(device::TImmediate::No, 2, 0, 0, 0); }))
    return std::string(texts::kOpenSessionNotClosed) + " [" + LastErrorText() + "]";
  WaitForReady(240000, 5000);
  if (CancelRequested()) return texts::kOperationAborted;
  if (!ReadDiscInformation() || LastDiscInfo().LastSessionState() == 1)
    return std::string(texts::kOpenSessionNotClosed) + " [" + LastErrorText() + "]";
  return {};
}

std::string TKavoBurner::CheckBeforeFirstWrite(BurnSource source) {
  if (CancelRequested()) return texts::kOperationAborted;
  const FitCheck fit = CheckFit(ImageSectors(), source);
  if (CancelRequested()) return texts::kOperationAborted;
  if (!fit.Fits()) return fit.Text;
  // The layout addressed its sectors from where it was told the session starts.
  if (source == BurnSource::Compilation && fit.Start != FLayout.SessionStart)
    return std::string(texts::kErrorNextWritableAddress) + " [" + std::to_string(fit.Start) +
           " <> " + std::to_string(FLayout.SessionStart) + "]";
  return {};
}

}  // namespace engine
