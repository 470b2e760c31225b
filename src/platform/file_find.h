#pragma once
// Directory listing with find-first/next semantics, file attributes in the
// Win32 layout, and the archive attribute.
//
// On Windows these are the file system's own: the 8.3 alias it gives (none
// for a name that is already a valid 8.3 name), the native attributes, and
// links followed to what they point at.
//
// On Linux there is no 8.3 alias (AlternateName stays empty). Attributes are
// derived: read-only when the owner cannot write, hidden when the name starts
// with ".", directory, system for FIFOs, sockets and device nodes, and
// archive (regular files only) meaning "changed since the last archive
// burn": a file is archive-flagged unless an extended attribute recorded at
// the last ClearArchiveAttribute still matches its size and times. Where
// extended attributes are unsupported every file counts as changed.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrVolumeId = 0x08;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrAnyFile = 0x3F;

// The native path separator ("/" on Linux, "\" on Windows); compilation
// paths inside the engine always use "\".
extern const char kPathSeparator;
// Whether the system takes `c` between path components: "/" on Linux, "\"
// and "/" on Windows.
bool IsPathSeparator(char c);

struct FindData {
  std::string Name;           // long name
  std::string AlternateName;  // 8.3 alias; empty where the file system has none
  std::uint64_t Size = 0;     // full 64-bit size; 0 for directories
  std::uint32_t Attributes = 0;
  std::int64_t WriteTimeSec = 0;  // last write, seconds since 1970-01-01 UTC
  std::int32_t WriteTimeNsec = 0;
  // Identity of the object (after following links), so that callers walking a
  // tree can detect a folder that contains itself. 0 where unknown.
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  // Neither a regular file nor a directory (FIFO, socket, device node):
  // reading one could block or never end.
  bool Special = false;
  // POSIX attributes where the system has them (0 elsewhere): mode with its
  // type bits, owner, group, last access and status change.
  std::uint32_t Mode = 0;
  std::uint32_t Uid = 0;
  std::uint32_t Gid = 0;
  std::int64_t AccessTimeSec = 0;
  std::int64_t ChangeTimeSec = 0;
  // A symbolic link found by a finder that keeps links: what it points to.
  // Such an entry is neither a directory nor special, and has size 0.
  std::string LinkTarget;
};

// Win32 file-mask matching: "*" and "?" wildcards, case-insensitive (ASCII);
// "*.*" and "*" match every name, including names without a dot, and a
// trailing ".*" also matches a name without a dot ("readme.*" finds "readme").
bool MatchesMask(const std::string& name, const std::string& mask);

// One search at a time, as FindFirstFile/FindNextFile. The pattern is a
// folder, a separator and a mask ("/data/docs/*.*", "/data/a.txt"). Entries
// are returned in the order the file system lists them; "." and ".." are
// returned too, as on Windows. The attribute mask has the Delphi FindFirst
// meaning: entries with the hidden, system or directory attribute are passed
// over unless that attribute is in the mask. Entries that cannot be examined
// (dangling links, no permission) are passed over.
class FileFinder {
 public:
  FileFinder();
  ~FileFinder();
  FileFinder(const FileFinder&) = delete;
  FileFinder& operator=(const FileFinder&) = delete;

  // Working out the archive attribute costs a look at each file's extended
  // attributes; callers that do not use it can switch it off (the bit then
  // reads clear).
  void SetArchiveLookup(bool on);
  // Symbolic links are followed unless this is switched on; then they are
  // listed as links, with their target (on Windows always followed).
  void SetKeepLinks(bool on);

  bool FindFirst(const std::string& pattern, std::uint32_t attrMask, FindData& out);
  bool FindNext(FindData& out);
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
};

// Examines one path (links followed). Name is the last path component.
bool GetFileInfo(const std::string& path, FindData& out);

// Records the file's current state so that its archive attribute reads clear
// until the file changes again. False when the attribute could not be stored.
bool ClearArchiveAttribute(const std::string& path);

// Applies Win32 attributes to a file (on Windows the bits a program may
// set). Only the archive bit is acted upon on Linux (set: forget the record;
// clear: ClearArchiveAttribute); permissions and names are left as the user
// keeps them.
bool SetFileAttributes(const std::string& path, std::uint32_t attributes);

// Whether a name from elsewhere (a disc) can be a file's own name here and
// still mean that file: on Windows not a device name (CON, NUL, COM1.txt),
// no trailing dot or blank (dropped by the system), none of <>:"|?*, no
// control characters. Linux takes every name the caller has not refused.
bool IsValidFileName(const std::string& name);

bool IsDirectory(const std::string& path);
bool FileExists(const std::string& path);  // a regular file (links followed)

}  // namespace platform
