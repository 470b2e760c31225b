#pragma once
// A transport that replays a script: each expected command block gets its
// data, status, target status and sense. Every request is recorded, so a
// test can check the block, direction, length and completion wait.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "engine/device/sleeper.h"
#include "engine/device/transport.h"

namespace testsupport {

struct TScriptStep {
  std::vector<std::uint8_t> Cdb;   // expected command block, CDB length bytes
  std::vector<std::uint8_t> Data;  // copied into the buffer of a read
  std::uint8_t Status = device::kSsComp;
  std::uint8_t HaStat = 0;
  std::uint8_t TargStat = 0;
  std::vector<std::uint8_t> Sense;  // copied into SenseArea
};

// Fixed-format sense data (response code 70h) with a key and an ASC/ASCQ.
std::vector<std::uint8_t> FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                                     std::uint8_t responseCode = 0x70, std::uint8_t additionalLength = 10);
// A failed step: check condition with the given sense.
TScriptStep Failing(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> sense);

struct TSentCommand {
  device::SRB_ExecSCSICmd Srb;        // as the layer received it
  std::vector<std::uint8_t> OutData;  // the bytes of a write
};

class TScriptedTransport final : public device::TAspiLayer {
 public:
  void Expect(const TScriptStep& step, int times = 1);
  // Leaves execute requests pending; CompleteDeferred answers the last one.
  void SetDeferred(bool deferred) { FDeferred = deferred; }
  bool CompleteDeferred();

  std::uint32_t SendASPI32Command(device::TSRB* srb) override;
  std::uint32_t GetASPI32SupportInfo() override { return (1u << 8) | AdapterCount; }

  std::uint8_t AdapterCount = 1;
  std::vector<TSentCommand> Sent;
  std::vector<std::string> Mismatches;  // unexpected or unscripted command blocks
  std::size_t Remaining() const { return FSteps.size(); }

 private:
  void Answer(device::SRB_ExecSCSICmd& srb);
  std::deque<TScriptStep> FSteps;
  bool FDeferred = false;
  device::SRB_ExecSCSICmd* FPending = nullptr;
};

// Records pauses and completion waits instead of waiting.
class TFakeSleeper final : public device::TSleeper {
 public:
  void Sleep(std::uint32_t ms) override { Sleeps.push_back(ms); }
  bool WaitForEvent(device::TSRBEvent& event, std::uint32_t ms) override;

  std::vector<std::uint32_t> Sleeps;
  std::vector<std::uint32_t> Waits;
  TScriptedTransport* CompleteOnWait = nullptr;  // answers the pending request during the wait
};

}  // namespace testsupport
