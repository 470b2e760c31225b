#include "engine/iso/naming.h"

namespace iso {
namespace {

// Decodes one UTF-8 character at s[i]; invalid sequences yield the byte itself
// (its Latin-1 meaning) and a length of 1.
char32_t DecodeUtf8(const std::string& s, std::size_t i, std::size_t& len) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  len = 1;
  if (b0 < 0x80) return b0;
  std::size_t need = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    need = 1;
    cp = b0 & 0x1Fu;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    need = 2;
    cp = b0 & 0x0Fu;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    need = 3;
    cp = b0 & 0x07u;
    min = 0x10000;
  } else {
    return b0;
  }
  if (i + need >= s.size()) return b0;
  for (std::size_t k = 1; k <= need; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return b0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return b0;
  len = need + 1;
  return cp;
}

}  // namespace

std::string UpperKey(const std::string& s) {
  std::string r = s;
  for (auto& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string ShortNameRule(const std::string& longName) {
  std::string r;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < longName.size() && chars < 13; ++chars) {
    std::size_t len = 0;
    const char32_t cp = DecodeUtf8(longName, i, len);
    i += len;
    if (cp < 0x21 || cp > 0x7A)
      r += '_';
    else if (cp >= 'a' && cp <= 'z')
      r += static_cast<char>(cp - 'a' + 'A');
    else
      r += static_cast<char>(cp);
  }
  return r;
}

std::vector<std::uint8_t> ToUcs2Be(const std::string& utf8) {
  std::vector<std::uint8_t> out;
  out.reserve(utf8.size() * 2);
  auto put = [&out](char32_t u) {
    out.push_back(static_cast<std::uint8_t>(u >> 8));
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t len = 0;
    const char32_t cp = DecodeUtf8(utf8, i, len);
    i += len;
    if (cp >= 0x10000) {  // outside the BMP: a surrogate pair
      const char32_t v = cp - 0x10000;
      put(0xD800 + (v >> 10));
      put(0xDC00 + (v & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

std::size_t Utf16Length(const std::string& utf8) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t len = 0;
    const char32_t cp = DecodeUtf8(utf8, i, len);
    i += len;
    n += cp >= 0x10000 ? 2 : 1;
  }
  return n;
}

std::string CutUtf8(const std::string& s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return s;
  std::size_t end = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = 0;
    DecodeUtf8(s, i, len);
    if (i + len > maxBytes) break;
    i += len;
    end = i;
  }
  return s.substr(0, end);
}

namespace {

// Cuts to at most `max` UTF-16 units (utf16) or bytes, whole characters only.
std::string CutTo(const std::string& s, std::size_t max, bool utf16) {
  std::size_t used = 0;
  std::size_t end = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = 0;
    const char32_t cp = DecodeUtf8(s, i, len);
    const std::size_t cost = utf16 ? (cp >= 0x10000 ? 2 : 1) : len;
    if (used + cost > max) break;
    used += cost;
    i += len;
    end = i;
  }
  return s.substr(0, end);
}

std::size_t LengthOf(const std::string& s, bool utf16) { return utf16 ? Utf16Length(s) : s.size(); }

}  // namespace

std::string ShortenedName(const std::string& name, std::size_t maxLength, bool utf16, unsigned number) {
  const std::string suffix = "~" + std::to_string(number);
  std::string ext;
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= 8) ext = name.substr(dot);
  const std::string stem = name.substr(0, name.size() - ext.size());
  const std::size_t fixed = suffix.size() + LengthOf(ext, utf16);
  const std::size_t budget = maxLength > fixed ? maxLength - fixed : 0;
  return CutTo(stem, budget, utf16) + suffix + ext;
}

std::string JoinKey(const std::string& parentKey, const std::string& name) {
  std::string key = parentKey + "\\" + name;
  if (key.rfind("\\\\", 0) == 0) key.erase(0, 1);
  return key;
}

}  // namespace iso
