#include "support/pe_builder.h"

namespace testsupport {
namespace {

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::size_t kSectionFileOffset = 0x200;

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// An IMAGE_RESOURCE_DIRECTORY of `count` id entries; returns its offset.
std::size_t Directory(std::vector<std::uint8_t>& r, std::size_t count) {
  const std::size_t at = r.size();
  r.resize(at + 16 + count * 8);
  Put16(r, at + 14, static_cast<std::uint32_t>(count));
  return at;
}
void Entry(std::vector<std::uint8_t>& r, std::size_t dir, std::size_t index, std::uint32_t id, std::uint32_t target) {
  Put32(r, dir + 16 + index * 8, id);
  Put32(r, dir + 20 + index * 8, target);
}
// A language directory with one data entry for `data`.
std::size_t Leaf(std::vector<std::uint8_t>& r, const std::vector<std::uint8_t>& data, std::size_t* dataAt = nullptr) {
  const std::size_t lang = Directory(r, 1);
  const std::size_t entry = r.size();
  r.resize(entry + 16);
  Entry(r, lang, 0, 0x409, static_cast<std::uint32_t>(entry));
  while (r.size() % 4 != 0) r.push_back(0);
  const std::size_t at = r.size();
  r.insert(r.end(), data.begin(), data.end());
  Put32(r, entry, kSectionRva + static_cast<std::uint32_t>(at));
  Put32(r, entry + 4, static_cast<std::uint32_t>(data.size()));
  if (dataAt != nullptr) *dataAt = at;
  return lang;
}

}  // namespace

std::vector<std::uint8_t> IconDib(std::uint32_t size, std::uint32_t bgra) {
  std::vector<std::uint8_t> d(40 + size * size * 4 + size * ((size + 31) / 32 * 4), 0);
  Put32(d, 0, 40);
  Put32(d, 4, size);
  Put32(d, 8, size * 2);
  Put16(d, 12, 1);
  Put16(d, 14, 32);
  for (std::uint32_t i = 0; i < size * size; ++i) Put32(d, 40 + i * 4, bgra);
  return d;
}

PeImage BuildPe(const PeRecipe& recipe) {
  // The resource section.
  std::vector<std::uint8_t> r;
  std::size_t groupAt = 0;
  if (recipe.WithResources) {
    const std::size_t root = Directory(r, recipe.WithGroup ? 2 : 1);
    const std::size_t icons = Directory(r, recipe.Icons.size());
    Entry(r, root, 0, 3, 0x80000000u | static_cast<std::uint32_t>(icons));
    for (std::size_t i = 0; i < recipe.Icons.size(); ++i) {
      const std::size_t leaf = Leaf(r, recipe.Icons[i].Data);
      Entry(r, icons, i, recipe.Icons[i].Id, 0x80000000u | static_cast<std::uint32_t>(leaf));
    }
    if (recipe.WithGroup) {
      std::vector<std::uint8_t> group(6 + 14 * (recipe.Icons.size() + recipe.MissingIds.size()), 0);
      Put16(group, 2, 1);
      Put16(group, 4, static_cast<std::uint32_t>(recipe.Icons.size() + recipe.MissingIds.size()));
      std::size_t n = 0;
      for (const auto& icon : recipe.Icons) {
        const std::size_t e = 6 + 14 * n++;
        group[e] = icon.Width;
        group[e + 1] = icon.Height;
        Put16(group, e + 4, 1);
        Put16(group, e + 6, icon.BitCount);
        Put32(group, e + 8, static_cast<std::uint32_t>(icon.Data.size()));
        Put16(group, e + 12, icon.Id);
      }
      for (const auto id : recipe.MissingIds) {
        const std::size_t e = 6 + 14 * n++;
        group[e] = group[e + 1] = 16;
        Put16(group, e + 12, id);
      }
      const std::size_t groups = Directory(r, 1);
      Entry(r, root, 1, 14, 0x80000000u | static_cast<std::uint32_t>(groups));
      const std::size_t leaf = Leaf(r, group, &groupAt);
      Entry(r, groups, 0, 1, 0x80000000u | static_cast<std::uint32_t>(leaf));
    }
  }
  while (r.size() % 512 != 0) r.push_back(0);
  if (r.empty()) r.resize(512);

  const std::uint32_t optionalSize = recipe.Pe32Plus ? 240 : 224;
  const std::size_t peAt = 0x40;
  PeImage out;
  std::vector<std::uint8_t>& b = out.Bytes;
  b.assign(kSectionFileOffset, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, static_cast<std::uint32_t>(peAt));
  b[peAt] = 'P';
  b[peAt + 1] = 'E';
  Put16(b, peAt + 4, recipe.Pe32Plus ? 0x8664 : 0x14C);
  Put16(b, peAt + 6, 1);  // one section
  Put16(b, peAt + 20, optionalSize);
  Put16(b, peAt + 22, 0x0102);
  const std::size_t opt = peAt + 24;
  Put16(b, opt, recipe.Pe32Plus ? 0x20B : 0x10B);
  const std::size_t count = opt + (recipe.Pe32Plus ? 108 : 92);
  Put32(b, count, 16);
  if (recipe.WithResources) {
    Put32(b, count + 4 + 16, kSectionRva);
    Put32(b, count + 4 + 20, static_cast<std::uint32_t>(r.size()));
  }
  const std::size_t section = opt + optionalSize;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (int i = 0; i < 8; ++i) b[section + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(name[i]);
  Put32(b, section + 8, static_cast<std::uint32_t>(r.size()));
  Put32(b, section + 12, kSectionRva);
  Put32(b, section + 16, static_cast<std::uint32_t>(r.size()));
  Put32(b, section + 20, static_cast<std::uint32_t>(kSectionFileOffset));
  b.insert(b.end(), r.begin(), r.end());
  out.ResourceOffset = kSectionFileOffset;
  out.GroupDataOffset = recipe.WithGroup && recipe.WithResources ? kSectionFileOffset + groupAt : 0;
  return out;
}

}  // namespace testsupport
