#pragma once
// The checksum file in the root of a burned session: one line per file,
// "HEX  PATH", as sha256sum writes and reads it. PATH is relative to the
// session root with "/" between folders; a name holding "\" or a line
// break is escaped and the line starts with "\", as sha256sum does.
// Read back from a disc, it is untrusted: lines whose path would leave the
// session (absolute, "..", drive letters) or that are malformed are set
// aside with a reason, never followed.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/sha256.h"

namespace health {

// "~" sorts after letters and digits in both name trees; the ISO 9660 name
// the add rules derive from it starts with "_", which sorts last there too.
inline constexpr const char* kChecksumFileName = "~zantic.sha256";

// Longer paths are set aside: the file tree reader goes 64 folders deep,
// and a name has at most 255 bytes.
inline constexpr std::size_t kMaxChecksumPath = 65 * 256;
// A line of the longest path with every byte escaped: "\", the digest, two
// spaces and the path. Longer lines are set aside.
inline constexpr std::size_t kMaxChecksumLine = 1 + 64 + 2 + 2 * kMaxChecksumPath;
// A checksum file larger than this is not read (read test only).
inline constexpr std::uint64_t kMaxChecksumFileBytes = 64ull << 20;

// Reads back as `path` whenever the path is no longer than kMaxChecksumPath.
std::string ChecksumLine(const std::string& hexDigest, const std::string& path);

struct ChecksumList {
  std::unordered_map<std::string, std::string> ByPath;  // normalized path -> lower-case hex
  std::vector<std::string> Order;                        // paths in file order
  std::vector<std::string> SetAside;                     // "line N: reason"
  // Lines set aside without a path that can be told (malformed, too long):
  // any file not listed may be the one such a line was for.
  std::size_t Unattributed = 0;
};

ChecksumList ParseChecksumFile(std::string_view text);

// A file's path as other readers show it: the add rules give a name
// without an extension a trailing ".", which they drop.
std::string PeerPath(std::string path);

// A relative path without ".", "..", empty parts or a leading "/"; empty
// when the path is unsafe or unusable.
std::string NormalizeDiscPath(std::string_view path);

}  // namespace health
