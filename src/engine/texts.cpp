#include "engine/texts.h"

namespace engine::texts {

std::string Format(const char* text, const std::string& value) {
  std::string s = text;
  for (std::size_t i = 0; i + 1 < s.size(); ++i)
    if (s[i] == '%' && (s[i + 1] == 'd' || s[i + 1] == 's')) return s.replace(i, 2, value);
  return s;
}

std::string Format(const char* text, long long value) { return Format(text, std::to_string(value)); }

std::string Format(const char* text, const std::string& first, const std::string& second) {
  const std::string s = text;
  for (std::size_t i = 0; i + 1 < s.size(); ++i)
    if (s[i] == '%' && (s[i + 1] == 'd' || s[i + 1] == 's'))
      return s.substr(0, i) + first + Format(s.substr(i + 2).c_str(), second);
  return s;
}

}  // namespace engine::texts
