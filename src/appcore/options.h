#pragma once
// The options store: every key of Option.ini with its default, loading and
// saving in the order the options window uses, the values derived at run
// time, and what is handed to the burner. The desktop application binds these
// fields to its controls; the command line reads them so that its defaults
// follow what the user chose in the application.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "appcore/ini_file.h"
#include "base/result.h"

namespace engine {
class TKavoBurner;
}

namespace appcore {

inline constexpr const char* kOptionFileName = "Option.ini";

// No skin on Windows XP and "devoir" everywhere else, Linux included.
std::string DefaultSkinName();

enum class SoundEvent : std::size_t {
  BurningDone,
  ErasingDone,
  CopyDone,
  BuildIsoDone,
  ScheduleStart,
  ScheduleDone,
};
inline constexpr std::size_t kSoundEventCount = 6;

struct SoundOptions {
  bool Enabled = true;
  bool UseDefault = true;  // radio "Default": the system beep
  bool UseCustom = false;  // radio "Custom": the file below
  std::string File;
};

// Values the other parts read while the program runs, set by Load and by OK.
struct RunTimeValues {
  bool ArchiveOnly = false;
  bool ShowFiles = false;
  bool ImportSession = false;
  bool QuickSave = false;
  std::int8_t SessionNumber = 0;  // 0 none, -1 the last session
};

class Options {
 public:
  static constexpr int kMinBufferMiB = 1;
  static constexpr int kMaxBufferMiB = 50;
  static constexpr int kDefaultBufferMiB = 6;

  Options();

  // --- General
  bool EjectNoDisc = false;
  bool EjectDone = true;
  bool ExitProgram = false;
  bool CloseComputer = false;
  bool DisplayTips = true;
  bool DetectNewVersion = false;
  std::string Buffer = "6";     // text of the buffer spin edit, MiB
  std::string Version = "3.9";  // read only; never written back
  // The product's web site: the version check reads <WebSite>/update.txt.
  std::string WebSite = "http://www.zantic.example";

  // --- Burning
  bool ArchiveFiles = false;
  bool Checksums = true;  // task and scheduled burns add the checksum file
  bool ImportSession = false;
  std::string SessionNo = "0";
  bool CloseTrack = true;
  bool CloseDisc = true;
  bool UnderrunProtection = true;
  bool JolietFS = true;
  // Rock Ridge beside the ISO 9660 tree (whole names, modes, links).
  bool RockRidge = true;
  bool Bootable = false;
  std::string BootImage;
  bool TestWrite = false;
  bool QuickSaveISO = false;
  bool ShowFiles = false;
  bool PerformOPC = false;

  // --- Schedule
  bool AutoExecute = true;
  bool RecordLog = true;
  std::string Drive;
  bool InformTaskDone = false;
  bool DisplayWindow = false;  // the pair "Diplay Window" / "Hide Window"
  bool HideWindow = true;
  bool Query = true;  // the pair "Query" / "Cancel Task"
  bool CancelTask = false;

  // --- Sound
  std::array<SoundOptions, kSoundEventCount> Sounds;
  SoundOptions& Sound(SoundEvent e) { return Sounds[static_cast<std::size_t>(e)]; }
  const SoundOptions& Sound(SoundEvent e) const { return Sounds[static_cast<std::size_t>(e)]; }

  // --- Interface
  bool BackgroundColor = true;  // the three radios "Color", "Gradian", "Image"
  bool BackgroundGradient = false;
  bool BackgroundImage = false;
  std::int32_t BkColor = 14653050;    // 0x00BBGGRR
  std::int32_t BkStartColor = 255;
  std::int32_t BkEndColor = 16711680;
  std::string BkImage;
  std::string Skin;

  RunTimeValues RunTime;

  // Reads every key (missing ones take the defaults above; `currentDrive`
  // is the default of "Drive") and sets the run-time values.
  void Load(const IniFile& ini, const std::string& currentDrive);
  // A file that is there but cannot be read (too large, not a regular file)
  // leaves the defaults and is an error: a run must not go on with settings
  // it was not given.
  base::Status LoadFromFile(const std::string& path, const std::string& currentDrive);
  // Writes every key except "Version", section by section; `cacheSize` is the
  // burner's current CacheSize. Keys the file has besides these are kept.
  void Save(IniFile& ini, std::uint32_t cacheSize) const;
  base::Status SaveToFile(const std::string& path, std::uint32_t cacheSize) const;

  // The buffer size in MiB as the slider holds it: 1 to 50; text that is not
  // an integer gives the default rather than a zero-sized cache.
  int BufferMiB() const;
  std::uint32_t CacheSizeBytes() const { return static_cast<std::uint32_t>(BufferMiB()) * 1048576u; }
  // Session to import: the integer of SessionNo when import is on, else 0.
  // Text that is not an integer, or outside -128..127, imports nothing.
  std::int8_t SessionNumber() const;
  // OK warns "zero means not to import" in this case before going on.
  bool ImportSessionZeroWarning() const;

  // The skin file for the skinning engine: <folder>/Skins/<name>.mskn, or
  // empty when the skin is "None".
  std::string SkinFile(const std::string& programFolder) const;

  // Recomputes the run-time values from the fields (Load and OK).
  void UpdateRunTime();
  void ApplyToBurner(engine::TKavoBurner& burner) const;
};

}  // namespace appcore
