#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "appcore/ini_file.h"
#include "appcore/options.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace {

using appcore::IniFile;
using appcore::Options;
using appcore::SoundEvent;

// Every boolean option in the order of the file's tables.
std::vector<bool*> Flags(Options& o) {
  std::vector<bool*> flags = {&o.EjectNoDisc, &o.EjectDone, &o.ExitProgram, &o.CloseComputer, &o.DisplayTips,
                              &o.DetectNewVersion, &o.ArchiveFiles, &o.ImportSession, &o.CloseTrack, &o.CloseDisc,
                              &o.UnderrunProtection, &o.JolietFS, &o.RockRidge, &o.Bootable, &o.TestWrite, &o.QuickSaveISO,
                              &o.ShowFiles, &o.PerformOPC, &o.AutoExecute, &o.RecordLog, &o.InformTaskDone,
                              &o.DisplayWindow, &o.HideWindow, &o.Query, &o.CancelTask};
  for (auto& sound : o.Sounds) flags.push_back(&sound.Enabled);
  for (auto& sound : o.Sounds) flags.push_back(&sound.UseDefault);
  for (auto& sound : o.Sounds) flags.push_back(&sound.UseCustom);
  for (bool* b : {&o.BackgroundColor, &o.BackgroundGradient, &o.BackgroundImage}) flags.push_back(b);
  return flags;
}

std::string Bits(Options& o) {
  std::string bits;
  for (const bool* b : Flags(o)) bits += *b ? '1' : '0';
  return bits;
}

TEST(Options, AMissingFileGivesEveryDefault) {
  testsupport::TempDir dir;
  Options o;
  for (bool* b : Flags(o)) *b = !*b;  // Load must replace what was there
  o.Buffer = "49";
  o.LoadFromFile(dir.Str() + "/Option.ini", "/dev/sr0 VIRTUAL RECORDER");

  //                  General Burning     Schedule Sound enable/default/custom Interface
  EXPECT_EQ(Bits(o), "010010" "001111100000" "1100110" "111101" "111111" "000000" "100");
  EXPECT_EQ(o.Buffer, "6");
  EXPECT_EQ(o.CacheSizeBytes(), 6u * 1048576u);
  EXPECT_EQ(o.Version, "3.9");
  EXPECT_EQ(o.SessionNo, "0");
  EXPECT_EQ(o.Drive, "/dev/sr0 VIRTUAL RECORDER");
  EXPECT_EQ(o.BkColor, 0xDF967A);
  EXPECT_EQ(o.BkStartColor, 0x0000FF);
  EXPECT_EQ(o.BkEndColor, 0xFF0000);
  EXPECT_EQ(o.Skin, "devoir");
  EXPECT_EQ(o.SkinFile("/opt/zantic"), "/opt/zantic/Skins/devoir.mskn");
  for (const std::string* text : {&o.BootImage, &o.BkImage, &o.Sounds[0].File, &o.Sounds[5].File})
    EXPECT_EQ(*text, "");
  EXPECT_EQ(o.RunTime.SessionNumber, 0);
  EXPECT_FALSE(o.RunTime.ArchiveOnly || o.RunTime.ShowFiles || o.RunTime.ImportSession || o.RunTime.QuickSave);
}

// Every field away from its default, so that a key read under another name
// than it was written falls back to the default and shows.
Options Changed() {
  Options o;
  for (bool* b : Flags(o)) *b = !*b;
  o.Buffer = "20";
  o.SessionNo = "-1";
  o.BootImage = "/boot/Program Files (x86)/boot.img";
  o.Drive = "/dev/sr1 MAKER RW";
  for (std::size_t i = 0; i < appcore::kSoundEventCount; ++i) o.Sounds[i].File = "/snd/" + std::to_string(i) + ".wav";
  o.BkColor = 1;
  o.BkStartColor = 2;
  o.BkEndColor = 3;
  o.BkImage = "/img/bk.bmp";
  o.Skin = "None";
  return o;
}

TEST(Options, EveryValueRoundTripsThroughTheFile) {
  testsupport::TempDir dir;
  const std::string path = dir.Str() + "/Option.ini";
  const Options saved = Changed();
  ASSERT_TRUE(saved.SaveToFile(path, 20u * 1048576u).Ok());

  Options loaded;
  loaded.LoadFromFile(path, "unused default");
  IniFile first;
  IniFile second;
  saved.Save(first, 1);
  loaded.Save(second, 1);
  EXPECT_EQ(second.Text(), first.Text());
  EXPECT_EQ(loaded.Drive, "/dev/sr1 MAKER RW");
  EXPECT_EQ(loaded.Sound(SoundEvent::ScheduleStart).File, "/snd/4.wav");
  EXPECT_TRUE(loaded.Sound(SoundEvent::ScheduleStart).Enabled);
  EXPECT_FALSE(loaded.Sound(SoundEvent::BurningDone).UseDefault);
  EXPECT_EQ(loaded.RunTime.SessionNumber, -1);
  EXPECT_TRUE(loaded.RunTime.ArchiveOnly && loaded.RunTime.ShowFiles && loaded.RunTime.ImportSession &&
              loaded.RunTime.QuickSave);

  // The stored form: booleans as 1/0, the burner's cache in bytes, no version.
  const IniFile file(path);
  EXPECT_EQ(file.ReadString("General", "Exit Program", ""), "1");
  EXPECT_EQ(file.ReadString("General", "Display Tips", ""), "0");
  EXPECT_EQ(file.ReadString("Burning", "CacheSize", ""), "20971520");
  EXPECT_EQ(file.ReadString("Schedule", "Diplay Window", ""), "1");
  EXPECT_EQ(file.ReadString("Sound", "CSD", ""), "1");
  EXPECT_EQ(file.ReadString("Interface", "BK_End Color", ""), "3");
  EXPECT_FALSE(file.ValueExists("General", "Version"));
}

TEST(Options, KeysInOtherCaseAndUnknownContentSurviveASave) {
  testsupport::TempDir dir;
  const std::string path = dir.Write("Option.ini",
                                     "[GENERAL]\r\n"
                                     "BUFFER = 20 \r\n"
                                     "version=4.2\r\n"
                                     "; the user's note\r\n"
                                     "[Recent]\r\n"
                                     "File1=/home/a.mvt\r\n"
                                     "[burning]\r\n"
                                     "jolietfs=0\r\n"
                                     "testwrite=7\r\n"
                                     "[interface]\r\n"
                                     "SKIN=None\r\n");
  Options o;
  o.LoadFromFile(path, "");
  EXPECT_EQ(o.Buffer, "20");
  EXPECT_EQ(o.CacheSizeBytes(), 20u * 1048576u);
  EXPECT_EQ(o.Version, "4.2");
  EXPECT_FALSE(o.JolietFS);
  EXPECT_TRUE(o.TestWrite);
  EXPECT_EQ(o.Skin, "None");
  EXPECT_EQ(o.SkinFile("/opt/zantic"), "");

  o.ExitProgram = true;
  ASSERT_TRUE(o.SaveToFile(path, o.CacheSizeBytes()).Ok());
  const IniFile file(path);
  EXPECT_EQ(file.ReadString("Recent", "File1", ""), "/home/a.mvt");
  EXPECT_EQ(file.ReadString("General", "Version", ""), "4.2");
  EXPECT_EQ(file.ReadString("General", "Exit Program", ""), "1");
  EXPECT_EQ(file.ReadString("Burning", "TestWrite", ""), "1");
  EXPECT_NE(file.Text().find("; the user's note\r\n"), std::string::npos);
  EXPECT_EQ(file.Text().find("[Burning]"), std::string::npos);  // the file's own section line is used
}

TEST(Options, BufferAndSessionTextsAreClampedNotTrusted) {
  Options o;
  const std::vector<std::pair<std::string, int>> buffers = {
      {"1", 1}, {"50", 50}, {"0", 1}, {"-3", 1}, {"51", 50}, {"abc", 6}, {"", 6}, {"99999999999", 6}};
  for (const auto& [text, mib] : buffers) {
    o.Buffer = text;
    EXPECT_EQ(o.BufferMiB(), mib) << text;
  }

  o.ImportSession = true;
  const std::vector<std::pair<std::string, int>> sessions = {
      {"-1", -1}, {" 3 ", 3}, {"127", 127}, {"-128", -128}, {"128", 0}, {"300", 0}, {"x", 0}, {"", 0}};
  for (const auto& [text, session] : sessions) {
    o.SessionNo = text;
    EXPECT_EQ(o.SessionNumber(), session) << text;
  }
  o.SessionNo = "0";
  EXPECT_TRUE(o.ImportSessionZeroWarning());
  o.SessionNo = "";
  EXPECT_FALSE(o.ImportSessionZeroWarning());
  o.SessionNo = "5";
  o.ImportSession = false;
  EXPECT_EQ(o.SessionNumber(), 0);
  EXPECT_FALSE(o.ImportSessionZeroWarning());
}

TEST(Options, ApplyToBurnerSetsEveryBurnerProperty) {
  for (const bool flip : {false, true}) {
    Options o;
    o.JolietFS = flip;
    o.RockRidge = !flip;
    o.CloseDisc = flip;
    o.CloseTrack = !flip;
    o.UnderrunProtection = flip;
    o.TestWrite = !flip;
    o.PerformOPC = !flip;
    o.Bootable = !flip;
    o.BootImage = flip ? "" : "/tmp/boot.img";
    o.Buffer = flip ? "50" : "20";
    engine::TKavoBurner burner;
    o.ApplyToBurner(burner);
    EXPECT_EQ(burner.JolietFileSystem(), flip);
    EXPECT_EQ(burner.RockRidge(), !flip);
    EXPECT_EQ(burner.FinalizeDisc(), flip);
    EXPECT_EQ(burner.FinalizeTrack(), !flip);
    EXPECT_EQ(burner.UnderrunProtection(), flip);
    EXPECT_EQ(burner.TestWrite(), !flip);
    EXPECT_EQ(burner.PerformOPC(), !flip);
    EXPECT_EQ(burner.Bootable, !flip);
    EXPECT_EQ(burner.BootImageFile, o.BootImage);
    EXPECT_EQ(burner.CacheSize(), (flip ? 50u : 20u) * 1048576u);
  }
}

}  // namespace
