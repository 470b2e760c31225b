#include <cstddef>
#include <string>
#include <string_view>

#include "platform/file_find.h"

namespace platform {

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the character starting at `pos`. "?" stands for one character, as
// it does for one UTF-16 unit on Windows, so a multibyte UTF-8 sequence counts
// once. Malformed bytes count one each so that matching always moves on.
std::size_t CharLength(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (pos + length > text.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// Greedy matching that backtracks only to the most recent "*": a later star
// can absorb whatever an earlier one would have, so at most O(name * mask)
// steps, never the exponential blow-up of recursive matching.
bool MatchWildcards(std::string_view name, std::string_view mask) {
  constexpr std::size_t kNoStar = std::string_view::npos;
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t starMask = kNoStar;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = ++m;
      starName = n;
    } else if (m < mask.size() && mask[m] == '?') {
      n += CharLength(name, n);
      ++m;
    } else if (m < mask.size() && FoldAscii(mask[m]) == FoldAscii(name[n])) {
      ++n;
      ++m;
    } else if (starMask != kNoStar) {
      starName += CharLength(name, starName);
      n = starName;
      m = starMask;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask.empty()) return false;
  if (mask == "*" || mask == "*.*") return true;
  if (MatchWildcards(name, mask)) return true;
  // Windows lets a trailing ".*" also match the end of a name that has no
  // extension at all: "readme.*" finds "readme".
  const std::string_view view(mask);
  if (view.size() >= 2 && view.substr(view.size() - 2) == ".*" && name.find('.') == std::string::npos) {
    return MatchWildcards(name, view.substr(0, view.size() - 2));
  }
  return false;
}

}  // namespace platform
