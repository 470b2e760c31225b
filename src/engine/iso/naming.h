#pragma once
// Naming rules of the compilation tree: pure functions over UTF-8 names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace iso {

// Case folding for path keys and name lookup: ASCII letters only, so that the
// result never depends on the process locale.
std::string UpperKey(const std::string& s);

// Short-name rule for names that have no 8.3 alias: the first 13 characters,
// a-z as A-Z, every character below "!" or above "z" as "_".
std::string ShortNameRule(const std::string& longName);

// UTF-16 big-endian form of a UTF-8 name, as Joliet records it. Bytes that are
// not valid UTF-8 are taken as Latin-1, so distinct names stay distinct.
std::vector<std::uint8_t> ToUcs2Be(const std::string& utf8);
std::size_t Utf16Length(const std::string& utf8);

// Cuts a UTF-8 string to at most maxBytes without splitting a character.
std::string CutUtf8(const std::string& s, std::size_t maxBytes);

// A directory record's length is one byte: 33 + n, plus 1 when n is even.
constexpr bool IdentifierFitsRecord(std::size_t n) { return 33 + n + (n % 2 == 0 ? 1 : 0) <= 255; }
// Longest identifiers that always fit, whatever their parity.
inline constexpr std::size_t kMaxIsoIdentifierBytes = 220;
// Joliet identifiers are UCS-2: at most 110 code units fit a record.
inline constexpr std::size_t kMaxJolietDirUnits = 110;
inline constexpr std::size_t kMaxJolietFileUnits = 110;
// A file's Joliet identifier carries ";1" when there is room for it; longer
// names go without, which readers accept.
constexpr bool JolietVersionFits(std::size_t units) { return IdentifierFitsRecord(2 * (units + 2)); }
// Long names longer than this are skipped before the add handler runs.
inline constexpr std::size_t kMaxLongFileName = 109;

// A name cut to at most maxLength UTF-16 units (utf16) or bytes, made
// distinct by "~" and a number, keeping a short extension: used where a
// whole name does not fit a tree's identifier.
std::string ShortenedName(const std::string& name, std::size_t maxLength, bool utf16, unsigned number);

// Joins a compilation path and a name with one "\" between them.
std::string JoinKey(const std::string& parentKey, const std::string& name);

}  // namespace iso
