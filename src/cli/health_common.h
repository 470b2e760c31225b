#pragma once
// What read and check share: opening the disc they name, a progress line
// with speed, and the list of damaged files.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "engine/health/checksum_burn.h"
#include "engine/health/session_files.h"
#include "engine/iso/disc_source.h"

namespace engine {
class TKavoBurner;
}

namespace cli {

// The disc to read: an image file, or the drive DEV selected on the burner.
// nullptr with a message in `error`.
struct OpenedDisc {
  std::unique_ptr<iso::ImageSource> Image;
  iso::DiscSource* Source = nullptr;
};
bool OpenDisc(engine::TKavoBurner& burner, const std::string& image, const std::string& device, OpenedDisc& opened,
              std::string& error);

// Percent, MB of MB, speed, elapsed and remaining time: redrawn in place
// on a terminal, one line every ten seconds otherwise.
class HealthProgress {
 public:
  explicit HealthProgress(std::FILE* err);
  void Update(std::uint64_t doneBytes, std::uint64_t totalBytes, const std::string& extra = {});
  void Break();

 private:
  using Clock = std::chrono::steady_clock;
  std::FILE* FErr;
  bool FTty;
  bool FDrawn = false;
  Clock::time_point FStart;
  Clock::time_point FLast{};
};

// A name from a disc, an image or a file, safe to print: control
// characters (C0, DEL and C1) as escapes ("\x1b", "\u009b"), so that a
// name cannot move the cursor or hide a line.
std::string Printable(std::string_view text);

// Prints which files and directories of the session own the bad sectors,
// and the bad sectors no file owns.
void PrintDamage(const health::SessionTree& tree, const health::DamageList& damage, std::FILE* out);

// The line that says what the checksum file holds: files `hashed` for it,
// or only the earlier session's kept current.
void SayChecksums(const health::ChecksumAttachment& sums, bool hashed, std::FILE* err);

}  // namespace cli
