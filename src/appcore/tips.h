#pragma once
// The tip shown at start, and the rules of the new-version check: the
// installed version from Option.ini and when a published version counts as
// newer.
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "appcore/ini_file.h"

namespace appcore {

inline constexpr const char* kTipsFileName = "Tips.ini";
inline constexpr const char* kUpdatePath = "/update.txt";
inline constexpr const char* kDownloadPath = "/download.htm";

struct Tip {
  std::string Title;
  std::string Content;
};

// One of the tips 1..n at random, with the default texts for missing keys;
// nothing when the file holds no tips.
std::optional<Tip> PickTip(const IniFile& tips, std::mt19937& random);

struct InstalledVersion {
  std::string Text = "3.9";
  double Number = 3.9;
};
// "General"/"Version" of Option.ini, as text and as a number; each falls back
// to 3.9 on its own.
InstalledVersion ReadInstalledVersion(const IniFile& options, char decimalSeparator = '.');

// The three places the check starts from; the Tools menu title compares
// without the 0.005 margin.
enum class VersionCheckEntry { Automatic, ToolsMenuItem, ToolsMenuTitle };

// The version file's body as a number written with the user's decimal
// separator; nothing when it is not one.
std::optional<double> ParseVersionNumber(std::string_view text, char decimalSeparator = '.');
bool IsNewerVersion(double published, double installed, VersionCheckEntry entry);
const char* VersionCheckFailureText(VersionCheckEntry entry);
std::string NewerVersionMessage(const std::string& productName, const std::string& body);

}  // namespace appcore
