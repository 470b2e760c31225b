#pragma once
// INI profile files read and written key by key: sections and keys compared
// without regard to ASCII case, values trimmed, the first of duplicate
// sections or keys wins, anything missing or malformed gives the caller's
// default. Changing one key
// keeps every other line (comments, unknown sections, order) as it was.
//
// Line endings: files are read with CRLF or LF; a file keeps the ending of its
// first line, and a new file gets CRLF, as Windows programs write them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/result.h"

namespace appcore {

class IniFile {
 public:
  // Larger files are not INI profiles: they are not read, and not saved over.
  static constexpr std::size_t kMaxFileSize = 4u << 20;
  // Longer lines are kept on save but never parsed as a section or key.
  static constexpr std::size_t kMaxLineLength = 32u << 10;

  IniFile() = default;
  // Loads `path`; a missing file is an empty profile. A file that is there
  // but cannot be read (too large, not a regular file, refused) reads as
  // empty with LoadError() saying why, and Save() refuses to replace it:
  // what it holds is not known, so it must not be lost.
  explicit IniFile(std::string path);
  // A profile held in memory, with no file behind it.
  static IniFile FromText(std::string_view text);

  const std::string& Path() const { return FPath; }
  // Why the file could not be read; empty when it was read or is missing.
  const std::string& LoadError() const { return FLoadError; }

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Decimal with an optional sign; anything else, or out of range, gives `def`.
  std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const;
  // True for any non-zero integer.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // Line breaks inside a value become spaces so that a value cannot add lines.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, std::int64_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  // Removes every section of that name with its lines.
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& key);

  // Writes a new file of a name nobody uses beside the file, flushes it and
  // renames it over the file, so that a crash leaves either the old or the
  // new file whole.
  base::Status Save() const;
  base::Status SaveAs(const std::string& path) const;

  // The whole text as it would be saved.
  std::string Text() const;

 private:
  struct Located {
    std::size_t Line = 0;
    bool Found = false;
  };
  void Parse(std::string_view text);
  // Index of the first section line with that name, if any.
  Located FindSection(const std::string& section) const;
  Located FindKey(const std::string& section, const std::string& key) const;

  // Line of the first section of each name (ASCII lower case), built when
  // first needed and dropped when lines move: a list of a thousand tasks is
  // read key by key, and a scan of every line per key would be quadratic.
  void ForgetSections() const { FSectionsKnown = false; }

  std::string FPath;
  std::string FLoadError;
  std::vector<std::string> FLines;  // without their line endings
  mutable std::unordered_map<std::string, std::size_t> FSections;
  mutable bool FSectionsKnown = false;
  std::string FLineEnd = "\r\n";
  bool FBom = false;
};

}  // namespace appcore
