// Medium and profile tables, the format-capacity rule and the model quirks.
#include "engine/device/media_types.h"

#include <array>
#include <atomic>
#include <utility>

namespace device {
namespace {

constexpr std::array<const char*, 20> kMediumNames = {
    "UNKNOWN", "CD-ROM",  "CD-R",   "CD-RW",    "DVD-ROM",  "DVD-R",  "DVD-RAM", "DVD-RW",
    "DVD-RW",  "DVD-RW",  "DVD+RW", "DVD+R",    "DVD+R DL", "DDCD-ROM", "DDCD-R", "DDCD-RW",
    "BD-ROM",  "BD-R",    "BD-R",   "BD-RE"};

constexpr std::array<std::pair<std::uint16_t, std::uint8_t>, 18> kProfileMedium = {{
    {0x0008, 1}, {0x0009, 2}, {0x000A, 3}, {0x0010, 4}, {0x0011, 5}, {0x0012, 6}, {0x0013, 8},
    {0x0014, 9}, {0x001A, 10}, {0x001B, 11}, {0x002B, 12}, {0x0020, 13}, {0x0021, 14}, {0x0022, 15},
    {0x0040, 16}, {0x0041, 17}, {0x0042, 18}, {0x0043, 19}}};

struct TProfileName {
  std::uint16_t Profile;
  const char* Name;
  bool Erasable;
};
constexpr std::array<TProfileName, 22> kProfileNames = {{
    {0x0001, "Non-removable disk", false},
    {0x0002, "Removable disk", false},
    {0x0003, "MO Eraseable", true},
    {0x0004, "MO Write Once", false},
    {0x0005, "AS-MO", false},
    {0x0008, "CD-ROM", false},
    {0x0009, "CD-R", false},
    {0x000A, "CD-RW", true},
    {0x0010, "DVD-ROM", false},
    {0x0011, "DVD-R", false},
    {0x0012, "DVD-RAM", false},
    {0x0013, "DVD-RW Restricted Overwrite", true},
    {0x0014, "DVD-RW Sequential Recording", true},
    {0x001A, "DVD+RW", true},
    {0x001B, "DVD+R", false},
    {0x0020, "DDCD-ROM", false},
    {0x0021, "DDCD-R", false},
    {0x0022, "DDCD-RW", true},
    {0x0040, "BD-ROM", false},
    {0x0041, "BD-R Sequential Recording", false},
    {0x0042, "BD-R Random Recording", false},
    {0x0043, "BD-RE", true},
}};

std::atomic<bool> gSharedSlowReady{false};

std::uint32_t Be32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

std::string Trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

const char* MediumName(std::uint8_t code) { return code < kMediumNames.size() ? kMediumNames[code] : kMediumNames[0]; }

std::uint8_t MediumCodeOfProfile(std::uint16_t profile) {
  for (const auto& [p, code] : kProfileMedium)
    if (p == profile) return code;
  return kMediumUnknown;
}

const char* ProfileName(std::uint16_t profile) {
  for (const auto& entry : kProfileNames)
    if (entry.Profile == profile) return entry.Name;
  return "???????";
}

bool ProfileErasable(std::uint16_t profile) {
  for (const auto& entry : kProfileNames)
    if (entry.Profile == profile) return entry.Erasable;
  return false;
}

bool SharedSlowReady() { return gSharedSlowReady.load(); }
void SetSharedSlowReady(bool v) { gSharedSlowReady.store(v); }

std::uint32_t FormatCapacityBlocks(std::span<const std::uint8_t> answer) {
  if (answer.size() < 28) return 0;
  const std::uint32_t k2048 = 0x00000800, kPlusRwFull = 0x98000000;
  const std::uint32_t first = Be32(answer, 4);
  if (Be32(answer, 8) == k2048) return first;
  const std::uint32_t second = Be32(answer, 16);
  if (second == k2048 || second == kPlusRwFull) return Be32(answer, 12);
  if (Be32(answer, 24) == k2048) return Be32(answer, 20);
  return first;
}

std::vector<TFormatDescriptor> FormatDescriptors(std::span<const std::uint8_t> answer) {
  std::vector<TFormatDescriptor> out;
  if (answer.size() < 4) return out;
  const std::size_t end = std::min<std::size_t>(answer.size(), 4 + std::size_t{answer[3]});
  // The first descriptor is the current or maximum capacity, not a format.
  for (std::size_t at = 12; at + 8 <= end; at += 8) {
    TFormatDescriptor d;
    d.Blocks = Be32(answer, at);
    d.Type = static_cast<std::uint8_t>(answer[at + 4] >> 2);
    d.Parameter = std::uint32_t{answer[at + 5]} << 16 | std::uint32_t{answer[at + 6]} << 8 | answer[at + 7];
    out.push_back(d);
  }
  return out;
}

std::array<std::uint8_t, 12> FormatList(const TFormatDescriptor& d, std::uint8_t subType) {
  std::array<std::uint8_t, 12> list{0x00, 0x82, 0x00, 0x08};
  for (std::size_t i = 0; i < 4; ++i) list[4 + i] = static_cast<std::uint8_t>(d.Blocks >> (24 - 8 * i));
  list[8] = static_cast<std::uint8_t>(d.Type << 2 | (subType & 0x03));
  for (std::size_t i = 0; i < 3; ++i) list[9 + i] = static_cast<std::uint8_t>(d.Parameter >> (16 - 8 * i));
  return list;
}

TModelQuirks DecideModelQuirks(const std::string& vendor, const std::string& product) {
  TModelQuirks q;
  const std::string p = Trimmed(product);
  std::string v = Trimmed(vendor);
  if (v.size() < 3) v = "     ";
  q.ForcedUnderrun = p == "CD-W512EB";
  q.LinkSize = p == "CRX175E" || p == "CD-RW  CRX800E";
  q.SlowReadyShared = p.rfind("UJDA", 0) == 0 || v.rfind("TDK", 0) == 0;
  // The product field is 16 bytes, so the DVR-104 name (15 characters) is
  // matched as a prefix; an exact compare would never match.
  q.SlowReadyDevice = product == "DVD-RW  DVR-103 " || product.rfind("DVD-RW  DVR-104", 0) == 0;
  q.NoImmediateClose = p == "CDRW321040X";
  return q;
}

bool IsAtipAnswer(std::span<const std::uint8_t> answer) {
  if (answer.size() < 15) return false;
  const std::size_t length = std::size_t{answer[0]} << 8 | answer[1];
  return length >= 13 && answer[2] == 0 && answer[3] == 0 && answer[13] < 60 && answer[14] < 75;
}

}  // namespace device
