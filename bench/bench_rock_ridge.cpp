// Layout and header cost of Rock Ridge: one compilation of N files in
// folders of 100, laid out and written with and without Rock Ridge.
//
//   bench_rock_ridge [ENTRIES [ROUNDS [on|off]]]
//
// With on or off only that side runs, for instruction counts under
// valgrind --tool=callgrind (repeatable on a loaded machine).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/iso/compilation_tables.h"
#include "engine/iso/header.h"
#include "engine/iso/layout.h"
#include "engine/iso/naming.h"

namespace {

long RssKiB() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * 4;
}

void Fill(iso::CompilationTables& t, int entries) {
  t.Reset(static_cast<std::uint32_t>(entries + entries / 100 + 10), static_cast<std::uint32_t>(entries / 100 + 10));
  iso::TDEntry* dir = nullptr;
  for (int i = 0; i < entries; ++i) {
    if (i % 100 == 0) {
      const std::string name = "folder " + std::to_string(i / 100);
      iso::TFEntry* e = t.NewEntry(*t.Root(), name);
      dir = t.NewDir(*e, *t.Root(), iso::UpperKey(iso::JoinKey("\\", name)));
      e->IsoName = dir->IsoName = iso::ShortNameRule(name);
      dir->LongName = name;
      e->Mode = 040755;
    }
    const std::string name = "a photo from the holidays " + std::to_string(i) + ".jpg";
    iso::TFEntry* f = t.NewEntry(*dir, name);
    f->IsoName = iso::UpperKey(name);
    f->RecordedSize = f->SourceSize = 1000 + i;
    f->DateTime = 45000.5;
    f->Mode = 0100644;
    f->Uid = 1000;
    f->Gid = 1000;
    f->AccessTime = 1700000000;
    f->ChangeTime = 1700000000;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::printf("%d files, best of %d rounds; TFEntry %zu bytes\n", entries, rounds, sizeof(iso::TFEntry));
  {
    const long before = RssKiB();
    iso::CompilationTables t;
    Fill(t, entries);
    std::printf("tree memory: %.0f bytes per entry (RSS growth)\n",
                static_cast<double>(RssKiB() - before) * 1024.0 / entries);
  }
  std::printf("%-12s %12s %12s %16s %20s\n", "rock ridge", "layout ms", "header ms", "header B/entry", "header FNV-1a");
  const std::string only = argc > 3 ? argv[3] : "";
  for (const bool rr : {false, true}) {
    if (!only.empty() && only != (rr ? "on" : "off")) continue;
    iso::CompilationTables t;
    Fill(t, entries);
    double bestLayout = 1e9, bestHeader = 1e9;
    std::size_t bytes = 0;
    std::uint64_t hash = 0;
    for (int r = 0; r < rounds; ++r) {
      iso::LayoutOptions options;
      options.RockRidge = rr;
      auto t0 = std::chrono::steady_clock::now();
      iso::SessionLayout layout = iso::ComputeLayout(t, options);
      auto t1 = std::chrono::steady_clock::now();
      iso::HeaderInput in;
      in.Tables = &t;
      in.Layout = &layout;
      in.Now = platform::CivilTime{2024, 1, 2, 3, 4, 5, 0};
      in.NowAgain = in.Now;
      auto built = iso::BuildHeaderStream(in);
      auto t2 = std::chrono::steady_clock::now();
      if (!built) return 1;
      bytes = built.Value().Bytes.size();
      // A fingerprint of the header: speed work must leave every byte as it was.
      hash = 14695981039346656037ull;
      for (const std::uint8_t b : built.Value().Bytes) hash = (hash ^ b) * 1099511628211ull;
      bestLayout = std::min(bestLayout, std::chrono::duration<double, std::milli>(t1 - t0).count());
      bestHeader = std::min(bestHeader, std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    std::printf("%-12s %12.1f %12.1f %16.1f %20llu\n", rr ? "on" : "off", bestLayout, bestHeader,
                static_cast<double>(bytes) / entries, static_cast<unsigned long long>(hash));
  }
  return 0;
}
