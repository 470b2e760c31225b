#include "appcore/options.h"

#include <charconv>
#include <string_view>

#include "engine/kavo_burner.h"

namespace appcore {

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kBurning = "Burning";
constexpr const char* kSchedule = "Schedule";
constexpr const char* kSound = "Sound";
constexpr const char* kInterface = "Interface";

struct SoundKeys {
  const char* Enable;
  const char* Default;
  const char* Custom;
  const char* File;
};

// In the order of SoundEvent.
constexpr std::array<SoundKeys, kSoundEventCount> kSoundKeys = {{
    {"Burning Done", "DB", "CB", "Sound_B"},
    {"Erasing Done", "DE", "CE", "Sound_E"},
    {"Copy Done", "DC", "CC", "Sound_C"},
    {"Build ISO Done", "DI", "CI", "Sound_I"},
    {"Schedule Start", "DSS", "CSS", "Sound_SS"},
    {"Schedule Done", "DSD", "CSD", "Sound_SD"},
}};

bool ParseInt(std::string_view text, int& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

}  // namespace

std::string DefaultSkinName() { return "devoir"; }

Options::Options() : Skin(DefaultSkinName()) {
  Sound(SoundEvent::ScheduleStart).Enabled = false;
}

void Options::Load(const IniFile& ini, const std::string& currentDrive) {
  const Options defaults;

  EjectNoDisc = ini.ReadBool(kGeneral, "Auto Eject_No Disc", defaults.EjectNoDisc);
  EjectDone = ini.ReadBool(kGeneral, "Auto Eject_Burn Erase Done", defaults.EjectDone);
  ExitProgram = ini.ReadBool(kGeneral, "Exit Program", defaults.ExitProgram);
  CloseComputer = ini.ReadBool(kGeneral, "Close Computer", defaults.CloseComputer);
  DisplayTips = ini.ReadBool(kGeneral, "Display Tips", defaults.DisplayTips);
  DetectNewVersion = ini.ReadBool(kGeneral, "Detect New Version", defaults.DetectNewVersion);
  Buffer = ini.ReadString(kGeneral, "Buffer", defaults.Buffer);
  Version = ini.ReadString(kGeneral, "Version", defaults.Version);
  WebSite = ini.ReadString(kGeneral, "WebSite", defaults.WebSite);

  ArchiveFiles = ini.ReadBool(kBurning, "ArchiveFiles", defaults.ArchiveFiles);
  ImportSession = ini.ReadBool(kBurning, "ImportSession", defaults.ImportSession);
  CloseTrack = ini.ReadBool(kBurning, "CloseTrack", defaults.CloseTrack);
  CloseDisc = ini.ReadBool(kBurning, "CloseDisc", defaults.CloseDisc);
  UnderrunProtection = ini.ReadBool(kBurning, "Underrun Protection", defaults.UnderrunProtection);
  JolietFS = ini.ReadBool(kBurning, "JolietFS", defaults.JolietFS);
  RockRidge = ini.ReadBool(kBurning, "RockRidge", defaults.RockRidge);
  Bootable = ini.ReadBool(kBurning, "Bootable", defaults.Bootable);
  TestWrite = ini.ReadBool(kBurning, "TestWrite", defaults.TestWrite);
  QuickSaveISO = ini.ReadBool(kBurning, "QuickSaveISO", defaults.QuickSaveISO);
  ShowFiles = ini.ReadBool(kBurning, "ShowFiles", defaults.ShowFiles);
  PerformOPC = ini.ReadBool(kBurning, "PerformOPC", defaults.PerformOPC);
  SessionNo = ini.ReadString(kBurning, "SessionNo", defaults.SessionNo);
  BootImage = ini.ReadString(kBurning, "BootImage", defaults.BootImage);
  Checksums = ini.ReadBool(kBurning, "Checksums", defaults.Checksums);

  AutoExecute = ini.ReadBool(kSchedule, "Auto Execute", defaults.AutoExecute);
  RecordLog = ini.ReadBool(kSchedule, "Record Log", defaults.RecordLog);
  Drive = ini.ReadString(kSchedule, "Drive", currentDrive);
  InformTaskDone = ini.ReadBool(kSchedule, "Inform_Task Done", defaults.InformTaskDone);
  DisplayWindow = ini.ReadBool(kSchedule, "Diplay Window", defaults.DisplayWindow);
  HideWindow = ini.ReadBool(kSchedule, "Hide Window", defaults.HideWindow);
  Query = ini.ReadBool(kSchedule, "Query", defaults.Query);
  CancelTask = ini.ReadBool(kSchedule, "Cancel Task", defaults.CancelTask);

  for (std::size_t i = 0; i < kSoundEventCount; ++i)
    Sounds[i].Enabled = ini.ReadBool(kSound, kSoundKeys[i].Enable, defaults.Sounds[i].Enabled);
  for (std::size_t i = 0; i < kSoundEventCount; ++i) {
    Sounds[i].UseDefault = ini.ReadBool(kSound, kSoundKeys[i].Default, defaults.Sounds[i].UseDefault);
    Sounds[i].UseCustom = ini.ReadBool(kSound, kSoundKeys[i].Custom, defaults.Sounds[i].UseCustom);
  }
  for (std::size_t i = 0; i < kSoundEventCount; ++i)
    Sounds[i].File = ini.ReadString(kSound, kSoundKeys[i].File, defaults.Sounds[i].File);

  BackgroundColor = ini.ReadBool(kInterface, "Color", defaults.BackgroundColor);
  BackgroundGradient = ini.ReadBool(kInterface, "Gradian", defaults.BackgroundGradient);
  BackgroundImage = ini.ReadBool(kInterface, "Image", defaults.BackgroundImage);
  BkColor = ini.ReadInteger(kInterface, "BK_Color", defaults.BkColor);
  BkStartColor = ini.ReadInteger(kInterface, "BK_Start Color", defaults.BkStartColor);
  BkEndColor = ini.ReadInteger(kInterface, "BK_End Color", defaults.BkEndColor);
  BkImage = ini.ReadString(kInterface, "BK_Image", defaults.BkImage);
  Skin = ini.ReadString(kInterface, "Skin", defaults.Skin);

  UpdateRunTime();
}

base::Status Options::LoadFromFile(const std::string& path, const std::string& currentDrive) {
  const IniFile ini(path);
  Load(ini, currentDrive);
  if (!ini.LoadError().empty()) return base::MakeError(base::ErrorKind::InvalidData, ini.LoadError());
  return base::Ok();
}

void Options::Save(IniFile& ini, std::uint32_t cacheSize) const {
  ini.WriteBool(kGeneral, "Auto Eject_No Disc", EjectNoDisc);
  ini.WriteBool(kGeneral, "Auto Eject_Burn Erase Done", EjectDone);
  ini.WriteBool(kGeneral, "Exit Program", ExitProgram);
  ini.WriteBool(kGeneral, "Close Computer", CloseComputer);
  ini.WriteBool(kGeneral, "Display Tips", DisplayTips);
  ini.WriteBool(kGeneral, "Detect New Version", DetectNewVersion);
  ini.WriteString(kGeneral, "WebSite", WebSite);
  ini.WriteString(kGeneral, "Buffer", Buffer);

  ini.WriteBool(kBurning, "ArchiveFiles", ArchiveFiles);
  ini.WriteBool(kBurning, "ImportSession", ImportSession);
  ini.WriteString(kBurning, "SessionNo", SessionNo);
  ini.WriteBool(kBurning, "CloseTrack", CloseTrack);
  ini.WriteBool(kBurning, "CloseDisc", CloseDisc);
  ini.WriteBool(kBurning, "Underrun Protection", UnderrunProtection);
  ini.WriteBool(kBurning, "JolietFS", JolietFS);
  ini.WriteBool(kBurning, "RockRidge", RockRidge);
  ini.WriteBool(kBurning, "Bootable", Bootable);
  ini.WriteString(kBurning, "BootImage", BootImage);
  ini.WriteBool(kBurning, "TestWrite", TestWrite);
  ini.WriteBool(kBurning, "QuickSaveISO", QuickSaveISO);
  ini.WriteBool(kBurning, "ShowFiles", ShowFiles);
  ini.WriteBool(kBurning, "PerformOPC", PerformOPC);
  ini.WriteBool(kBurning, "Checksums", Checksums);
  ini.WriteInteger(kBurning, "CacheSize", cacheSize);

  ini.WriteBool(kSchedule, "Auto Execute", AutoExecute);
  ini.WriteBool(kSchedule, "Record Log", RecordLog);
  ini.WriteString(kSchedule, "Drive", Drive);
  ini.WriteBool(kSchedule, "Inform_Task Done", InformTaskDone);
  ini.WriteBool(kSchedule, "Diplay Window", DisplayWindow);
  ini.WriteBool(kSchedule, "Hide Window", HideWindow);
  ini.WriteBool(kSchedule, "Query", Query);
  ini.WriteBool(kSchedule, "Cancel Task", CancelTask);

  for (std::size_t i = 0; i < kSoundEventCount; ++i) {
    ini.WriteBool(kSound, kSoundKeys[i].Enable, Sounds[i].Enabled);
    ini.WriteBool(kSound, kSoundKeys[i].Default, Sounds[i].UseDefault);
    ini.WriteBool(kSound, kSoundKeys[i].Custom, Sounds[i].UseCustom);
    ini.WriteString(kSound, kSoundKeys[i].File, Sounds[i].File);
  }

  ini.WriteBool(kInterface, "Color", BackgroundColor);
  ini.WriteBool(kInterface, "Gradian", BackgroundGradient);
  ini.WriteBool(kInterface, "Image", BackgroundImage);
  ini.WriteInteger(kInterface, "BK_Color", BkColor);
  ini.WriteInteger(kInterface, "BK_Start Color", BkStartColor);
  ini.WriteInteger(kInterface, "BK_End Color", BkEndColor);
  ini.WriteString(kInterface, "BK_Image", BkImage);
  ini.WriteString(kInterface, "Skin", Skin);
}

base::Status Options::SaveToFile(const std::string& path, std::uint32_t cacheSize) const {
  IniFile ini(path);
  Save(ini, cacheSize);
  return ini.Save();
}

int Options::BufferMiB() const {
  int value = 0;
  if (!ParseInt(Buffer, value)) return kDefaultBufferMiB;
  if (value < kMinBufferMiB) return kMinBufferMiB;
  if (value > kMaxBufferMiB) return kMaxBufferMiB;
  return value;
}

std::int8_t Options::SessionNumber() const {
  int value = 0;
  if (!ImportSession || !ParseInt(SessionNo, value) || value < -128 || value > 127) return 0;
  return static_cast<std::int8_t>(value);
}

bool Options::ImportSessionZeroWarning() const {
  int value = 0;
  return ImportSession && ParseInt(SessionNo, value) && value == 0;
}

std::string Options::SkinFile(const std::string& programFolder) const {
  if (Skin == "None") return {};
  return programFolder + "/Skins/" + Skin + ".mskn";
}

void Options::UpdateRunTime() {
  RunTime.ArchiveOnly = ArchiveFiles;
  RunTime.ShowFiles = ShowFiles;
  RunTime.ImportSession = ImportSession;
  RunTime.QuickSave = QuickSaveISO;
  RunTime.SessionNumber = SessionNumber();
}

void Options::ApplyToBurner(engine::TKavoBurner& burner) const {
  burner.SetJolietFileSystem(JolietFS);
  burner.SetRockRidge(RockRidge);
  burner.SetFinalizeDisc(CloseDisc);
  burner.SetFinalizeTrack(CloseTrack);
  burner.SetUnderrunProtection(UnderrunProtection);
  burner.SetTestWrite(TestWrite);
  burner.SetPerformOPC(PerformOPC);
  burner.SetCacheSize(CacheSizeBytes());
  burner.Bootable = Bootable;
  burner.BootImageFile = BootImage;
}

}  // namespace appcore
