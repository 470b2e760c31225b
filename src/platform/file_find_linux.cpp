#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_find.h"

namespace platform {

const char kPathSeparator = '/';

bool IsPathSeparator(char c) { return c == '/'; }

namespace {

// The archive record: "1 <size> <mtime sec> <mtime nsec> <ctime bound sec>
// <ctime bound nsec>". Storing the record changes ctime itself, so instead of
// the exact ctime we keep an upper bound on it; a later metadata change, such
// as putting an old mtime back with utimes, moves ctime past the bound.
constexpr const char* kArchiveXattr = "user.zantic.archive";
constexpr std::string_view kArchiveVersion = "1";
constexpr std::size_t kArchiveRecordMax = 128;
constexpr std::int64_t kNsecPerSec = 1'000'000'000;

struct ArchiveRecord {
  std::uint64_t Size = 0;
  std::int64_t MtimeSec = 0;
  std::int64_t MtimeNsec = 0;
  std::int64_t BoundSec = 0;
  std::int64_t BoundNsec = 0;
};

template <typename T>
bool ParseField(std::string_view text, T& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// The value comes from the file system and anyone who can write the file can
// set it, so it is parsed strictly: exact field count, decimal digits only.
bool ParseArchiveRecord(std::string_view text, ArchiveRecord& out) {
  std::string_view fields[6];
  std::size_t count = 0;
  while (true) {
    const std::size_t space = text.find(' ');
    if (count == 6) return false;
    fields[count++] = text.substr(0, space);
    if (space == std::string_view::npos) break;
    text.remove_prefix(space + 1);
  }
  if (count != 6 || fields[0] != kArchiveVersion) return false;
  ArchiveRecord record;
  if (!ParseField(fields[1], record.Size) || !ParseField(fields[2], record.MtimeSec) ||
      !ParseField(fields[3], record.MtimeNsec) || !ParseField(fields[4], record.BoundSec) ||
      !ParseField(fields[5], record.BoundNsec)) {
    return false;
  }
  if (record.MtimeNsec < 0 || record.MtimeNsec >= kNsecPerSec || record.BoundNsec < 0 ||
      record.BoundNsec >= kNsecPerSec) {
    return false;
  }
  out = record;
  return true;
}

enum class XattrSupport { Supported, Unsupported };

// True when the record stored at the last archive burn still describes the
// file. Any doubt (no record, unreadable, malformed, mismatch) means changed.
bool ArchiveRecordMatches(const char* path, const struct stat& st, XattrSupport& support) {
  char buffer[kArchiveRecordMax];
  const ssize_t length = getxattr(path, kArchiveXattr, buffer, sizeof buffer);
  if (length < 0) {
    if (errno == ENOTSUP) support = XattrSupport::Unsupported;
    return false;
  }
  ArchiveRecord record;
  if (!ParseArchiveRecord(std::string_view(buffer, static_cast<std::size_t>(length)), record)) return false;
  if (st.st_size < 0 || record.Size != static_cast<std::uint64_t>(st.st_size)) return false;
  if (record.MtimeSec != st.st_mtim.tv_sec || record.MtimeNsec != st.st_mtim.tv_nsec) return false;
  if (st.st_ctim.tv_sec != record.BoundSec) return st.st_ctim.tv_sec < record.BoundSec;
  return st.st_ctim.tv_nsec <= record.BoundNsec;
}

bool IsDotEntry(std::string_view name) { return name == "." || name == ".."; }

// Attributes that follow from the name and the stat data alone; the archive
// bit needs the extended attribute and is added by the caller.
std::uint32_t BaseAttributes(std::string_view name, const struct stat& st) {
  std::uint32_t attributes = 0;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  if (!name.empty() && name.front() == '.' && !IsDotEntry(name)) attributes |= kAttrHidden;
  if (S_ISDIR(st.st_mode)) {
    attributes |= kAttrDirectory;
  } else if (!S_ISREG(st.st_mode)) {
    // FIFOs, sockets and device nodes have no Win32 counterpart. Calling them
    // system keeps them out of searches that do not ask for system files, so
    // a burn does not block opening a FIFO or read a whole disk device.
    attributes |= kAttrSystem;
  }
  return attributes;
}

// Delphi's FindFirst: hidden, system, volume and directory entries are passed
// over unless the caller asked for them; read-only and archive never exclude.
bool ExcludedByMask(std::uint32_t attributes, std::uint32_t attrMask) {
  constexpr std::uint32_t kExcluding = kAttrHidden | kAttrSystem | kAttrVolumeId | kAttrDirectory;
  return (attributes & ~attrMask & kExcluding) != 0;
}

void FillFindData(std::string_view name, const struct stat& st, std::uint32_t attributes, FindData& out) {
  out.Name.assign(name);
  out.AlternateName.clear();
  out.Size = (S_ISDIR(st.st_mode) || st.st_size < 0) ? 0 : static_cast<std::uint64_t>(st.st_size);
  out.Attributes = attributes;
  out.WriteTimeSec = st.st_mtim.tv_sec;
  out.WriteTimeNsec = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
  out.Device = static_cast<std::uint64_t>(st.st_dev);
  out.Inode = static_cast<std::uint64_t>(st.st_ino);
  out.Special = !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
  out.Mode = static_cast<std::uint32_t>(st.st_mode);
  out.Uid = static_cast<std::uint32_t>(st.st_uid);
  out.Gid = static_cast<std::uint32_t>(st.st_gid);
  out.AccessTimeSec = st.st_atim.tv_sec;
  out.ChangeTimeSec = st.st_ctim.tv_sec;
  out.LinkTarget.clear();
}

std::uint32_t FullAttributes(const char* path, std::string_view name, const struct stat& st) {
  std::uint32_t attributes = BaseAttributes(name, st);
  XattrSupport support = XattrSupport::Supported;
  if (S_ISREG(st.st_mode) && !ArchiveRecordMatches(path, st, support)) attributes |= kAttrArchive;
  return attributes;
}

bool HasWildcard(std::string_view mask) { return mask.find_first_of("*?") != std::string_view::npos; }

// The last component of a path, ignoring trailing separators.
std::string_view LastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (path == "/") return path;
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

struct FileFinder::Impl {
  DIR* Dir = nullptr;
  std::string Folder;  // ends with a separator, ready for appending a name
  std::string Mask;
  std::uint32_t AttrMask = 0;
  // Reused so that a long listing does not allocate per entry.
  std::string EntryName;
  std::string EntryPath;
  // Once a file system answers ENOTSUP, asking it again for each file is wasted work.
  bool XattrUnsupported = false;
  bool ArchiveLookup = true;
  bool KeepLinks = false;
  dev_t UnsupportedDevice = 0;

  ~Impl() { CloseDir(); }

  void CloseDir() {
    if (Dir != nullptr) closedir(Dir);
    Dir = nullptr;
  }
};

FileFinder::FileFinder() : FImpl(std::make_unique<Impl>()) {}

FileFinder::~FileFinder() = default;

bool FileFinder::FindFirst(const std::string& pattern, std::uint32_t attrMask, FindData& out) {
  Close();
  Impl& impl = *FImpl;
  const std::size_t slash = pattern.rfind('/');
  std::string folder;
  if (slash == std::string::npos) {
    folder = "./";
    impl.Mask = pattern;
  } else {
    folder = pattern.substr(0, slash + 1);
    impl.Mask = pattern.substr(slash + 1);
  }
  if (impl.Mask.empty()) return false;
  impl.AttrMask = attrMask;

  if (!HasWildcard(impl.Mask)) {
    // One named file: look it up directly. Callers add files one by one this
    // way, and scanning the folder each time would make that quadratic.
    struct stat st {};
    if (stat(pattern.c_str(), &st) != 0) return false;
    const std::uint32_t attributes = FullAttributes(pattern.c_str(), impl.Mask, st);
    if (ExcludedByMask(attributes, attrMask)) return false;
    FillFindData(impl.Mask, st, attributes, out);
    return true;
  }

  impl.Dir = opendir(folder.c_str());
  if (impl.Dir == nullptr) return false;
  impl.Folder = std::move(folder);
  return FindNext(out);
}

void FileFinder::SetArchiveLookup(bool on) { FImpl->ArchiveLookup = on; }
void FileFinder::SetKeepLinks(bool on) { FImpl->KeepLinks = on; }

bool FileFinder::FindNext(FindData& out) {
  Impl& impl = *FImpl;
  if (impl.Dir == nullptr) return false;
  const int dirFd = dirfd(impl.Dir);
  while (const dirent* entry = readdir(impl.Dir)) {
    const std::string_view name(entry->d_name);
    impl.EntryName.assign(name);
    if (!MatchesMask(impl.EntryName, impl.Mask)) continue;
    struct stat st {};
    if (impl.KeepLinks && fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      std::string target(4096, '\0');
      const ssize_t n = readlinkat(dirFd, entry->d_name, target.data(), target.size());
      if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) continue;
      target.resize(static_cast<std::size_t>(n));
      const std::uint32_t linkAttributes = BaseAttributes(name, st) & ~kAttrSystem;
      if (ExcludedByMask(linkAttributes, impl.AttrMask)) continue;
      FillFindData(name, st, linkAttributes, out);
      out.Size = 0;
      out.Special = false;
      out.LinkTarget = std::move(target);
      return true;
    }
    if (fstatat(dirFd, entry->d_name, &st, 0) != 0) continue;  // dangling link, no permission, gone
    std::uint32_t attributes = BaseAttributes(name, st);
    if (ExcludedByMask(attributes, impl.AttrMask)) continue;
    if (S_ISREG(st.st_mode) && impl.ArchiveLookup) {
      bool changed = true;
      if (!impl.XattrUnsupported || st.st_dev != impl.UnsupportedDevice) {
        impl.EntryPath.assign(impl.Folder).append(name);
        XattrSupport support = XattrSupport::Supported;
        changed = !ArchiveRecordMatches(impl.EntryPath.c_str(), st, support);
        if (support == XattrSupport::Unsupported) {
          impl.XattrUnsupported = true;
          impl.UnsupportedDevice = st.st_dev;
        }
      }
      if (changed) attributes |= kAttrArchive;
    }
    FillFindData(name, st, attributes, out);
    return true;
  }
  // Give the descriptor back as soon as the listing ends; tree walks keep
  // many finders alive at once.
  impl.CloseDir();
  return false;
}

void FileFinder::Close() {
  FImpl->CloseDir();
  FImpl->Folder.clear();
  FImpl->Mask.clear();
  FImpl->XattrUnsupported = false;
}

bool GetFileInfo(const std::string& path, FindData& out) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return false;
  const std::string_view name = LastComponent(path);
  FillFindData(name, st, FullAttributes(path.c_str(), name, st), out);
  return true;
}

bool ClearArchiveAttribute(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  timespec now {};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  // Storing the record bumps ctime to about now; a second of slack covers the
  // coarse clock the file system stamps with.
  char record[kArchiveRecordMax];
  const int length = std::snprintf(record, sizeof record, "%.*s %llu %lld %lld %lld %lld",
                                   static_cast<int>(kArchiveVersion.size()), kArchiveVersion.data(),
                                   static_cast<unsigned long long>(st.st_size),
                                   static_cast<long long>(st.st_mtim.tv_sec),
                                   static_cast<long long>(st.st_mtim.tv_nsec),
                                   static_cast<long long>(now.tv_sec) + 1, static_cast<long long>(now.tv_nsec));
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof record) return false;
  return setxattr(path.c_str(), kArchiveXattr, record, static_cast<std::size_t>(length), 0) == 0;
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  if ((attributes & kAttrArchive) == 0) return ClearArchiveAttribute(path);
  if (removexattr(path.c_str(), kArchiveXattr) == 0) return true;
  // Without a record, or without extended attributes at all, the file
  // already counts as changed.
  return errno == ENODATA || errno == ENOTSUP;
}

bool IsValidFileName(const std::string&) { return true; }

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace platform
