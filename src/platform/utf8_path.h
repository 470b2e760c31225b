#pragma once
// std::filesystem paths from and to the UTF-8 strings used inside. A path
// made from a plain std::string reads it in the ANSI code page on Windows,
// which loses every name outside it; char8_t strings are UTF-8 everywhere
// (on Linux the bytes pass unchanged).
#include <filesystem>
#include <string>

namespace platform {

inline std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathUtf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace platform
