// libFuzzer target: arbitrary bytes as an INI profile (Option.ini, the
// schedule list). Reads of the keys the program asks for, then a change of
// one key, which must read back and leave the rest of the text readable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "appcore/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  appcore::IniFile ini = appcore::IniFile::FromText(std::string_view(reinterpret_cast<const char*>(data), size));
  // The section and key names come from the input too, so that the lookups
  // find something: the first line that looks like "[x]" and the first "k=".
  const std::string text = ini.Text();
  std::string section = "Options", key = "Finalize";
  if (const auto open = text.find('['); open != std::string::npos) {
    const auto close = text.find(']', open);
    if (close != std::string::npos && close - open < 64) section = text.substr(open + 1, close - open - 1);
    if (section.find_first_of("\r\n[]") != std::string::npos) section = "Options";
  }
  if (const auto eq = text.find('='); eq != std::string::npos) {
    const auto start = text.rfind('\n', eq);
    const auto from = start == std::string::npos ? 0 : start + 1;
    if (eq - from < 64) key = text.substr(from, eq - from);
    if (key.find_first_of("\r\n[];=") != std::string::npos) key = "Finalize";
  }
  ini.SectionExists(section);
  ini.ValueExists(section, key);
  ini.ReadString(section, key, "");
  ini.ReadInteger(section, key, 7);
  ini.ReadBool(section, key, false);

  // A key written with a plain name reads back with its value, line breaks
  // folded, whatever the rest of the file holds.
  ini.WriteString("Fuzz Section", "FuzzKey", "a\r\nb");
  if (ini.ReadString("Fuzz Section", "FuzzKey", "") != "a  b") __builtin_trap();
  ini.WriteInteger(section, "Count", -42);
  ini.DeleteKey(section, key);
  ini.EraseSection("Fuzz Section");
  const appcore::IniFile reread = appcore::IniFile::FromText(ini.Text());
  if (reread.ValueExists("Fuzz Section", "FuzzKey")) __builtin_trap();
  return 0;
}
