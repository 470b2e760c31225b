// The tree from Windows folders: ISO names from the file system's 8.3
// aliases, the native archive attribute, and file times in a zone with
// summer time.
#include <windows.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "engine/iso/date_time.h"
#include "platform/file_find.h"
#include "platform/win32_text.h"
#include "tree_fixture.h"

namespace {

using treetest::FolderAdd;
using treetest::kAllAttributes;
using treetest::Strings;

std::string AliasOf(const std::string& path) {
  WIN32_FIND_DATAW fd{};
  const HANDLE h = FindFirstFileW(platform::win32::Wide(path).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return "?";
  FindClose(h);
  return platform::win32::Utf8(fd.cAlternateFileName);
}

TEST_F(FolderAdd, IsoNamesAreTheFileSystemsAliases) {
  const std::string cyrillic = "\xD0\x96\xD1\x83\xD0\xBA.txt";
  for (const std::string& name : {std::string("a.txt"), std::string("Long File Name.text"), cyrillic})
    Dir.Write("src/" + name, "x");
  Dir.Write("src/Quarterly Reports/q1.txt", "q");
  ASSERT_EQ(AddSrc("\\"), 1);
  EXPECT_EQ(SortedNames("\\"), (Strings{"Long File Name.text", "Quarterly Reports", "a.txt", cyrillic}));
  EXPECT_EQ(Entry("\\", "a.txt")->IsoName, "A.TXT");  // no alias: the long name, uppercased
  for (const std::string& name : {std::string("Long File Name.text"), cyrillic, std::string("Quarterly Reports")}) {
    const std::string alias = AliasOf(Src("src/" + name));
    if (alias.empty()) continue;  // where the file system keeps no alias for it
    EXPECT_EQ(Entry("\\", name)->IsoName, alias) << name;
  }
  EXPECT_EQ(Entry("\\", cyrillic)->SourcePath, Src("src/" + cyrillic));
  EXPECT_NE(Burner.FindCompilationDir("\\Quarterly Reports"), nullptr);
}

// Where the file system keeps the archive attribute (NTFS and FAT do; wine
// on a Linux folder reports every file as changed).
TEST_F(FolderAdd, ArchiveOnlyTakesAndClearsChangedFiles) {
  const std::string probe = Dir.Write("probe", "");
  if (!platform::ClearArchiveAttribute(probe) || (GetFileAttributesW(platform::win32::Wide(probe).c_str()) &
                                                   FILE_ATTRIBUTE_ARCHIVE) != 0)
    GTEST_SKIP() << "the file system here keeps no archive attribute";
  Dir.Write("src/new.txt", "n");
  Dir.Write("src/old.txt", "o");
  ASSERT_TRUE(platform::ClearArchiveAttribute(Src("src/old.txt")));
  ASSERT_EQ(AddSrc("\\", kAllAttributes, "*.*", true, true), 1);
  EXPECT_EQ(SortedNames("\\"), Strings{"new.txt"});
  EXPECT_TRUE(Burner.ClearArchiveFlags());
  platform::FindData fd;
  ASSERT_TRUE(platform::GetFileInfo(Src("src/new.txt"), fd));
  EXPECT_EQ(fd.Attributes & platform::kAttrArchive, 0u);
}

TEST(WinDateTime, FileTimesCarryTheOffsetInForceThen) {
  TIME_ZONE_INFORMATION tz{};
  if (GetTimeZoneInformation(&tz) == TIME_ZONE_ID_INVALID || tz.Bias != -60 || tz.DaylightBias != -60)
    GTEST_SKIP() << "the zone in force is not Central European";
  const std::int64_t july = 1720000000;    // 2024-07-03, summer time
  const std::int64_t january = 1705000000;  // 2024-01-11, standard time
  EXPECT_EQ(iso::FileTimeToLocalDate(july, 0)->Offset, 8);
  EXPECT_EQ(iso::FileTimeToLocalDate(january, 0)->Offset, 4);
  EXPECT_EQ(iso::OffsetAtLocal(iso::FileTimeToLocalDate(july, 0)->Value), 8);
  EXPECT_EQ(iso::OffsetAtLocal(iso::FileTimeToLocalDate(january, 0)->Value), 4);
}

}  // namespace
