#include "appcore/ini_file.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/file_stream.h"
#include "platform/utf8_path.h"

namespace appcore {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// The name of a "[name]" line, trimmed.
std::optional<std::string_view> SectionName(std::string_view line) {
  if (line.size() > IniFile::kMaxLineLength) return std::nullopt;
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct KeyValue {
  std::string_view Key;
  std::string_view Value;
};

std::optional<KeyValue> SplitKey(std::string_view line) {
  if (line.size() > IniFile::kMaxLineLength) return std::nullopt;
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return std::nullopt;
  const std::size_t eq = trimmed.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  const std::string_view key = Trim(trimmed.substr(0, eq));
  if (key.empty()) return std::nullopt;
  return KeyValue{key, Trim(trimmed.substr(eq + 1))};
}

std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

}  // namespace

IniFile::IniFile(std::string path) : FPath(std::move(path)) {
  std::error_code ec;
  if (fs::status(platform::Utf8Path(FPath), ec).type() == fs::file_type::not_found) return;
  auto opened = platform::FileStream::OpenRegular(FPath);
  if (!opened.Ok()) {
    FLoadError = opened.Err().Message;
    return;
  }
  platform::FileStream& file = opened.Value();
  const std::int64_t size = file.Size();
  if (size < 0) {
    FLoadError = "cannot examine " + FPath;
    return;
  }
  if (static_cast<std::uint64_t>(size) > kMaxFileSize) {
    FLoadError = FPath + " is larger than " + std::to_string(kMaxFileSize >> 20) + " MB";
    return;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  const std::int64_t got = text.empty() ? 0 : file.Read(text.data(), text.size());
  if (got < 0) {
    FLoadError = "cannot read " + FPath;
    return;
  }
  text.resize(static_cast<std::size_t>(got));
  Parse(text);
}

IniFile IniFile::FromText(std::string_view text) {
  IniFile ini;
  ini.Parse(text);
  return ini;
}

void IniFile::Parse(std::string_view text) {
  std::string_view rest(text);
  if (rest.substr(0, kBom.size()) == kBom) {
    FBom = true;
    rest.remove_prefix(kBom.size());
  }
  bool firstEnding = true;
  while (!rest.empty()) {
    const std::size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    const bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.remove_suffix(1);
    if (nl != std::string_view::npos && firstEnding) {
      FLineEnd = crlf ? "\r\n" : "\n";
      firstEnding = false;
    }
    FLines.emplace_back(line);
    if (nl == std::string_view::npos) break;
    rest.remove_prefix(nl + 1);
  }
}

namespace {

std::string LowerText(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

}  // namespace

IniFile::Located IniFile::FindSection(const std::string& section) const {
  if (!FSectionsKnown) {
    FSections.clear();
    for (std::size_t i = 0; i < FLines.size(); ++i)
      if (const auto name = SectionName(FLines[i])) FSections.emplace(LowerText(*name), i);  // the first wins
    FSectionsKnown = true;
  }
  const auto found = FSections.find(LowerText(Trim(section)));
  if (found == FSections.end()) return {};
  return {found->second, true};
}

IniFile::Located IniFile::FindKey(const std::string& section, const std::string& key) const {
  const Located sec = FindSection(section);
  if (!sec.Found) return {};
  const std::string_view wanted = Trim(key);
  for (std::size_t i = sec.Line + 1; i < FLines.size(); ++i) {
    if (SectionName(FLines[i])) break;
    const auto kv = SplitKey(FLines[i]);
    if (kv && SameText(kv->Key, wanted)) return {i, true};
  }
  return {};
}

bool IniFile::SectionExists(const std::string& section) const { return FindSection(section).Found; }

bool IniFile::ValueExists(const std::string& section, const std::string& key) const {
  return FindKey(section, key).Found;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
  const Located at = FindKey(section, key);
  if (!at.Found) return def;
  return std::string(SplitKey(FLines[at.Line])->Value);
}

std::int32_t IniFile::ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const {
  const Located at = FindKey(section, key);
  if (!at.Found) return def;
  std::string_view text = SplitKey(FLines[at.Line])->Value;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return def;
  return value;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  const std::string cleanValue = OneLine(value);
  const std::string cleanKey = OneLine(Trim(key));
  const Located sec = FindSection(section);
  if (!sec.Found) {
    // A blank line before a new section, as a person would leave it.
    if (!FLines.empty() && !Trim(FLines.back()).empty()) FLines.emplace_back();
    FLines.push_back("[" + OneLine(Trim(section)) + "]");
    if (FSectionsKnown) {
      if (const auto name = SectionName(FLines.back())) FSections.emplace(LowerText(*name), FLines.size() - 1);
      else ForgetSections();
    }
    FLines.push_back(cleanKey + "=" + cleanValue);
    if (SectionName(FLines.back())) ForgetSections();  // a key such as "[x]" reads back as a section
    return;
  }
  const Located at = FindKey(section, key);
  if (at.Found) {
    // Keep the file's own spelling of the key and any indentation before it.
    std::string& line = FLines[at.Line];
    line = line.substr(0, line.find('=') + 1) + cleanValue;
    return;
  }
  // After the last non-blank line of the section, so blank separators stay.
  std::size_t insertAt = sec.Line + 1;
  for (std::size_t i = sec.Line + 1; i < FLines.size() && !SectionName(FLines[i]); ++i)
    if (!Trim(FLines[i]).empty()) insertAt = i + 1;
  FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(insertAt), cleanKey + "=" + cleanValue);
  // Sections after the new line have moved down.
  if (insertAt + 1 < FLines.size() || SectionName(FLines[insertAt])) ForgetSections();
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, std::int64_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::EraseSection(const std::string& section) {
  const std::string_view wanted = Trim(section);
  std::vector<std::string> kept;
  kept.reserve(FLines.size());
  bool erasing = false;
  for (std::string& line : FLines) {
    if (const auto name = SectionName(line)) erasing = SameText(*name, wanted);
    if (!erasing) kept.push_back(std::move(line));
  }
  FLines = std::move(kept);
  ForgetSections();
}

void IniFile::DeleteKey(const std::string& section, const std::string& key) {
  const Located at = FindKey(section, key);
  if (at.Found) {
    FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(at.Line));
    ForgetSections();
  }
}

std::string IniFile::Text() const {
  std::string text = FBom ? std::string(kBom) : std::string();
  for (const std::string& line : FLines) {
    text += line;
    text += FLineEnd;
  }
  return text;
}

base::Status IniFile::Save() const { return SaveAs(FPath); }

base::Status IniFile::SaveAs(const std::string& path) const {
  if (path.empty()) return base::MakeError(base::ErrorKind::InvalidInput, "no file name to save the profile to");
  if (!FLoadError.empty() && path == FPath)
    return base::MakeError(base::ErrorKind::InvalidData, "not saved over " + FPath + ": " + FLoadError);
  const std::string text = Text();
  std::string temp;
  {
    auto opened = platform::FileStream::CreateTempBeside(path, temp);
    if (!opened.Ok()) return opened.Err();
    platform::FileStream& file = opened.Value();
    base::Status written = file.Write(text.data(), text.size());
    if (written.Ok()) written = file.Sync();
    file.Close();
    if (!written.Ok()) {
      platform::RemoveFile(temp);
      return written.Err();
    }
  }
  base::Status renamed = platform::RenameFile(temp, path);
  if (!renamed.Ok()) platform::RemoveFile(temp);
  return renamed;
}

}  // namespace appcore
