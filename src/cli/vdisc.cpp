#include "cli/vdisc.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <random>
#include <cinttypes>
#include <memory>

#include "cli/build_iso.h"
#include "platform/file_stream.h"
#include "platform/utf8_path.h"
#include "vdrive/disc_image.h"
#include "vdrive/medium.h"

namespace cli {

namespace {

using vdrive::TDisc;
using vdrive::TDiscFile;

bool ParseNumber(const std::string& text, std::uint32_t& value, int base = 10) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value, base);
  return ec == std::errc() && p == end && !text.empty();
}

int Fail(std::FILE* err, const std::string& message) {
  std::fprintf(err, "zantic-cli: %s\n", message.c_str());
  return kExitFailed;
}

int BadInput(std::FILE* err, const std::string& message) {
  std::fprintf(err, "zantic-cli: %s\n\n%s", message.c_str(), kVdiscUsage);
  return kExitBadInput;
}

const char* StatusName(vdrive::TDiscStatus s) {
  switch (s) {
    case vdrive::TDiscStatus::Empty: return "blank";
    case vdrive::TDiscStatus::Incomplete: return "appendable";
    case vdrive::TDiscStatus::Complete: return "closed";
  }
  return "?";
}

const char* SessionStateName(vdrive::TSessionState s) {
  switch (s) {
    case vdrive::TSessionState::Empty: return "empty";
    case vdrive::TSessionState::Incomplete: return "incomplete";
    case vdrive::TSessionState::Complete: return "complete";
  }
  return "?";
}

void PrintInfo(const std::string& path, const vdrive::TStoredState& s, std::FILE* out) {
  const TDisc& d = s.Disc;
  std::fprintf(out, "disc: %s\n", path.c_str());
  std::fprintf(out, "medium: %s (profile %04Xh)\n", vdrive::MediaName(d.Media), vdrive::Profile(d.Media));
  std::fprintf(out, "capacity: %" PRIu32 " blocks\n", d.Capacity);
  if (d.SpareBlocks != 0) std::fprintf(out, "spare areas: %" PRIu32 " blocks\n", d.SpareBlocks);
  if (vdrive::IsOverwritable(d.Media)) {
    if (d.FormattedBlocks == 0) std::fputs("formatted: no\n", out);
    else std::fprintf(out, "formatted: %" PRIu32 " blocks\n", d.FormattedBlocks);
    std::fprintf(out, "recorded up to: %" PRIu32 " blocks\n", d.HighWater);
  }
  std::fprintf(out, "state: %s, last session %s\n", StatusName(vdrive::Status(d)),
               SessionStateName(vdrive::LastSessionState(d)));
  std::fprintf(out, "sessions: %u\n", static_cast<unsigned>(vdrive::SessionCount(d)));
  for (const auto& v : vdrive::TrackViews(d)) {
    if (v.Invisible) {
      std::fprintf(out, "next writable address: %" PRIu32 ", %" PRIu32 " blocks free (track %u, session %u)\n",
                   v.NextWritable, v.FreeBlocks, static_cast<unsigned>(v.Number), static_cast<unsigned>(v.Session));
      continue;
    }
    if (!vdrive::IsSequential(d.Media)) {
      if (vdrive::IsRom(d.Media))
        std::fprintf(out, "track 1: session 1, start 0, size %" PRIu32 " blocks, closed\n", v.Size);
      continue;
    }
    const auto& t = d.Tracks[v.Number - 1u];
    std::fprintf(out, "track %u: session %u, start %" PRIu32 ", size %" PRIu32 " blocks, %s", static_cast<unsigned>(v.Number),
                 static_cast<unsigned>(v.Session), t.Start, t.Closed ? t.Size() : t.Written,
                 t.Closed ? "closed" : (t.Reserved != 0 ? "reserved" : "incomplete"));
    if (!t.Closed && t.Reserved != 0) std::fprintf(out, " (%" PRIu32 " of %" PRIu32 " written)", t.Written, t.Reserved);
    if (!t.Closed) std::fprintf(out, ", next writable address %" PRIu32, v.NextWritable);
    std::fputc('\n', out);
  }
  const std::string faults = vdrive::DescribeFaults(s.Faults);
  if (!faults.empty()) std::fprintf(out, "faults:\n%s", faults.c_str());
}

int Create(const std::vector<std::string>& a, std::FILE* out, std::FILE* err) {
  std::string file, media;
  std::uint32_t blocks = 0;
  bool spareAreas = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == "--media" && i + 1 < a.size()) media = a[++i];
    else if (a[i] == "--spare-areas") spareAreas = true;
    else if (a[i] == "--blocks" && i + 1 < a.size()) {
      if (!ParseNumber(a[++i], blocks) || blocks < 32) return BadInput(err, "--blocks takes a number of at least 32");
    } else if (file.empty() && a[i].rfind("--", 0) != 0) file = a[i];
    else return BadInput(err, "vdisc create: unexpected argument: " + a[i]);
  }
  if (file.empty() || media.empty()) return BadInput(err, "vdisc create needs FILE and --media");
  const auto m = vdrive::MediaFromName(media);
  if (!m || vdrive::IsRom(*m)) return BadInput(err, "unknown recordable medium: " + media);
  if (blocks > vdrive::DefaultCapacity(*m))
    return BadInput(err, "--blocks is larger than a " + media + " disc (" + std::to_string(vdrive::DefaultCapacity(*m)) + ")");
  TDisc disc = vdrive::BlankDisc(*m, blocks);
  if (spareAreas) {
    // Formatted as a drive formats it by default: BD-R with type 32h, BD-RE with 00h.
    if (!vdrive::IsBdR(*m) && !vdrive::IsBdRe(*m)) return BadInput(err, "--spare-areas is for bd-r and bd-re discs");
    const std::uint32_t user = disc.Capacity - vdrive::BdDefaultSpare(disc);
    if (vdrive::Format(disc, user, vdrive::IsBdR(*m) ? 0x32 : 0x00)) return Fail(err, "cannot format with spare areas");
  }
  auto created = TDiscFile::Create(file, disc);
  if (!created) return Fail(err, created.Err().Message);
  PrintInfo(file, created.Value()->State(), out);
  return kExitOk;
}

int Press(const std::vector<std::string>& a, std::FILE* out, std::FILE* err) {
  std::vector<std::string> positional;
  std::string media;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == "--media" && i + 1 < a.size()) media = a[++i];
    else if (a[i].rfind("--", 0) != 0) positional.push_back(a[i]);
    else return BadInput(err, "vdisc press: unexpected argument: " + a[i]);
  }
  if (positional.size() != 2 || media.empty()) return BadInput(err, "vdisc press needs FILE, --media and IMAGE.iso");
  const auto m = vdrive::MediaFromName(media);
  if (!m || !vdrive::IsRom(*m)) return BadInput(err, "pressed discs are cd-rom, dvd-rom or bd-rom, not " + media);
  auto pressed = TDiscFile::Press(positional[0], *m, positional[1]);
  if (!pressed) return Fail(err, pressed.Err().Message);
  PrintInfo(positional[0], pressed.Value()->State(), out);
  return kExitOk;
}

int Info(const std::vector<std::string>& a, std::FILE* out, std::FILE* err) {
  if (a.size() != 1) return BadInput(err, "vdisc info needs FILE");
  auto file = TDiscFile::Open(a[0]);
  if (!file) return Fail(err, file.Err().Message);
  PrintInfo(a[0], file.Value()->State(), out);
  return kExitOk;
}

int Export(const std::vector<std::string>& a, std::FILE* out, std::FILE* err) {
  std::vector<std::string> positional;
  std::uint32_t session = 0;
  bool incomplete = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == "--session" && i + 1 < a.size()) {
      if (!ParseNumber(a[++i], session) || session == 0) return BadInput(err, "--session takes a session number");
    } else if (a[i] == "--incomplete") {
      incomplete = true;
    } else if (a[i].rfind("--", 0) != 0) positional.push_back(a[i]);
    else return BadInput(err, "vdisc export: unexpected argument: " + a[i]);
  }
  if (positional.size() != 2) return BadInput(err, "vdisc export needs FILE and OUT.iso");
  {
    std::error_code ec;
    if (std::filesystem::equivalent(platform::Utf8Path(positional[0]), platform::Utf8Path(positional[1]), ec))
      return BadInput(err, "vdisc export: the output is the disc file itself: " + positional[1]);
    if (std::filesystem::is_directory(platform::Utf8Path(positional[1]), ec))
      return BadInput(err, "vdisc export: the output is a folder: " + positional[1]);
  }
  auto opened = TDiscFile::Open(positional[0]);
  if (!opened) return Fail(err, opened.Err().Message);
  const TDiscFile& file = *opened.Value();
  const TDisc& d = file.State().Disc;
  // On a recordable disc a session is whole once closed; the open one is
  // being burnt, or was cut short by a burn that stopped.
  const auto whole = [&d](std::uint32_t s) { return !vdrive::IsSequential(d.Media) || s <= d.ClosedSessions; };
  if (session == 0) {
    std::uint32_t open = 0;
    for (std::uint16_t s = 1; s <= 255 && s <= d.ClosedSessions + 1; ++s) {
      if (vdrive::SessionEnd(d, s) == 0) continue;
      if (whole(s) || incomplete) session = s;
      else open = s;
    }
    if (open > session)
      std::fprintf(err, "zantic-cli: session %u was not written whole; %s (--incomplete --session %u exports it)\n",
                   static_cast<unsigned>(open),
                   session != 0 ? ("exporting session " + std::to_string(session)).c_str() : "nothing to export",
                   static_cast<unsigned>(open));
  }
  const std::uint32_t end = session > 0xFFFF ? 0 : vdrive::SessionEnd(d, static_cast<std::uint16_t>(session));
  if (end == 0) return Fail(err, "the disc has no recorded session" + (session != 0 ? " " + std::to_string(session) : std::string()));
  if (!whole(session) && !incomplete)
    return Fail(err, "session " + std::to_string(session) +
                         " was not written whole (a burn at work or cut short); --incomplete exports it anyway");
  // Written beside the output and renamed into place: a failure leaves the
  // old file as it was and nothing else behind.
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", std::random_device{}());
  const std::string temp = positional[1] + ".part-" + suffix;
  auto o = platform::FileStream::Open(temp, platform::OpenMode::CreateNew);
  if (!o) return Fail(err, o.Err().Message);
  const auto fail = [&](const std::string& message) {
    o.Value().Close();
    platform::RemoveFile(temp);
    return Fail(err, message);
  };
  std::vector<std::uint8_t> chunk(256 * vdrive::kSectorSize);
  for (std::uint32_t lba = 0; lba < end;) {
    const std::uint32_t n = std::min<std::uint32_t>(256, end - lba);
    if (auto st = file.ReadSectors(lba, n, chunk); !st) return fail(st.Err().Message);
    if (auto st = o.Value().Write(chunk.data(), std::size_t{n} * vdrive::kSectorSize); !st)
      return fail("cannot write " + positional[1] + ": " + st.Err().Message);
    lba += n;
  }
  if (auto st = o.Value().Sync(); !st) return fail("cannot write " + positional[1] + ": " + st.Err().Message);
  o.Value().Close();
  if (auto st = platform::RenameFile(temp, positional[1]); !st) {
    platform::RemoveFile(temp);
    return Fail(err, st.Err().Message);
  }
  std::fprintf(out, "exported session %u: %" PRIu32 " blocks to %s\n", static_cast<unsigned>(session), end,
               positional[1].c_str());
  return kExitOk;
}

// "LBA", "LBA+COUNT" or "FIRST-LAST", then ":TRIES" for flaky sectors.
bool ParseDamage(std::string text, vdrive::TDamageKind kind, vdrive::TDamage& d) {
  d.Kind = kind;
  d.Tries = 0;
  if (kind == vdrive::TDamageKind::Flaky) {
    std::uint32_t tries = 3;
    if (const auto colon = text.find(':'); colon != std::string::npos) {
      if (!ParseNumber(text.substr(colon + 1), tries) || tries == 0 || tries > 255) return false;
      text.resize(colon);
    }
    d.Tries = static_cast<std::uint8_t>(tries);
  }
  std::uint32_t first = 0, second = 1;
  const auto cut = text.find_first_of("+-");
  if (!ParseNumber(text.substr(0, cut), first)) return false;
  if (cut != std::string::npos) {
    if (!ParseNumber(text.substr(cut + 1), second)) return false;
    if (text[cut] == '-') {
      if (second < first) return false;
      second = second - first + 1;
    }
  }
  if (second == 0 || std::uint64_t{first} + second > 0x100000000ull) return false;
  d.Start = first;
  d.Count = second;
  return true;
}

int Fault(const std::vector<std::string>& a, std::FILE* out, std::FILE* err) {
  if (a.empty()) return BadInput(err, "vdisc fault needs FILE");
  auto opened = TDiscFile::Open(a[0]);
  if (!opened) return Fail(err, opened.Err().Message);
  TDiscFile& file = *opened.Value();
  // A recorder holding the disc would overwrite the change with its own state.
  if (!file.Lock()) return Fail(err, a[0] + ": the disc is in use by a running recorder; try again when it is idle");
  vdrive::TStoredState s = file.State();
  vdrive::TFaults& f = s.Faults;
  for (std::size_t i = 1; i < a.size(); ++i) {
    const std::string& o = a[i];
    const bool hasValue = i + 1 < a.size();
    std::uint32_t v = 0;
    const auto number = [&](std::uint32_t& field) {
      if (!hasValue || !ParseNumber(a[++i], v)) return false;
      field = v;
      return true;
    };
    if (o == "--clear") f = vdrive::TFaults{};
    else if (o == "--never-ready") f.NeverReady = true;
    else if (o == "--busy") { if (!number(f.BusyCommands)) return BadInput(err, "--busy takes a count"); }
    else if (o == "--not-ready") { if (!number(f.NotReadyCommands)) return BadInput(err, "--not-ready takes a count"); }
    else if (o == "--read-error") { if (!number(f.ReadErrorLba)) return BadInput(err, "--read-error takes a block address"); }
    else if (o == "--write-error") { if (!number(f.WriteErrorLba)) return BadInput(err, "--write-error takes a block address"); }
    else if (o == "--crash-after-sectors") { if (!number(f.CrashAfterSectors)) return BadInput(err, "--crash-after-sectors takes a count"); }
    else if (o == "--throttle") { if (!number(f.ThrottleKBps)) return BadInput(err, "--throttle takes kB/s"); }
    else if ((o == "--unreadable" || o == "--flaky" || o == "--corrupt") && hasValue) {
      const auto kind = o == "--unreadable" ? vdrive::TDamageKind::Unreadable
                        : o == "--flaky"    ? vdrive::TDamageKind::Flaky
                                            : vdrive::TDamageKind::Corrupt;
      vdrive::TDamage d;
      if (!ParseDamage(a[++i], kind, d))
        return BadInput(err, o + " takes LBA, LBA+COUNT or FIRST-LAST" +
                                 (kind == vdrive::TDamageKind::Flaky ? std::string(", then :TRIES (1 to 255)") : ""));
      if (f.Damage.size() >= vdrive::kMaxDamage)
        return BadInput(err, "at most " + std::to_string(vdrive::kMaxDamage) + " damaged ranges");
      f.Damage.push_back(d);
    } else if (o == "--refuse" && hasValue) {
      std::string opcode = a[++i];
      f.RefuseAlways = false;
      if (const auto colon = opcode.find(':'); colon != std::string::npos) {
        if (opcode.substr(colon + 1) != "always") return BadInput(err, "--refuse takes OPCODE or OPCODE:always");
        f.RefuseAlways = true;
        opcode.resize(colon);
      }
      if (opcode.size() > 2 && (opcode.back() == 'h' || opcode.back() == 'H')) opcode.pop_back();
      if (!ParseNumber(opcode, v, 16) || v > 0xFF) return BadInput(err, "--refuse takes a hexadecimal opcode");
      f.RefuseOpcode = static_cast<std::uint16_t>(v);
    } else {
      return BadInput(err, "vdisc fault: unexpected argument: " + o);
    }
  }
  if (auto st = file.Save(s); !st) return Fail(err, st.Err().Message);
  if (auto st = file.Sync(); !st) return Fail(err, st.Err().Message);
  const std::string text = vdrive::DescribeFaults(f);
  std::fprintf(out, "faults:\n%s", text.empty() ? "  none\n" : text.c_str());
  return kExitOk;
}

}  // namespace

int RunVdisc(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.empty()) return BadInput(err, "vdisc needs a subcommand");
  const std::string& sub = args[0];
  if (sub == "-h" || sub == "--help") {
    std::fputs(kVdiscUsage, out);
    return kExitOk;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const auto& a : rest)
    if (a == "-h" || a == "--help") {
      std::fputs(kVdiscUsage, out);
      return kExitOk;
    }
  if (sub == "create") return Create(rest, out, err);
  if (sub == "press") return Press(rest, out, err);
  if (sub == "info") return Info(rest, out, err);
  if (sub == "export") return Export(rest, out, err);
  if (sub == "fault") return Fault(rest, out, err);
  return BadInput(err, "unknown vdisc subcommand: " + sub);
}

}  // namespace cli
