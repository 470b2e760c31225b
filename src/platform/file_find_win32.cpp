#include <windows.h>
// The platform function of the same name is meant below, not the macro.
#undef SetFileAttributes

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_find.h"
#include "platform/win32_text.h"

namespace platform {

const char kPathSeparator = '\\';

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

namespace {

constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Delphi's FindFirst: hidden, system, volume and directory entries are passed
// over unless the caller asked for them; read-only and archive never exclude.
bool ExcludedByMask(std::uint32_t attributes, std::uint32_t attrMask) {
  constexpr std::uint32_t kExcluding = kAttrHidden | kAttrSystem | kAttrVolumeId | kAttrDirectory;
  return (attributes & ~attrMask & kExcluding) != 0;
}

bool HasWildcard(std::string_view mask) { return mask.find_first_of("*?") != std::string_view::npos; }

void SetWriteTime(const FILETIME& ft, FindData& out) {
  const std::int64_t ticks =
      static_cast<std::int64_t>((std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime) - win32::kUnixEpochTicks;
  std::int64_t sec = ticks / win32::kTicksPerSecond;
  std::int64_t rest = ticks % win32::kTicksPerSecond;
  if (rest < 0) {
    rest += win32::kTicksPerSecond;
    --sec;
  }
  out.WriteTimeSec = sec;
  out.WriteTimeNsec = static_cast<std::int32_t>(rest * 100);
}

// What a link points at: FindFirstFile describes a symbolic link or junction
// itself (a file link with size 0), while reading it reads the target.
// Directories also get their identity here, so that a walk can tell a
// junction that leads back into its own tree.
bool ExamineTarget(const std::wstring& path, FindData& out, bool wantAttributes) {
  const HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return false;
  out.Device = info.dwVolumeSerialNumber;
  out.Inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  if (wantAttributes) {
    out.Attributes = info.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_REPARSE_POINT};
    const bool directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out.Size = directory ? 0 : (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    SetWriteTime(info.ftLastWriteTime, out);
  }
  return true;
}

// Fills `out` from one search result; false when the entry cannot be
// examined (a dangling link), which callers pass over.
bool FillFindData(const WIN32_FIND_DATAW& fd, const std::wstring& folder, FindData& out) {
  out.Name = win32::Utf8(fd.cFileName);
  out.AlternateName = win32::Utf8(fd.cAlternateFileName);
  out.Attributes = fd.dwFileAttributes;
  const bool directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out.Size = directory ? 0 : (std::uint64_t{fd.nFileSizeHigh} << 32) | fd.nFileSizeLow;
  SetWriteTime(fd.ftLastWriteTime, out);
  out.Device = 0;
  out.Inode = 0;
  out.Special = false;
  const bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (link || directory) {
    if (!ExamineTarget(folder + fd.cFileName, out, link) && link) return false;
  }
  return true;
}

}  // namespace

struct FileFinder::Impl {
  HANDLE Find = INVALID_HANDLE_VALUE;
  std::wstring Folder;  // ends with a separator, ready for appending a name
  std::string Mask;
  std::uint32_t AttrMask = 0;
  bool ArchiveLookup = true;
  bool Pending = false;  // the search handle holds an entry not yet returned
  WIN32_FIND_DATAW Data{};

  ~Impl() { CloseFind(); }

  void CloseFind() {
    if (Find != INVALID_HANDLE_VALUE) FindClose(Find);
    Find = INVALID_HANDLE_VALUE;
    Pending = false;
  }
};

FileFinder::FileFinder() : FImpl(std::make_unique<Impl>()) {}

FileFinder::~FileFinder() = default;

void FileFinder::SetArchiveLookup(bool on) { FImpl->ArchiveLookup = on; }
void FileFinder::SetKeepLinks(bool) {}  // links are followed here

bool FileFinder::FindFirst(const std::string& pattern, std::uint32_t attrMask, FindData& out) {
  Close();
  Impl& impl = *FImpl;
  const std::wstring wide = win32::WidePath(pattern);
  std::size_t cut = wide.size();
  while (cut > 0 && !IsSeparator(wide[cut - 1]) && wide[cut - 1] != L':') --cut;
  std::wstring folder = wide.substr(0, cut);
  impl.Mask = win32::Utf8(std::wstring_view(wide).substr(cut));
  if (impl.Mask.empty()) return false;
  impl.AttrMask = attrMask;
  if (!HasWildcard(impl.Mask)) {
    // One named file: looked up directly, so that adding files one by one
    // does not scan the folder each time.
    WIN32_FIND_DATAW fd{};
    const HANDLE h = FindFirstFileW(wide.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    FindData found;
    if (!FillFindData(fd, folder, found)) return false;
    if (!impl.ArchiveLookup) found.Attributes &= ~kAttrArchive;
    if (ExcludedByMask(found.Attributes, attrMask)) return false;
    out = std::move(found);
    return true;
  }
  // The whole folder, matched by our own mask rules: Windows would also match
  // masks against the 8.3 aliases ("*.htm" finding "page.html").
  impl.Find = FindFirstFileW((folder + L"*").c_str(), &impl.Data);
  if (impl.Find == INVALID_HANDLE_VALUE) return false;
  impl.Folder = std::move(folder);
  impl.Pending = true;
  return FindNext(out);
}

bool FileFinder::FindNext(FindData& out) {
  Impl& impl = *FImpl;
  if (impl.Find == INVALID_HANDLE_VALUE) return false;
  for (;;) {
    if (!impl.Pending && !FindNextFileW(impl.Find, &impl.Data)) break;
    impl.Pending = false;
    const std::string name = win32::Utf8(impl.Data.cFileName);
    if (!MatchesMask(name, impl.Mask)) continue;
    if (ExcludedByMask(impl.Data.dwFileAttributes, impl.AttrMask)) continue;
    if (!FillFindData(impl.Data, impl.Folder, out)) continue;
    if (!impl.ArchiveLookup) out.Attributes &= ~kAttrArchive;
    return true;
  }
  // Give the handle back as soon as the listing ends; tree walks keep many
  // finders alive at once.
  impl.CloseFind();
  return false;
}

void FileFinder::Close() {
  FImpl->CloseFind();
  FImpl->Folder.clear();
  FImpl->Mask.clear();
}

bool GetFileInfo(const std::string& path, FindData& out) {
  std::wstring wide = win32::WidePath(path);
  while (wide.size() > 1 && IsSeparator(wide.back()) && wide[wide.size() - 2] != L':') wide.pop_back();
  if (wide.empty() || wide.find_first_of(L"*?") != std::wstring::npos) return false;
  std::size_t cut = wide.size();
  while (cut > 0 && !IsSeparator(wide[cut - 1]) && wide[cut - 1] != L':') --cut;
  const std::wstring folder = wide.substr(0, cut);
  WIN32_FIND_DATAW fd{};
  const HANDLE h = cut < wide.size() ? FindFirstFileW(wide.c_str(), &fd) : INVALID_HANDLE_VALUE;
  if (h != INVALID_HANDLE_VALUE) {
    FindClose(h);
    return FillFindData(fd, folder, out);
  }
  // A drive root ("C:\") is no search result of its parent.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return false;
  out = FindData{};
  out.Name = win32::Utf8(std::wstring_view(wide).substr(cut));
  if (out.Name.empty()) out.Name = win32::Utf8(wide);
  out.Attributes = data.dwFileAttributes;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    out.Size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  SetWriteTime(data.ftLastWriteTime, out);
  ExamineTarget(wide, out, false);
  return true;
}

bool ClearArchiveAttribute(const std::string& path) {
  const std::wstring wide = win32::WidePath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_ARCHIVE) == 0) return true;
  DWORD rest = attributes & kSettableAttributes & ~DWORD{FILE_ATTRIBUTE_ARCHIVE};
  return SetFileAttributesW(wide.c_str(), rest == 0 ? FILE_ATTRIBUTE_NORMAL : rest) != 0;
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  // Bits that describe a file rather than set it (directory, compressed,
  // reparse point) are not the caller's to set.
  const DWORD settable = attributes & kSettableAttributes;
  return SetFileAttributesW(win32::WidePath(path).c_str(), settable == 0 ? FILE_ATTRIBUTE_NORMAL : settable) != 0;
}

bool IsValidFileName(const std::string& name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*/\\").find(c) != std::string_view::npos)
      return false;
  // Device names stay devices with any extension: "nul.txt" is NUL.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (stem == device) return false;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
      stem[3] <= '9')
    return false;
  return true;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(win32::WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(win32::WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace platform
