#pragma once
// A one-line progress bar for a terminal.
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace cli {

class ProgressBar {
 public:
  explicit ProgressBar(std::FILE* out);
  bool Enabled() const { return FEnabled; }
  void Update(std::uint64_t done, std::uint64_t total);
  void Finish();

 private:
  std::FILE* FOut;
  bool FEnabled;
  int FLastPermille = -1;
  std::chrono::steady_clock::time_point FStart;
  std::chrono::steady_clock::time_point FLastDraw;
};

}  // namespace cli
