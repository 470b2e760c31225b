#include "support/iso_reader.h"

#include <set>
#include <stdexcept>

#include "support/temp_dir.h"

namespace testsupport::isoread {
namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("iso reader: " + what); }

void Need(Bytes b, std::size_t at, std::size_t n, const char* what) {
  if (at > b.size() || b.size() - at < n)
    Fail(std::string(what) + " at " + std::to_string(at) + " runs past " + std::to_string(b.size()) + " bytes");
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::uint16_t Le16(Bytes b, std::size_t at) {
  Need(b, at, 2, "16-bit field");
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Le32(Bytes b, std::size_t at) {
  Need(b, at, 4, "32-bit field");
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}

std::uint16_t Be16(Bytes b, std::size_t at) {
  Need(b, at, 2, "16-bit field");
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

std::uint32_t Be32(Bytes b, std::size_t at) {
  Need(b, at, 4, "32-bit field");
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 |
         std::uint32_t{b[at + 3]};
}

std::uint16_t Both16(Bytes b, std::size_t at) {
  const auto le = Le16(b, at);
  const auto be = Be16(b, at + 2);
  if (le != be) Fail("both-endian 16-bit field at " + std::to_string(at) + ": " + std::to_string(le) + " vs " +
                     std::to_string(be));
  return le;
}

std::uint32_t Both32(Bytes b, std::size_t at) {
  const auto le = Le32(b, at);
  const auto be = Be32(b, at + 4);
  if (le != be) Fail("both-endian 32-bit field at " + std::to_string(at) + ": " + std::to_string(le) + " vs " +
                     std::to_string(be));
  return le;
}

std::string Text(Bytes b, std::size_t at, std::size_t length) {
  Need(b, at, length, "text field");
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                     b.begin() + static_cast<std::ptrdiff_t>(at + length));
}

std::string Ucs2BeToUtf8(Bytes b) {
  if (b.size() % 2 != 0) Fail("UCS-2 text of odd length " + std::to_string(b.size()));
  std::string out;
  for (std::size_t i = 0; i < b.size(); i += 2) {
    char32_t u = Be16(b, i);
    if (u >= 0xD800 && u < 0xDC00 && i + 2 < b.size()) {
      const char32_t low = Be16(b, i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, u);
  }
  return out;
}

std::string DirRecord::Name(bool joliet) const {
  if (IsDot()) return ".";
  if (IsDotDot()) return "..";
  return joliet ? Ucs2BeToUtf8(Id) : std::string(Id.begin(), Id.end());
}

DirRecord ParseDirRecord(Bytes b, std::size_t at) {
  Need(b, at, 33, "directory record");
  DirRecord r;
  r.Offset = at;
  r.Length = b[at];
  r.ExtAttrLength = b[at + 1];
  r.Extent = Both32(b, at + 2);
  r.DataLength = Both32(b, at + 10);
  for (std::size_t i = 0; i < 7; ++i) r.Date[i] = b[at + 18 + i];
  r.Flags = b[at + 25];
  r.FileUnitSize = b[at + 26];
  r.InterleaveGap = b[at + 27];
  r.VolumeSequence = Both16(b, at + 28);
  const std::size_t n = b[at + 32];
  if (r.Length < 33 + n) Fail("record at " + std::to_string(at) + " shorter than its identifier");
  Need(b, at, r.Length, "directory record");
  r.Id.assign(b.begin() + static_cast<std::ptrdiff_t>(at + 33), b.begin() + static_cast<std::ptrdiff_t>(at + 33 + n));
  r.Padded = r.Length > 33 + n;
  return r;
}

VolumeDescriptor ParseVolumeDescriptor(Bytes sector) {
  Need(sector, 0, kSector, "volume descriptor");
  VolumeDescriptor d;
  d.Raw.assign(sector.begin(), sector.begin() + kSector);
  d.Type = sector[0];
  d.StandardId = Text(sector, 1, 5);
  d.Version = sector[6];
  if (d.Type != 1 && d.Type != 2) return d;
  d.VolumeSpaceSize = Both32(sector, 80);
  d.VolumeSetSize = Both16(sector, 120);
  d.VolumeSequence = Both16(sector, 124);
  d.BlockSize = Both16(sector, 128);
  d.PathTableSize = Both32(sector, 132);
  d.LPath = Le32(sector, 140);
  d.LPathOptional = Le32(sector, 144);
  d.MPath = Be32(sector, 148);
  d.MPathOptional = Be32(sector, 152);
  d.Root = ParseDirRecord(sector.subspan(156, 34), 0);
  return d;
}

std::vector<PathRecord> ParsePathTable(Bytes table, bool bigEndian) {
  std::vector<PathRecord> out;
  std::size_t at = 0;
  while (at < table.size()) {
    Need(table, at, 8, "path table record");
    PathRecord r;
    r.Offset = at;
    r.IdLength = table[at];
    if (r.IdLength == 0) Fail("path table record with an empty identifier at " + std::to_string(at));
    r.ExtAttrLength = table[at + 1];
    r.Extent = bigEndian ? Be32(table, at + 2) : Le32(table, at + 2);
    r.Parent = bigEndian ? Be16(table, at + 6) : Le16(table, at + 6);
    Need(table, at + 8, r.IdLength, "path table identifier");
    r.Id.assign(table.begin() + static_cast<std::ptrdiff_t>(at + 8),
                table.begin() + static_cast<std::ptrdiff_t>(at + 8 + r.IdLength));
    at += 8u + r.IdLength + r.IdLength % 2u;
    out.push_back(std::move(r));
  }
  if (at != table.size()) Fail("path table size does not end on a record");
  return out;
}

Image::Image(std::vector<std::uint8_t> bytes, std::uint32_t firstSector)
    : FBytes(std::move(bytes)), FFirst(firstSector) {}

Image Image::FromFile(const std::string& path) { return Image(ReadAll(path)); }

Bytes Image::At(std::uint64_t sector, std::uint64_t length) const {
  if (sector < FFirst) Fail("sector " + std::to_string(sector) + " lies before the image");
  const std::uint64_t at = (sector - FFirst) * kSector;
  if (at > FBytes.size() || FBytes.size() - at < length)
    Fail(std::to_string(length) + " bytes at sector " + std::to_string(sector) + " run past the image");
  return Bytes(FBytes).subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(length));
}

std::vector<VolumeDescriptor> Image::Descriptors() const {
  std::vector<VolumeDescriptor> out;
  for (std::uint64_t s = FFirst + 16;; ++s) {
    out.push_back(ParseVolumeDescriptor(Sector(s)));
    if (out.back().StandardId != "CD001") Fail("no CD001 at sector " + std::to_string(s));
    if (out.back().Type == 0xFF) return out;
    if (out.size() > 32) Fail("no terminator");
  }
}

std::vector<DirRecord> Image::Directory(std::uint32_t extent, std::uint32_t size) const {
  if (size % kSector != 0) Fail("directory size " + std::to_string(size) + " is not whole sectors");
  const Bytes dir = At(extent, size);
  std::vector<DirRecord> out;
  std::size_t at = 0;
  while (at < dir.size()) {
    if (dir[at] == 0) {  // the rest of this sector is unused
      at = (at / kSector + 1) * kSector;
      continue;
    }
    DirRecord r = ParseDirRecord(dir, at);
    if (at % kSector + r.Length > kSector) Fail("record at " + std::to_string(at) + " crosses a sector boundary");
    at += r.Length;
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<PathRecord> Image::PathTable(std::uint32_t sector, std::uint32_t size, bool bigEndian) const {
  return ParsePathTable(At(sector, size), bigEndian);
}

std::vector<Image::Entry> Image::Tree(const DirRecord& root, bool joliet) const {
  std::vector<Entry> out;
  std::set<std::uint32_t> visited;
  struct Pending {
    std::string Prefix;
    DirRecord Dir;
  };
  std::vector<Pending> stack{{"", root}};
  while (!stack.empty()) {
    Pending p = std::move(stack.back());
    stack.pop_back();
    if (!visited.insert(p.Dir.Extent).second) Fail("directory at " + std::to_string(p.Dir.Extent) + " reached twice");
    std::vector<Pending> subdirs;
    for (const DirRecord& r : Directory(p.Dir.Extent, p.Dir.DataLength)) {
      if (r.IsDot() || r.IsDotDot()) continue;
      const std::string path = p.Prefix + r.Name(joliet);
      out.push_back({path, r});
      if (r.IsDirectory()) subdirs.push_back({path + "/", r});
    }
    // Subdirectories in recorded order: push in reverse.
    for (auto it = subdirs.rbegin(); it != subdirs.rend(); ++it) stack.push_back(std::move(*it));
  }
  return out;
}

}  // namespace testsupport::isoread
