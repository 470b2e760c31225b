#pragma once
// A burner reading sessions from images: ones we write, ones peer tools
// write, and crafted ones put together record by record.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/iso/disc_source.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace importtest {

// A directory record as bytes (ECMA-119 9.1), the identifier taken as given.
struct Rec {
  std::string Id;
  std::uint32_t Extent = 0;
  std::uint32_t Size = 0;
  std::uint8_t Flags = 0;
};

inline void PutBoth32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    b[at + 7 - static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

inline std::vector<std::uint8_t> RecordBytes(const Rec& r) {
  const std::size_t length = 33 + r.Id.size() + (r.Id.size() % 2 == 0 ? 1 : 0);
  std::vector<std::uint8_t> b(length);
  b[0] = static_cast<std::uint8_t>(length);
  PutBoth32(b, 2, r.Extent);
  PutBoth32(b, 10, r.Size);
  const std::uint8_t date[7] = {120, 7, 15, 10, 30, 45, 0};  // 2020-07-15 10:30:45
  std::copy(date, date + 7, b.begin() + 18);
  b[25] = r.Flags;
  b[32] = static_cast<std::uint8_t>(r.Id.size());
  std::copy(r.Id.begin(), r.Id.end(), b.begin() + 33);
  return b;
}

// A primary descriptor at 16 whose root is at rootExtent, a terminator at
// 17, and the given directories' records from their first sectors on.
inline std::vector<std::uint8_t> Craft(std::uint32_t sectors, std::uint32_t rootExtent, std::uint32_t rootSize,
                                       const std::map<std::uint32_t, std::vector<Rec>>& dirs) {
  std::vector<std::uint8_t> img(std::size_t{sectors} * 2048);
  auto head = [&](std::uint32_t s, std::uint8_t type) {
    img[s * 2048] = type;
    std::copy_n("CD001\1", 6, img.begin() + static_cast<std::ptrdiff_t>(s) * 2048 + 1);
  };
  head(16, 1);
  PutBoth32(img, 16 * 2048 + 80, sectors);
  auto root = RecordBytes({std::string(1, '\0'), rootExtent, rootSize, 2});
  std::copy(root.begin(), root.end(), img.begin() + 16 * 2048 + 156);
  head(17, 0xFF);
  for (const auto& [extent, recs] : dirs) {
    std::size_t at = std::size_t{extent} * 2048;
    for (const auto& r : recs) {
      const auto b = RecordBytes(r);
      if (at % 2048 + b.size() > 2048) at += 2048 - at % 2048;
      std::copy(b.begin(), b.end(), img.begin() + static_cast<std::ptrdiff_t>(at));
      at += b.size();
    }
  }
  return img;
}

class ImportTest : public ::testing::Test {
 protected:
  ImportTest() {
    Burner.OnDebugMessage = [this](device::TSCSIDevice&, const std::string& text, std::uint8_t kind) {
      Messages.push_back(text);
      Kinds.push_back(kind);
    };
  }
  void Use(std::vector<std::uint8_t> bytes) {
    Source = std::make_unique<iso::ImageSource>(std::move(bytes));
    Burner.SetDiscSource(Source.get());
  }
  void UseFile(const std::string& path) {
    auto s = iso::ImageSource::OpenFile(path);
    ASSERT_TRUE(s.Ok()) << path;
    Source = std::move(s.Value());
    Burner.SetDiscSource(Source.get());
  }
  const iso::TFEntry* Entry(const std::string& dirPath, const std::string& name) const {
    const iso::TDEntry* dir = Burner.FindCompilationDir(dirPath);
    return dir == nullptr ? nullptr : Burner.Tables().FindEntry(*dir, name);
  }
  bool Logged(const std::string& text) const {
    for (const auto& m : Messages)
      if (m == text) return true;
    return false;
  }
  // The peer tools run from a POSIX shell; under Windows there is none.
  static bool Have(const char* tool) {
#ifdef _WIN32
    (void)tool;
    return false;
#else
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
#endif
  }
  static void Run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

  engine::TKavoBurner Burner;
  std::unique_ptr<iso::ImageSource> Source;
  testsupport::TempDir Dir;
  std::vector<std::string> Messages;
  std::vector<std::uint8_t> Kinds;
};

}  // namespace importtest
