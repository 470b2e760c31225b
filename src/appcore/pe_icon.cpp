#include "appcore/pe_icon.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "platform/file_stream.h"

namespace appcore {
namespace {

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kNameBit = 0x80000000u;
constexpr std::uint16_t kMaxSections = 96;

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

struct Section {
  std::uint32_t VirtualAddress = 0;
  std::uint32_t VirtualSize = 0;
  std::uint32_t RawSize = 0;
  std::uint32_t RawOffset = 0;
};

class PeReader {
 public:
  PeReader(std::uint64_t size, const PeByteReader& read) : FSize(size), FRead(read) {}

  PeIconGroup Run() {
    PeIconGroup g;
    if (std::string why = ReadHeaders(); !why.empty()) {
      g.Error = why;
      return g;
    }
    g.Status = PeIconStatus::NoIcon;
    if (FResourceRva == 0 || FResourceSize == 0) {
      g.Error = "The file holds no resources.";
      return g;
    }
    // Level 1: the type; level 2: the first group; level 3: its first language.
    const auto groups = FindChild(FResourceOffset, kRtGroupIcon, true);
    if (!groups) {
      g.Error = FBroken.empty() ? "The file holds no icon." : FBroken;
      if (!FBroken.empty()) g.Status = PeIconStatus::NotExecutable;
      return g;
    }
    const auto group = FirstChild(*groups, true);
    const auto groupLang = group ? FirstChild(*group, false) : std::nullopt;
    const auto groupData = groupLang ? DataOf(*groupLang) : std::nullopt;
    if (!groupData) return Broken(g, "The icon group of the file is damaged.");
    const std::vector<std::uint8_t>& dir = *groupData;
    if (dir.size() < 6 || Le16(dir.data()) != 0 || Le16(dir.data() + 2) != 1)
      return Broken(g, "The icon group of the file is damaged.");
    const std::size_t count = std::min<std::size_t>(Le16(dir.data() + 4), (dir.size() - 6) / 14);
    const auto icons = FindChild(FResourceOffset, kRtIcon, true);
    for (std::size_t i = 0; i < count && g.Images.size() < kMaxIconsInGroup && icons; ++i) {
      const std::uint8_t* e = dir.data() + 6 + i * 14;
      const auto icon = FindChild(*icons, Le16(e + 12), true);
      const auto lang = icon ? FirstChild(*icon, false) : std::nullopt;
      auto data = lang ? DataOf(*lang) : std::nullopt;
      if (!data || data->size() < 8) continue;  // a picture that is missing or unreadable is left out
      PeIconImage image;
      image.Width = e[0] == 0 ? 256 : e[0];
      image.Height = e[1] == 0 ? 256 : e[1];
      image.ColorCount = e[2];
      image.Planes = Le16(e + 4);
      image.BitCount = Le16(e + 6);
      image.Data = std::move(*data);
      g.Images.push_back(std::move(image));
    }
    if (g.Images.empty()) return Broken(g, "The icon pictures of the file are missing or damaged.");
    g.Status = PeIconStatus::Ok;
    g.Error.clear();
    return g;
  }

 private:
  static PeIconGroup& Broken(PeIconGroup& g, const char* why) {
    g.Status = PeIconStatus::NotExecutable;
    g.Error = why;
    g.Images.clear();
    return g;
  }

  bool Read(std::uint64_t offset, std::size_t length, std::uint8_t* out) const {
    if (offset > FSize || length > FSize - offset) return false;
    return FRead(offset, length, out);
  }

  std::string ReadHeaders() {
    std::array<std::uint8_t, 64> dos{};
    if (!Read(0, dos.size(), dos.data()) || dos[0] != 'M' || dos[1] != 'Z')
      return "The file is not a Windows executable.";
    const std::uint32_t peAt = Le32(dos.data() + 0x3C);
    std::array<std::uint8_t, 24> pe{};
    if (!Read(peAt, pe.size(), pe.data()) || std::memcmp(pe.data(), "PE\0\0", 4) != 0)
      return "The file is not a Windows executable (no PE header).";
    const std::uint16_t sections = Le16(pe.data() + 6);
    const std::uint16_t optionalSize = Le16(pe.data() + 20);
    std::vector<std::uint8_t> opt(optionalSize);
    if (optionalSize < 2 || !Read(std::uint64_t{peAt} + 24, opt.size(), opt.data()))
      return "The executable's headers are damaged.";
    const std::uint16_t magic = Le16(opt.data());
    std::size_t countAt = 0;
    if (magic == 0x10B) countAt = 92;        // PE32
    else if (magic == 0x20B) countAt = 108;  // PE32+
    else return "The executable's headers are damaged.";
    const std::size_t dirsAt = countAt + 4;
    // The resource table is data directory 2.
    if (opt.size() >= dirsAt && Le32(opt.data() + countAt) > 2 && opt.size() >= dirsAt + 3 * 8) {
      FResourceRva = Le32(opt.data() + dirsAt + 16);
      FResourceSize = Le32(opt.data() + dirsAt + 20);
    }
    // The Windows loader refuses more; a crafted count would cost 65,535 reads.
    if (sections > kMaxSections) return "The executable's section table is damaged.";
    const std::uint64_t tableAt = std::uint64_t{peAt} + 24 + optionalSize;
    for (std::uint16_t i = 0; i < sections; ++i) {
      std::array<std::uint8_t, 40> s{};
      if (!Read(tableAt + std::uint64_t{i} * 40, s.size(), s.data())) return "The executable's section table is damaged.";
      FSections.push_back(Section{Le32(s.data() + 12), Le32(s.data() + 8), Le32(s.data() + 16), Le32(s.data() + 20)});
    }
    if (FResourceRva != 0) {
      const auto at = FileOffset(FResourceRva, 16);
      if (!at) return "The executable's resource table lies outside the file.";
      FResourceOffset = *at;
    }
    return {};
  }

  // Where `length` bytes at `rva` lie in the file, all inside one section's raw data.
  std::optional<std::uint64_t> FileOffset(std::uint32_t rva, std::uint64_t length) const {
    for (const Section& s : FSections) {
      const std::uint64_t span = std::min<std::uint64_t>(s.RawSize, s.VirtualSize != 0 ? s.VirtualSize : s.RawSize);
      if (rva < s.VirtualAddress) continue;
      const std::uint64_t into = rva - s.VirtualAddress;
      if (into > span || length > span - into) continue;
      const std::uint64_t at = std::uint64_t{s.RawOffset} + into;
      if (at > FSize || length > FSize - at) return std::nullopt;
      return at;
    }
    return std::nullopt;
  }

  // An offset into the resource section, kept inside it.
  std::optional<std::uint64_t> ResourceAt(std::uint32_t offset, std::uint64_t length) const {
    if (offset > FResourceSize || length > FResourceSize - offset) return std::nullopt;
    return FResourceOffset + offset;
  }

  struct Entry {
    std::uint32_t Id = 0;
    std::uint32_t Target = 0;
  };

  // The entries of the directory at a file offset; empty, with FBroken set, when it is damaged.
  std::vector<Entry> Entries(std::uint64_t at) {
    std::array<std::uint8_t, 16> head{};
    if (!Read(at, head.size(), head.data())) {
      FBroken = "The executable's resource table is damaged.";
      return {};
    }
    const std::uint32_t n = std::min<std::uint32_t>(std::uint32_t{Le16(head.data() + 12)} + Le16(head.data() + 14),
                                                    kMaxResourceEntries);
    std::vector<std::uint8_t> raw(std::size_t{n} * 8);
    if (n == 0) return {};
    if (at + 16 + raw.size() > FResourceOffset + FResourceSize || !Read(at + 16, raw.size(), raw.data())) {
      FBroken = "The executable's resource table is damaged.";
      return {};
    }
    std::vector<Entry> out(n);
    for (std::uint32_t i = 0; i < n; ++i) out[i] = Entry{Le32(raw.data() + i * 8), Le32(raw.data() + i * 8 + 4)};
    return out;
  }

  // The subdirectory (or data entry) of the entry with the given id.
  std::optional<std::uint64_t> FindChild(std::uint64_t dirAt, std::uint32_t id, bool wantDirectory) {
    for (const Entry& e : Entries(dirAt)) {
      if ((e.Id & kNameBit) != 0 || e.Id != id) continue;
      return Follow(e, wantDirectory);
    }
    return std::nullopt;
  }

  std::optional<std::uint64_t> FirstChild(std::uint64_t dirAt, bool wantDirectory) {
    const auto entries = Entries(dirAt);
    if (entries.empty()) return std::nullopt;
    return Follow(entries.front(), wantDirectory);
  }

  // Directories only point down to the fixed next level; a loop back up
  // cannot happen because the walk never goes deeper than three.
  std::optional<std::uint64_t> Follow(const Entry& e, bool wantDirectory) {
    const bool isDirectory = (e.Target & kSubdirectoryBit) != 0;
    if (isDirectory != wantDirectory) {
      FBroken = "The executable's resource table is damaged.";
      return std::nullopt;
    }
    const auto at = ResourceAt(e.Target & ~kSubdirectoryBit, 16);
    if (!at) FBroken = "The executable's resource table is damaged.";
    return at;
  }

  std::optional<std::vector<std::uint8_t>> DataOf(std::uint64_t dataEntryAt) {
    std::array<std::uint8_t, 16> d{};
    if (!Read(dataEntryAt, d.size(), d.data())) return std::nullopt;
    const std::uint32_t rva = Le32(d.data());
    const std::uint32_t size = Le32(d.data() + 4);
    if (size == 0 || size > kMaxIconBytes) return std::nullopt;
    const auto at = FileOffset(rva, size);
    if (!at) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (!Read(*at, bytes.size(), bytes.data())) return std::nullopt;
    return bytes;
  }

  std::uint64_t FSize;
  const PeByteReader& FRead;
  std::vector<Section> FSections;
  std::uint32_t FResourceRva = 0;
  std::uint32_t FResourceSize = 0;
  std::uint64_t FResourceOffset = 0;
  std::string FBroken;
};

}  // namespace

bool PeIconImage::IsPng() const {
  static constexpr std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return Data.size() >= 8 && std::memcmp(Data.data(), kPng, 8) == 0;
}

PeIconGroup FirstIconGroup(std::uint64_t fileSize, const PeByteReader& read) {
  return PeReader(fileSize, read).Run();
}

PeIconGroup FirstIconGroup(std::span<const std::uint8_t> file) {
  return FirstIconGroup(file.size(), [file](std::uint64_t offset, std::size_t length, std::uint8_t* out) {
    if (offset > file.size() || length > file.size() - offset) return false;
    std::memcpy(out, file.data() + offset, length);
    return true;
  });
}

PeIconGroup FirstIconGroupOfFile(const std::string& path) {
  auto opened = platform::FileStream::Open(path, platform::OpenMode::Read);
  if (!opened) {
    PeIconGroup g;
    g.Error = "The file cannot be opened: " + path;
    return g;
  }
  platform::FileStream& file = opened.Value();
  const std::int64_t size = file.Size();
  if (size <= 0) {
    PeIconGroup g;
    g.Error = "The file is not a Windows executable.";
    return g;
  }
  return FirstIconGroup(static_cast<std::uint64_t>(size), [&file](std::uint64_t offset, std::size_t length, std::uint8_t* out) {
    if (!file.Seek(offset)) return false;
    return file.Read(out, length) == static_cast<std::int64_t>(length);
  });
}

int ClosestIcon(const std::vector<PeIconImage>& images, std::uint32_t size) {
  int best = -1;
  std::uint64_t bestDistance = 0;
  std::uint32_t bestDepth = 0;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const auto& im = images[i];
    const std::uint64_t d = (im.Width > size ? im.Width - size : size - im.Width) +
                            std::uint64_t{im.Height > size ? im.Height - size : size - im.Height};
    const std::uint32_t depth = im.IsPng() ? 32 : im.BitCount;
    if (best < 0 || d < bestDistance || (d == bestDistance && depth > bestDepth)) {
      best = static_cast<int>(i);
      bestDistance = d;
      bestDepth = depth;
    }
  }
  return best;
}

std::vector<std::uint8_t> BuildIcoFile(const std::vector<PeIconImage>& images) {
  std::vector<std::uint8_t> out;
  auto put16 = [&out](std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  put16(0);
  put16(1);
  put16(static_cast<std::uint32_t>(images.size()));
  std::uint32_t at = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (const auto& im : images) {
    out.push_back(static_cast<std::uint8_t>(im.Width >= 256 ? 0 : im.Width));
    out.push_back(static_cast<std::uint8_t>(im.Height >= 256 ? 0 : im.Height));
    out.push_back(im.ColorCount);
    out.push_back(0);
    put16(im.Planes);
    put16(im.BitCount);
    put32(static_cast<std::uint32_t>(im.Data.size()));
    put32(at);
    at += static_cast<std::uint32_t>(im.Data.size());
  }
  for (const auto& im : images) out.insert(out.end(), im.Data.begin(), im.Data.end());
  return out;
}

}  // namespace appcore
