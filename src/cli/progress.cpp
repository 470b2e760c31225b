#include "cli/progress.h"

#include "platform/process.h"

namespace cli {

ProgressBar::ProgressBar(std::FILE* out)
    : FOut(out), FEnabled(platform::IsTerminal(out)), FStart(std::chrono::steady_clock::now()), FLastDraw(FStart) {}

void ProgressBar::Update(std::uint64_t done, std::uint64_t total) {
  if (!FEnabled || total == 0) return;
  const auto now = std::chrono::steady_clock::now();
  const int permille = static_cast<int>(done >= total ? 1000 : done * 1000 / total);
  // Redraw at most ten times a second so that the terminal never slows the write.
  if (permille == FLastPermille || (now - FLastDraw < std::chrono::milliseconds(100) && permille < 1000)) return;
  FLastPermille = permille;
  FLastDraw = now;
  const double seconds = std::chrono::duration<double>(now - FStart).count();
  const double mbps = seconds > 0 ? static_cast<double>(done) / 1048576.0 / seconds : 0.0;
  constexpr int kWidth = 40;
  const int filled = permille * kWidth / 1000;
  std::fprintf(FOut, "\r[");
  for (int i = 0; i < kWidth; ++i) std::fputc(i < filled ? '#' : '.', FOut);
  std::fprintf(FOut, "] %5.1f%%  %8.1f MB/s", permille / 10.0, mbps);
  std::fflush(FOut);
}

void ProgressBar::Finish() {
  if (FEnabled && FLastPermille >= 0) std::fprintf(FOut, "\n");
}

}  // namespace cli
