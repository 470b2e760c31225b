#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "appcore/ini_file.h"
#include "support/temp_dir.h"

namespace {

using appcore::IniFile;

std::string Contents(const std::string& path) {
  const std::vector<std::uint8_t> bytes = testsupport::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(IniRead, CaseTrimmingDuplicatesAndMissingKeys) {
  testsupport::TempDir dir;
  const IniFile ini(dir.Write("a.ini",
                              "Buffer=1\n"  // before any section: belongs to none
                              "[ general ]\n"
                              "  BUFFER  =  20 MB  \n"
                              "buffer=30\n"
                              "Empty=\n"
                              "[GENERAL]\n"
                              "Late=1\n"
                              "[Other]\n"
                              "Path = C:\\Program Files (x86)\\a=b \n"));
  EXPECT_EQ(ini.ReadString("General", "Buffer", "d"), "20 MB");
  EXPECT_EQ(ini.ReadString("GENERAL", "empty", "d"), "");
  EXPECT_TRUE(ini.ValueExists("general", "EMPTY"));
  EXPECT_EQ(ini.ReadString("General", "Late", "d"), "d");
  EXPECT_EQ(ini.ReadString("other", "path", "d"), "C:\\Program Files (x86)\\a=b");
  EXPECT_EQ(ini.ReadString("Other", "Buffer", "d"), "d");
  EXPECT_EQ(ini.ReadInteger("Missing", "Buffer", 6), 6);
  EXPECT_FALSE(ini.SectionExists("Missing"));
}

TEST(IniRead, IntegersAndBooleans) {
  testsupport::TempDir dir;
  const IniFile ini(dir.Write("a.ini",
                              "[S]\nTwo=2\nMinus=-1\nZero=0\nPlus= +7 \nWord=yes\nTail=12abc\n"
                              "Huge=99999999999\nBlank=\nMax=2147483647\n"));
  EXPECT_EQ(ini.ReadInteger("S", "Plus", 0), 7);
  EXPECT_EQ(ini.ReadInteger("S", "Minus", 0), -1);
  EXPECT_EQ(ini.ReadInteger("S", "Max", 0), 2147483647);
  for (const char* garbage : {"Word", "Tail", "Huge", "Blank"}) {
    EXPECT_EQ(ini.ReadInteger("S", garbage, 42), 42) << garbage;
    EXPECT_TRUE(ini.ReadBool("S", garbage, true)) << garbage;
    EXPECT_FALSE(ini.ReadBool("S", garbage, false)) << garbage;
  }
  EXPECT_TRUE(ini.ReadBool("S", "Two", false));
  EXPECT_TRUE(ini.ReadBool("S", "Minus", false));
  EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
}

TEST(IniRead, GarbageLinesAndBinaryBytesAreIgnored) {
  testsupport::TempDir dir;
  std::string text = "\x01\x02\xff\xfe garbage\n[unclosed\nno equals sign\n=no key\n";
  text += std::string("\0\0[S]\0=\0", 9) + "\n";
  text += "[S]\n" + std::string(200000, 'x') + "=long\n";
  text += "Key=" + std::string(100000, 'v') + "\nGood=1\n";
  const std::string path = dir.Write("a.ini", text);
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", std::string(200000, 'x'), "d"), "d");
  EXPECT_EQ(ini.ReadString("S", "Key", "d"), "d");
  EXPECT_EQ(ini.ReadInteger("S", "Good", 0), 1);
  EXPECT_EQ(ini.ReadString("unclosed", "no equals sign", "d"), "d");

  // Unparsed lines still survive a save.
  ini.WriteBool("S", "Good", false);
  ASSERT_TRUE(ini.Save().Ok());
  const std::string saved = Contents(path);
  EXPECT_NE(saved.find(std::string(200000, 'x') + "=long\n"), std::string::npos);
  EXPECT_NE(saved.find("\x01\x02\xff\xfe garbage\n"), std::string::npos);
  EXPECT_EQ(IniFile(path).ReadInteger("S", "Good", 1), 0);
}

TEST(IniRead, AFileTooLargeForAProfileReadsAsEmpty) {
  testsupport::TempDir dir;
  std::string text = "[S]\nKey=1\n";
  text.resize(IniFile::kMaxFileSize + 1, ';');
  const IniFile ini(dir.Write("big.ini", text));
  EXPECT_EQ(ini.ReadInteger("S", "Key", 0), 0);
}

TEST(IniRead, AFileTooLargeToReadIsAnErrorAndNeverSavedOver) {
  testsupport::TempDir dir;
  std::string text = "[S]\nKey=1\n";
  text.resize(IniFile::kMaxFileSize + 1, ';');
  const std::string path = dir.Write("big.ini", text);
  IniFile ini(path);
  EXPECT_NE(ini.LoadError().find("larger than 4 MB"), std::string::npos) << ini.LoadError();
  ini.WriteInteger("S", "Other", 2);
  EXPECT_FALSE(ini.Save().Ok());
  EXPECT_EQ(Contents(path), text);
  // Saved elsewhere on purpose, it is written; a missing file is no error.
  ASSERT_TRUE(ini.SaveAs(dir.Str() + "/copy.ini").Ok());
  EXPECT_TRUE(IniFile(dir.Str() + "/missing.ini").LoadError().empty());
}

TEST(IniWrite, OneKeyChangesAndEverythingElseStays) {
  testsupport::TempDir dir;
  const std::string path = dir.Write("a.ini",
                                     "; kept comment\r\n"
                                     "[General]\r\n"
                                     "  buffer = 6\r\n"
                                     "Version=3.9\r\n"
                                     "\r\n"
                                     "[Unknown]\r\n"
                                     "X=1\r\n");
  IniFile ini(path);
  ini.WriteString("GENERAL", "Buffer", "20");
  ini.WriteBool("General", "Display Tips", false);
  ini.WriteInteger("New", "Count", -5);
  ini.WriteBool("Unknown", "Y", true);
  ASSERT_TRUE(ini.Save().Ok());
  EXPECT_EQ(Contents(path),
            "; kept comment\r\n"
            "[General]\r\n"
            "  buffer =20\r\n"
            "Version=3.9\r\n"
            "Display Tips=0\r\n"
            "\r\n"
            "[Unknown]\r\n"
            "X=1\r\n"
            "Y=1\r\n"
            "\r\n"
            "[New]\r\n"
            "Count=-5\r\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(IniWrite, LineEndingsAndByteOrderMarkAreKept) {
  testsupport::TempDir dir;
  const std::string unixPath = dir.Write("unix.ini", "\xEF\xBB\xBF[S]\nA=1\n");
  IniFile unixIni(unixPath);
  EXPECT_EQ(unixIni.ReadInteger("S", "A", 0), 1);
  unixIni.WriteBool("S", "B", false);
  ASSERT_TRUE(unixIni.Save().Ok());
  EXPECT_EQ(Contents(unixPath), "\xEF\xBB\xBF[S]\nA=1\nB=0\n");

  IniFile fresh(dir.Str() + "/fresh.ini");
  fresh.WriteBool("S", "A", true);
  ASSERT_TRUE(fresh.Save().Ok());
  EXPECT_EQ(Contents(fresh.Path()), "[S]\r\nA=1\r\n");
}

TEST(IniWrite, AValueCannotAddLines) {
  testsupport::TempDir dir;
  IniFile ini(dir.Str() + "/a.ini");
  ini.WriteString("Schedule", "Drive", "sr0\r\n[Burning]\r\nTestWrite=1");
  ASSERT_TRUE(ini.Save().Ok());
  const IniFile back(ini.Path());
  EXPECT_FALSE(back.SectionExists("Burning"));
  EXPECT_EQ(back.ReadString("Schedule", "Drive", ""), "sr0  [Burning]  TestWrite=1");
}

// Sections are looked up through an index; every way lines move keeps it
// true to the file, and a thousand sections read in linear time.
TEST(IniWrite, SectionsAreFoundAfterLinesMove) {
  IniFile ini;
  ini.WriteString("A", "k", "1");
  ini.WriteString("B", "k", "2");
  ini.WriteString("C", "k", "3");
  EXPECT_EQ(ini.ReadString("c", "K", ""), "3");
  // New keys in the first section push the others down.
  ini.WriteString("A", "x", "a");
  ini.WriteString("A", "y", "b");
  EXPECT_EQ(ini.ReadString("B", "k", ""), "2");
  EXPECT_EQ(ini.ReadString("C", "k", ""), "3");
  ini.DeleteKey("A", "x");
  EXPECT_EQ(ini.ReadString("C", "k", ""), "3");
  ini.EraseSection("B");
  EXPECT_FALSE(ini.SectionExists("B"));
  EXPECT_EQ(ini.ReadString("C", "k", ""), "3");
  // A key that reads back as a section line is a section from then on.
  ini.WriteString("C", "[D]", "");
  EXPECT_TRUE(ini.SectionExists("D"));
  // Of two sections of one name the first wins, also once a later one is added.
  ini.WriteString("E", "k", "first");
  testsupport::TempDir dir;
  const std::string path = dir.Write("dup.ini", "[E]\r\nk=first\r\n[F]\r\n[e]\r\nk=second\r\n");
  const IniFile dup(path);
  EXPECT_EQ(dup.ReadString("E", "k", ""), "first");

  IniFile many;
  for (int i = 0; i < 1000; ++i) many.WriteString("Task " + std::to_string(i), "Scheduling", std::to_string(i));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(many.ReadString("task " + std::to_string(i), "Scheduling", ""), std::to_string(i));
}

TEST(IniSave, TheOldFileStaysWholeUntilTheRename) {
  testsupport::TempDir dir;
  const std::string old = "[General]\r\nBuffer=6\r\n";
  const std::string path = dir.Write("Option.ini", old);
  // A temporary left by a crash is neither read nor in the way.
  dir.Write("Option.ini.tmp", "[General]\r\nBuffer=49\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("General", "Buffer", 0), 6);
  ini.WriteInteger("General", "Buffer", 20);
  EXPECT_EQ(Contents(path), old);  // nothing touches the file before Save
  ASSERT_TRUE(ini.Save().Ok());
  EXPECT_EQ(IniFile(path).ReadInteger("General", "Buffer", 0), 20);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  // When the temporary cannot be written the save fails and the file is untouched.
  dir.MakeDir("Option.ini.tmp");
  const std::string before = Contents(path);
  ini.WriteInteger("General", "Buffer", 30);
  EXPECT_FALSE(ini.Save().Ok());
  EXPECT_EQ(Contents(path), before);
}

}  // namespace
