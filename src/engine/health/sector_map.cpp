#include "engine/health/sector_map.h"

#include <charconv>

#include "platform/file_stream.h"

namespace health {

using base::ErrorKind;
using base::MakeError;

std::uint64_t SectorMap::UnreadableSectors() const {
  std::uint64_t n = 0;
  for (const auto& r : Unreadable) n += r.Count;
  return n;
}

std::string FormatSectorMap(const SectorMap& map) {
  std::string s = "# zantic sector map: unreadable 2048-byte sectors, zeros in the image\n";
  s += "# FIRST COUNT per range\n";
  s += "sectors " + std::to_string(map.Sectors) + "\n";
  for (const auto& r : map.Unreadable) s += std::to_string(r.Start) + " " + std::to_string(r.Count) + "\n";
  return s;
}

namespace {

bool Number(std::string_view& line, std::uint32_t& value) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  auto [p, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (ec != std::errc() || p == line.data()) return false;
  line.remove_prefix(static_cast<std::size_t>(p - line.data()));
  return true;
}

bool OnlySpace(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r') return false;
  return true;
}

}  // namespace

base::Result<SectorMap> ParseSectorMap(std::string_view text) {
  SectorMap map;
  bool sized = false;
  std::size_t lineNo = 0;
  const auto bad = [&lineNo](const std::string& why) {
    return MakeError(ErrorKind::InvalidData, "sector map line " + std::to_string(lineNo) + ": " + why);
  };
  while (!text.empty()) {
    const auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++lineNo;
    if (OnlySpace(line) || line.front() == '#') continue;
    if (line.rfind("sectors", 0) == 0) {
      line.remove_prefix(7);
      if (sized || !Number(line, map.Sectors) || !OnlySpace(line)) return bad("expected \"sectors N\" once");
      sized = true;
      continue;
    }
    if (!sized) return bad("\"sectors N\" must come first");
    SectorRange r;
    if (!Number(line, r.Start) || !Number(line, r.Count) || !OnlySpace(line)) return bad("expected FIRST COUNT");
    if (r.Count == 0 || r.End() > map.Sectors) return bad("range outside the image");
    if (!map.Unreadable.empty() && r.Start < map.Unreadable.back().End()) return bad("ranges out of order");
    if (map.Unreadable.size() >= kMaxMapRanges) return bad("too many ranges");
    if (!map.Unreadable.empty() && r.Start == map.Unreadable.back().End())
      map.Unreadable.back().Count += r.Count;  // touching ranges are one
    else
      map.Unreadable.push_back(r);
  }
  if (!sized) return MakeError(ErrorKind::InvalidData, "sector map without \"sectors N\"");
  return map;
}

base::Result<SectorMap> LoadSectorMap(const std::string& path) {
  auto f = platform::FileStream::Open(path, platform::OpenMode::Read);
  if (!f) return MakeError(ErrorKind::System, "cannot open " + path + ": " + f.Err().Message);
  const std::int64_t size = f.Value().Size();
  if (size < 0 || static_cast<std::uint64_t>(size) > kMaxMapBytes)
    return MakeError(ErrorKind::InvalidData, path + ": not a sector map (too large)");
  std::string text(static_cast<std::size_t>(size), '\0');
  if (f.Value().Read(text.data(), text.size()) != size) return MakeError(ErrorKind::System, "cannot read " + path);
  auto parsed = ParseSectorMap(text);
  if (!parsed) return MakeError(ErrorKind::InvalidData, path + ": " + parsed.Err().Message);
  return parsed;
}

base::Status SaveSectorMap(const std::string& path, const SectorMap& map) {
  std::string temporary = path + ".new";
  {
    // Never through a link someone left under the temporary name.
    auto f = platform::FileStream::CreateTempBeside(path, temporary, ".new");
    if (!f) return MakeError(ErrorKind::System, "cannot write " + temporary + ": " + f.Err().Message);
    const std::string text = FormatSectorMap(map);
    if (auto st = f.Value().Write(text.data(), text.size()); !st || !f.Value().Sync()) {
      f.Value().Close();
      platform::RemoveFile(temporary);
      return MakeError(ErrorKind::System, "cannot write " + temporary);
    }
  }
  if (auto st = platform::RenameFile(temporary, path); !st) {
    platform::RemoveFile(temporary);
    return st;
  }
  return base::Ok();
}

void AppendSector(std::vector<SectorRange>& ranges, std::uint32_t lba) {
  if (!ranges.empty() && ranges.back().End() == lba) {
    ++ranges.back().Count;
    return;
  }
  ranges.push_back({lba, 1});
}

}  // namespace health
