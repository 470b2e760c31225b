#pragma once
// The edge between the UTF-8 strings used inside and the UTF-16 of the wide
// Windows API, so that names outside the ANSI code page survive. Only the
// Windows files of this folder include it.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::win32 {

// Invalid UTF-8 becomes U+FFFD, invalid UTF-16 likewise.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// A path for the wide file functions: "/" as "\", and the "\\?\" prefix on
// absolute paths too long for MAX_PATH, so deep folders stay reachable.
std::wstring WidePath(std::string_view utf8);

// The system's text for an error code, with the code.
std::string ErrorText(unsigned long error);

// FILETIME ticks (100 ns since 1601) and Unix seconds and nanoseconds.
inline constexpr std::int64_t kUnixEpochTicks = 116444736000000000;
inline constexpr std::int64_t kTicksPerSecond = 10000000;

}  // namespace platform::win32
