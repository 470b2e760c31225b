// The compilation at full size: 600,000 entries in 20,000 directories added
// from disk, laid out and turned into a header stream. Prints the rate of
// each step and the memory each entry costs.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/kavo_burner.h"
#include "platform/file_find.h"

namespace fs = std::filesystem;

namespace {

long PeakRssKiB() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

long CurrentRssKiB() {
  std::ifstream f("/proc/self/statm");
  long pages = 0, resident = 0;
  f >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Folders in two levels (100 at the top, the rest below them), each lower one
// holding files with long-ish names; `entries` counts files and folders.
void MakeTree(const fs::path& root, int dirs, int entries) {
  if (fs::exists(root / ".complete")) return;
  fs::remove_all(root);
  const int top = 100;
  const int subs = dirs - top;
  const int files = entries - dirs;
  int sub = 0;
  for (int t = 0; t < top; ++t) {
    const fs::path tp = root / ("Top folder " + std::to_string(t));
    fs::create_directories(tp);
    for (; sub < subs * (t + 1) / top; ++sub) {
      const fs::path sp = tp / ("Sub folder number " + std::to_string(sub));
      fs::create_directories(sp);
      // Spread the files evenly, the remainder over the first folders.
      const int here = files / subs + (sub < files % subs ? 1 : 0);
      for (int f = 0; f < here; ++f)
        std::ofstream(sp / ("Document file " + std::to_string(f) + " of the benchmark.txt"));
    }
  }
  std::ofstream(root / ".complete");
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  // bench_compilation [DIR [ENTRIES FOLDERS [rock-ridge]]]: a smaller run
  // shows whether the rates hold as the compilation grows; "rock-ridge"
  // writes the Rock Ridge entries too.
  const int entries = argc > 3 ? std::atoi(argv[2]) : 600000;
  const int folders = argc > 3 ? std::atoi(argv[3]) : 19999;
  const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "zantic-bench-600k-v2";
  std::printf("tree: %s\n", root.c_str());
  auto t0 = std::chrono::steady_clock::now();
  // 19,999 folders and the root fill the 20,000 directories the main window allows.
  MakeTree(root, folders, entries);
  std::printf("tree ready in %.1f s\n", Seconds(t0));

  engine::TKavoBurner burner;
  burner.ResetCompilation(static_cast<std::uint32_t>(entries), static_cast<std::uint32_t>(folders + 1));
  const bool rockRidge = argc > 4 && std::string(argv[4]) == "rock-ridge";
  burner.SetRockRidge(rockRidge);
  std::printf("rock ridge: %s\n", rockRidge ? "on" : "off");
  int refused = 0;
  burner.OnDebugMessage = [&](device::TSCSIDevice&, const std::string&, std::uint8_t) { ++refused; };
  const long rssBefore = CurrentRssKiB();

  t0 = std::chrono::steady_clock::now();
  for (const auto& top : fs::directory_iterator(root)) {
    if (!top.is_directory()) continue;
    const std::string name = top.path().filename().string();
    burner.MakeCompilationDir("\\", name);
    burner.AddFolderToCompilation("\\" + name, top.path().string(), false, false, true, platform::kAttrAnyFile, "*.*");
  }
  const double addS = Seconds(t0);
  const std::uint32_t added = burner.CompilationEntryCount();
  const long rssAfterAdd = CurrentRssKiB();

  t0 = std::chrono::steady_clock::now();
  burner.PrepareLayout(engine::LayoutTarget::ImageFile);
  const double layoutS = Seconds(t0);

  t0 = std::chrono::steady_clock::now();
  burner.BuildHeader();
  const double headerS = Seconds(t0);

  // Lookups by path key and by name, each directory once.
  t0 = std::chrono::steady_clock::now();
  std::size_t found = 0;
  for (const auto& d : burner.Tables().Dirs())
    if (burner.FindCompilationDir(d->PathKey) == d.get()) ++found;
  const double findS = Seconds(t0);

  std::printf("entries %u, directories %u, refused %d, header %zu bytes\n", added, burner.CompilationDirCount(),
              refused, burner.Header().Bytes.size());
  std::printf("%-28s %10s %14s\n", "step", "seconds", "entries/s");
  std::printf("%-28s %10.3f %14.0f\n", "add from disk", addS, added / addS);
  std::printf("%-28s %10.3f %14.0f\n", "PrepareLayout", layoutS, added / layoutS);
  std::printf("%-28s %10.3f %14.0f\n", "BuildHeader", headerS, added / headerS);
  std::printf("%-28s %10.3f %14.0f (directories/s, %zu found)\n", "FindCompilationDir all", findS,
              static_cast<double>(burner.Tables().Dirs().size()) / findS, found);
  std::printf("tree memory: %.0f bytes per entry (RSS growth while adding)\n",
              static_cast<double>(rssAfterAdd - rssBefore) * 1024.0 / added);
  std::printf("peak RSS: %ld KiB (%.0f bytes per entry, header stream included)\n", PeakRssKiB(),
              static_cast<double>(PeakRssKiB()) * 1024.0 / added);
  return found == burner.Tables().Dirs().size() ? 0 : 1;
}
