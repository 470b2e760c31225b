// Listing on Windows: the file system's own 8.3 aliases and attributes,
// names outside the ANSI code page, 64-bit sizes, and the masks matched
// against long names only.
#include <windows.h>
// The platform function of that name is meant, not the macro.
#undef SetFileAttributes

#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_find.h"
#include "platform/file_stream.h"
#include "platform/win32_text.h"
#include "support/temp_dir.h"

namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the attribute constants

constexpr std::uint64_t kBigSize = (std::uint64_t{5} << 30) + 7;  // past every 32-bit boundary
const std::string kCyrillic = "\xD0\x96\xD1\x83\xD0\xBA \xE6\x96\x87.txt";  // "Жук 文.txt": no ANSI code page has both

class WinFindTree : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& name : {std::string("a.txt"), std::string("B.TXT"), std::string("Long File Name.text"),
                                    kCyrillic, std::string("hidden.txt"), std::string("system.txt")})
      FDir.Write(name, "hello");
    FDir.MakeDir("sub");
    ASSERT_TRUE(::SetFileAttributesW(Wide("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(::SetFileAttributesW(Wide("system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM));
    const HANDLE big = CreateFileW(Wide("big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(big, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(kBigSize);
    EXPECT_TRUE(SetFilePointerEx(big, end, nullptr, FILE_BEGIN) && SetEndOfFile(big));
    CloseHandle(big);
  }

  std::string At(const std::string& name) const { return FDir.Str() + "\\" + name; }
  std::wstring Wide(const std::string& name) const { return win32::Wide(At(name)); }

  std::map<std::string, FindData> List(const std::string& mask, std::uint32_t attrMask) {
    std::map<std::string, FindData> found;
    FileFinder finder;
    FindData data;
    for (bool more = finder.FindFirst(At(mask), attrMask, data); more; more = finder.FindNext(data))
      EXPECT_TRUE(found.emplace(data.Name, data).second) << "listed twice: " << data.Name;
    return found;
  }

  // The alias as the system's own short-path call spells it; empty where the
  // long name is a valid 8.3 name already.
  std::string SystemAlias(const std::string& name) const {
    wchar_t shortPath[MAX_PATH] = {};
    if (GetShortPathNameW(Wide(name).c_str(), shortPath, MAX_PATH) == 0) return "?";
    const std::wstring s(shortPath);
    const std::string last = win32::Utf8(s.substr(s.find_last_of(L'\\') + 1));
    return last == name ? std::string() : last;
  }

  testsupport::TempDir FDir;
};

TEST_F(WinFindTree, NamesAliasesAndSizesAreTheFileSystems) {
  auto found = List("*.*", kAttrAnyFile);
  const std::set<std::string> expected{".", "..", "a.txt", "B.TXT", "Long File Name.text", kCyrillic,
                                       "hidden.txt", "system.txt", "sub", "big.bin"};
  std::set<std::string> names;
  for (const auto& [name, data] : found) names.insert(name);
  EXPECT_EQ(names, expected);
  for (const auto& name : {std::string("a.txt"), std::string("Long File Name.text"), kCyrillic})
    EXPECT_EQ(found[name].AlternateName, SystemAlias(name)) << name;
  EXPECT_FALSE(found["Long File Name.text"].AlternateName.empty());
  EXPECT_EQ(found["big.bin"].Size, kBigSize);
  EXPECT_EQ(found[kCyrillic].Size, 5u);
  EXPECT_EQ(found["hidden.txt"].Attributes & kAttrHidden, kAttrHidden);
  EXPECT_EQ(found["system.txt"].Attributes & kAttrSystem, kAttrSystem);
  EXPECT_EQ(found["sub"].Attributes & kAttrDirectory, kAttrDirectory);
  EXPECT_EQ(found["sub"].Size, 0u);
  // A walk knows a folder again by its identity.
  FindData self;
  ASSERT_TRUE(GetFileInfo(FDir.Str(), self));
  EXPECT_NE(self.Inode, 0u);
  EXPECT_EQ(found["."].Inode, self.Inode);
  EXPECT_EQ(found["."].Device, self.Device);
}

TEST_F(WinFindTree, MasksMatchLongNamesOnly) {
  auto names = [&](const std::string& mask, std::uint32_t attrMask) {
    std::set<std::string> out;
    for (const auto& [name, data] : List(mask, attrMask)) out.insert(name);
    return out;
  };
  EXPECT_EQ(names("*.txt", 0), (std::set<std::string>{"a.txt", "B.TXT", kCyrillic}));
  // The alias of "Long File Name.text" ends in ".TEX"; Windows would match it.
  EXPECT_EQ(names("*.tex", kAttrAnyFile), std::set<std::string>{});
  EXPECT_EQ(names("*.txt", kAttrHidden | kAttrSystem),
            (std::set<std::string>{"a.txt", "B.TXT", kCyrillic, "hidden.txt", "system.txt"}));
  FileFinder finder;
  FindData data;
  ASSERT_TRUE(finder.FindFirst(At(kCyrillic), 0, data));
  EXPECT_EQ(data.Name, kCyrillic);
  EXPECT_FALSE(finder.FindFirst(At("hidden.txt"), 0, data)) << "a named entry obeys the attribute mask too";
  EXPECT_FALSE(finder.FindFirst(At("missing.txt"), kAttrAnyFile, data));
}

TEST_F(WinFindTree, SinglePathsStreamsAndAttributes) {
  FindData data;
  ASSERT_TRUE(GetFileInfo(At("sub\\"), data));
  EXPECT_EQ(data.Name, "sub");
  ASSERT_TRUE(GetFileInfo(At(kCyrillic), data));
  EXPECT_EQ(data.Name, kCyrillic);
  EXPECT_TRUE(FileExists(At(kCyrillic)));
  EXPECT_TRUE(IsDirectory(At("sub")));
  EXPECT_FALSE(FileExists(At("sub")));
  EXPECT_FALSE(GetFileInfo(At("missing"), data));

  // A name outside the ANSI code page is read, renamed and dated through UTF-8.
  auto in = FileStream::Open(At(kCyrillic), OpenMode::Read);
  ASSERT_TRUE(in.Ok()) << in.Err().Message;
  char buffer[8] = {};
  EXPECT_EQ(in.Value().Read(buffer, sizeof buffer), 5);
  in.Value().Close();
  const std::string renamed = "\xE2\x82\xAC " + kCyrillic;  // "€ " in front
  ASSERT_TRUE(RenameFile(At(kCyrillic), At(renamed)).Ok());
  ASSERT_TRUE(SetFileWriteTime(At(renamed), 1'000'000'000));
  ASSERT_TRUE(GetFileInfo(At(renamed), data));
  EXPECT_EQ(data.WriteTimeSec, 1'000'000'000);

  ASSERT_TRUE(SetFileAttributes(At("hidden.txt"), kAttrArchive));
  ASSERT_TRUE(GetFileInfo(At("hidden.txt"), data));
  EXPECT_EQ(data.Attributes & (kAttrHidden | kAttrSystem), 0u);
  EXPECT_TRUE(RemoveFile(At(renamed)));
  EXPECT_FALSE(FileExists(At(renamed)));
}

TEST(WinFileNames, DeviceNamesAndWhatWindowsDropsAreRefused) {
  for (const char* bad : {"CON", "nul.txt", "Com1.log", "LPT9", "aux .txt", "name.", "name ", "a:b", "a<b", "a|b",
                          "a*b", "a?b", "a\"b", "tab\there", ""})
    EXPECT_FALSE(IsValidFileName(bad)) << bad;
  for (const char* good : {"console.txt", "nul_", "COM10", "LPT", "a.b.c", ".hidden", "\xD0\x96"})
    EXPECT_TRUE(IsValidFileName(good)) << good;
}

}  // namespace
