#include "engine/health/checksum_file.h"

#include <cctype>

namespace health {

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// sha256sum's escapes: "\\", "\n" and "\r"; false on any other.
bool Unescape(std::string_view in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out += in[i];
      continue;
    }
    if (++i == in.size()) return false;
    if (in[i] == '\\') out += '\\';
    else if (in[i] == 'n') out += '\n';
    else if (in[i] == 'r') out += '\r';
    else return false;
  }
  return true;
}

}  // namespace

std::string ChecksumLine(const std::string& hexDigest, const std::string& path) {
  if (path.find_first_of("\\\n\r") == std::string::npos) return hexDigest + "  " + path + "\n";
  std::string escaped;
  for (char c : path) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '\n') escaped += "\\n";
    else if (c == '\r') escaped += "\\r";
    else escaped += c;
  }
  return "\\" + hexDigest + "  " + escaped + "\n";
}

std::string PeerPath(std::string path) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (path.size() > nameStart + 1 && path.back() == '.') path.pop_back();
  return path;
}

std::string NormalizeDiscPath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos) return {};
  // A drive letter never names a file inside a session; a colon elsewhere
  // is an ordinary character of a name there.
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path.front()))) return {};
  std::string out;
  while (!path.empty()) {
    const auto cut = path.find('/');
    const std::string_view part = path.substr(0, cut);
    path.remove_prefix(cut == std::string_view::npos ? path.size() : cut + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") return {};
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

ChecksumList ParseChecksumFile(std::string_view text) {
  ChecksumList list;
  std::size_t number = 0;
  std::string path;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++number;
    const auto aside = [&](const char* why, bool attributed = false) {
      list.SetAside.push_back("line " + std::to_string(number) + ": " + why);
      if (!attributed) ++list.Unattributed;
    };
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (line.size() > kMaxChecksumLine) {
      aside("too long");
      continue;
    }
    const bool escaped = line.front() == '\\';
    if (escaped) line.remove_prefix(1);
    if (line.size() < 66 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) {
      aside("not \"SHA-256  PATH\"");
      continue;
    }
    bool hex = true;
    for (std::size_t i = 0; i < 64; ++i) hex = hex && IsHex(line[i]);
    if (!hex) {
      aside("not a SHA-256 in hexadecimal");
      continue;
    }
    if (escaped ? !Unescape(line.substr(66), path) : (path.assign(line.substr(66)), false)) {
      aside("bad escape");
      continue;
    }
    // Escaped again when written, a longer path would not fit in a line.
    if (path.size() > kMaxChecksumPath) {
      aside("path too long", true);
      continue;
    }
    const std::string normal = NormalizeDiscPath(path);
    if (normal.empty()) {
      aside("path leaves the session or is empty", !path.empty());
      continue;
    }
    std::string digest(line.substr(0, 64));
    for (char& c : digest)
      if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (list.ByPath.emplace(normal, digest).second) list.Order.push_back(normal);
    else aside("path listed twice", true);
  }
  return list;
}

}  // namespace health
