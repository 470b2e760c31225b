#include "platform/win32_text.h"

#include <windows.h>

#include <algorithm>
#include <limits>

namespace platform::win32 {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
  const int size = static_cast<int>(utf8.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring out(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), needed);
  return out;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty() || wide.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
  const int size = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), needed, nullptr, nullptr);
  return out;
}

std::wstring WidePath(std::string_view utf8) {
  std::wstring path = Wide(utf8);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  // MAX_PATH less room for an 8.3 name, the limit that CreateDirectory keeps.
  constexpr std::size_t kPlainLimit = MAX_PATH - 12;
  if (path.size() < kPlainLimit || path.rfind(L"\\\\?\\", 0) == 0) return path;
  const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
  const bool unc = path.rfind(L"\\\\", 0) == 0;
  // The prefix turns off the parsing of "." and "..", so only plain absolute
  // paths get it.
  if (path.find(L"\\.\\") != std::wstring::npos || path.find(L"\\..\\") != std::wstring::npos) return path;
  if (drive) return L"\\\\?\\" + path;
  if (unc) return L"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

std::string ErrorText(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  if (length > 0 && text != nullptr) out = Utf8(std::wstring_view(text, length));
  if (text != nullptr) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  if (out.empty()) out = "system error";
  return out + " (error " + std::to_string(error) + ")";
}

}  // namespace platform::win32
