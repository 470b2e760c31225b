#pragma once
// Faults a test or a curious person injects into a virtual recorder. They
// are kept with the disc (so another process picks them up) and can be set
// from C++ too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vdrive {

inline constexpr std::uint32_t kNoLba = 0xFFFFFFFFu;
inline constexpr std::uint16_t kNoOpcode = 0xFFFF;
inline constexpr std::uint32_t kNoCrash = 0xFFFFFFFFu;
// Exit code of a process ended by the crash fault.
inline constexpr int kCrashExitCode = 86;

// Damaged media: sectors that never read, read only after some failed
// attempts, or read back wrong without an error (silent corruption).
enum class TDamageKind : std::uint8_t { Unreadable = 1, Flaky = 2, Corrupt = 3 };

struct TDamage {
  std::uint32_t Start = 0;
  std::uint32_t Count = 1;
  TDamageKind Kind = TDamageKind::Unreadable;
  std::uint8_t Tries = 0;  // Flaky: failed reads of each sector before it reads
  bool operator==(const TDamage&) const = default;
};

// Bounded so that the disc state stays within its slot.
inline constexpr std::size_t kMaxDamage = 1024;

struct TFaults {
  std::uint32_t BusyCommands = 0;      // the next n commands answer BUSY
  std::uint32_t NotReadyCommands = 0;  // the next n commands answer NOT READY, 04/01
  bool NeverReady = false;             // NOT READY, 04/01, for ever
  std::uint32_t ReadErrorLba = kNoLba;   // READ of that block: MEDIUM ERROR, 11/00
  std::uint32_t WriteErrorLba = kNoLba;  // WRITE covering that block: MEDIUM ERROR, 0C/00 (WRITE ERROR)
  std::uint16_t RefuseOpcode = kNoOpcode;  // answered ILLEGAL REQUEST, 20/00 ...
  bool RefuseAlways = false;               // ... every time, else once
  std::uint32_t CrashAfterSectors = kNoCrash;  // the process ends after that many more sectors
  std::uint32_t ThrottleKBps = 0;  // buffer drains at most this fast; 0 = unthrottled
  std::vector<TDamage> Damage;

  bool operator==(const TFaults&) const = default;
};

// One line per fault that is set, for `vdisc info`; empty when none.
std::string DescribeFaults(const TFaults& f);

}  // namespace vdrive
