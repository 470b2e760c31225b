#include "cli/health_common.h"

#include "cli/build_iso.h"
#include "appcore/drive_select.h"
#include "engine/kavo_burner.h"
#include "platform/process.h"

namespace cli {

bool OpenDisc(engine::TKavoBurner& burner, const std::string& image, const std::string& device, OpenedDisc& opened,
              std::string& error) {
  if (!image.empty()) {
    auto file = iso::ImageSource::OpenFile(image);
    if (!file) {
      error = "cannot open " + image + ": " + file.Err().Message;
      return false;
    }
    opened.Image = std::move(file.Value());
    opened.Source = opened.Image.get();
    return true;
  }
  if (const auto drive = appcore::SelectDrive(burner, device); !drive.Selected()) {
    error = drive.Text;
    return false;
  }
  burner.SetDiscSource(nullptr);
  opened.Source = &burner.DiscSource();
  return true;
}

HealthProgress::HealthProgress(std::FILE* err) : FErr(err), FTty(platform::IsTerminal(err)), FStart(Clock::now()) {}

void HealthProgress::Update(std::uint64_t done, std::uint64_t total, const std::string& extra) {
  const auto now = Clock::now();
  if (now - FLast < (FTty ? std::chrono::milliseconds(500) : std::chrono::seconds(10))) return;
  FLast = now;
  const double elapsed = std::chrono::duration<double>(now - FStart).count();
  const double fraction = total == 0 ? 0 : static_cast<double>(done) / static_cast<double>(total);
  const double kbps = elapsed > 0 ? static_cast<double>(done) / 1024.0 / elapsed : 0;
  const long remain = fraction > 0 ? static_cast<long>(elapsed / fraction * (1 - fraction)) : 0;
  const long spent = static_cast<long>(elapsed);
  std::fprintf(FErr, "%s%3d%%  %.1f/%.1f MB  %.0f KB/s  elapsed %ld:%02ld:%02ld  left %ld:%02ld:%02ld%s%s",
               FTty ? "\r" : "", static_cast<int>(fraction * 100), static_cast<double>(done) / 1048576.0,
               static_cast<double>(total) / 1048576.0, kbps, spent / 3600, spent / 60 % 60, spent % 60,
               remain / 3600, remain / 60 % 60, remain % 60, extra.c_str(), FTty ? "  " : "\n");
  std::fflush(FErr);
  FDrawn = true;
}

void HealthProgress::Break() {
  if (FTty && FDrawn) std::fputc('\n', FErr);
  FDrawn = false;
}

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[8];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      out += escape;
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080 to U+009F: CSI and the other C1 controls in UTF-8.
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(text[++i]));
      out += escape;
    } else if (c >= 0x80 && c <= 0x9F && (i == 0 || static_cast<unsigned char>(text[i - 1]) < 0x80)) {
      // A lone C1 byte, which 8-bit terminals take as a control.
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void PrintDamage(const health::SessionTree& tree, const health::DamageList& damage, std::FILE* out) {
  for (const auto& f : damage.Files)
    std::fprintf(out, "session %u: %s %s: sectors %s\n", static_cast<unsigned>(tree.Session),
                 f.Directory ? "directory" : "file", Printable("/" + f.Path).c_str(),
                 health::RangesText(f.Sectors).c_str());
  for (const auto& d : damage.Directories)
    std::fprintf(out, "session %u: affected directory %s\n", static_cast<unsigned>(tree.Session),
                 Printable("/" + d).c_str());
  if (!damage.NoFile.empty())
    std::fprintf(out, "session %u: sectors of no file: %s\n", static_cast<unsigned>(tree.Session),
                 health::RangesText(damage.NoFile).c_str());
}

void SayChecksums(const health::ChecksumAttachment& sums, bool hashed, std::FILE* err) {
  if (!hashed) {
    std::fprintf(err, "checksums: %zu carried over from the earlier session, %zu new files without one\n", sums.Carried,
                 sums.Unlisted);
    return;
  }
  std::fprintf(err, "checksums: %zu files hashed, %zu carried over from the earlier session%s\n", sums.Hashed,
               sums.Carried,
               sums.Unlisted != 0 ? (", " + std::to_string(sums.Unlisted) + " earlier files without one").c_str() : "");
}

}  // namespace cli
