#include "support/scripted_transport.h"

#include <algorithm>
#include <cstdio>

namespace testsupport {

namespace {

std::string HexBlock(const std::uint8_t* bytes, std::size_t n) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X ", bytes[i]);
    s += buf;
  }
  return s;
}

}  // namespace

std::vector<std::uint8_t> FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, std::uint8_t responseCode,
                                     std::uint8_t additionalLength) {
  std::vector<std::uint8_t> s(18, 0);
  s[0] = responseCode;
  s[2] = key;
  s[7] = additionalLength;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

TScriptStep Failing(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> sense) {
  TScriptStep step;
  step.Cdb = std::move(cdb);
  step.Status = device::kSsErr;
  step.TargStat = device::kTargStatCheckCondition;
  step.Sense = std::move(sense);
  return step;
}

void TScriptedTransport::Expect(const TScriptStep& step, int times) {
  for (int i = 0; i < times; ++i) FSteps.push_back(step);
}

void TScriptedTransport::Answer(device::SRB_ExecSCSICmd& srb) {
  if (FSteps.empty()) {
    Mismatches.push_back("unscripted: " + HexBlock(srb.CDBByte.data(), srb.SRB_CDBLen));
    srb.SRB_Status = device::kSsErr;
    return;
  }
  const TScriptStep step = FSteps.front();
  FSteps.pop_front();
  const bool same = step.Cdb.size() == srb.SRB_CDBLen && std::equal(step.Cdb.begin(), step.Cdb.end(), srb.CDBByte.begin());
  if (!same) {
    Mismatches.push_back("expected " + HexBlock(step.Cdb.data(), step.Cdb.size()) + "got " +
                         HexBlock(srb.CDBByte.data(), srb.SRB_CDBLen));
  }
  if ((srb.SRB_Flags & device::kSrbDirIn) != 0 && srb.SRB_BufPointer != nullptr)
    std::copy_n(step.Data.begin(), std::min<std::size_t>(step.Data.size(), srb.SRB_BufLen), srb.SRB_BufPointer);
  srb.SRB_Status = step.Status;
  srb.SRB_HaStat = step.HaStat;
  srb.SRB_TargStat = step.TargStat;
  std::copy_n(step.Sense.begin(), std::min(step.Sense.size(), srb.SenseArea.size()), srb.SenseArea.begin());
}

std::uint32_t TScriptedTransport::SendASPI32Command(device::TSRB* srb) {
  if (srb == nullptr) return device::kSsErr;
  if (auto* ha = std::get_if<device::SRB_HAInquiry>(srb)) {
    ha->HA_Count = AdapterCount;
    ha->SRB_Status = ha->SRB_HaId < AdapterCount ? device::kSsComp : device::kSsInvalidHa;
    return ha->SRB_Status;
  }
  auto* exec = std::get_if<device::SRB_ExecSCSICmd>(srb);
  if (exec == nullptr) return device::kSsErr;
  TSentCommand sent{*exec, {}};
  if ((exec->SRB_Flags & device::kSrbDirOut) != 0 && exec->SRB_BufPointer != nullptr)
    sent.OutData.assign(exec->SRB_BufPointer, exec->SRB_BufPointer + exec->SRB_BufLen);
  Sent.push_back(std::move(sent));
  if (FDeferred) {
    FPending = exec;
    return device::kSsPending;
  }
  Answer(*exec);
  if (exec->SRB_PostProc != nullptr) exec->SRB_PostProc->Set();
  return exec->SRB_Status;
}

bool TScriptedTransport::CompleteDeferred() {
  if (FPending == nullptr) return false;
  device::SRB_ExecSCSICmd& srb = *FPending;
  FPending = nullptr;
  Answer(srb);
  if (srb.SRB_PostProc != nullptr) srb.SRB_PostProc->Set();
  return true;
}

bool TFakeSleeper::WaitForEvent(device::TSRBEvent& event, std::uint32_t ms) {
  Waits.push_back(ms);
  if (CompleteOnWait != nullptr) CompleteOnWait->CompleteDeferred();
  return event.WaitFor(0);
}

}  // namespace testsupport
