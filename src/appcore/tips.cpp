#include "appcore/tips.h"

#include <charconv>
#include <cmath>

#include "appcore/texts.h"

namespace appcore {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<Tip> PickTip(const IniFile& tips, std::mt19937& random) {
  const std::int32_t count = tips.ReadInteger("Count", "Value", 0);
  if (count <= 0) return std::nullopt;
  std::uniform_int_distribution<std::int32_t> pick(1, count);
  const std::string section = std::to_string(pick(random));
  return Tip{tips.ReadString(section, "Title", texts::kNoTitle), tips.ReadString(section, "Content", texts::kNoContent)};
}

InstalledVersion ReadInstalledVersion(const IniFile& options, char decimalSeparator) {
  InstalledVersion v;
  v.Text = options.ReadString("General", "Version", v.Text);
  if (options.ValueExists("General", "Version"))
    v.Number = ParseVersionNumber(v.Text, decimalSeparator).value_or(v.Number);
  return v;
}

std::optional<double> ParseVersionNumber(std::string_view text, char decimalSeparator) {
  text = Trim(text);
  std::string plain;
  bool digit = false;
  bool separator = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digit = true;
      plain += c;
    } else if (c == decimalSeparator && !separator) {
      separator = true;
      plain += '.';
    } else if ((c == '-' || c == '+') && i == 0) {
      if (c == '-') plain += c;
    } else {
      return std::nullopt;
    }
  }
  if (!digit || plain.size() > 64) return std::nullopt;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec != std::errc() || ptr != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool IsNewerVersion(double published, double installed, VersionCheckEntry entry) {
  const double margin = entry == VersionCheckEntry::ToolsMenuTitle ? 0.0 : 0.005;
  // Both numbers come from short decimal texts: a body of exactly installed
  // + 0.005 must not count as newer because of binary rounding.
  return published - installed > margin + 1e-9;
}

const char* VersionCheckFailureText(VersionCheckEntry entry) {
  return entry == VersionCheckEntry::ToolsMenuItem ? texts::kCheckFailed : texts::kDetectFailed;
}

std::string NewerVersionMessage(const std::string& productName, const std::string& body) {
  return texts::kLatestVersionOf + productName + " is " + body + "\n\r" + texts::kDownloadQuestion;
}

}  // namespace appcore
