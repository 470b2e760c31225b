#pragma once
// Shared by the command wrappers: a zero-filled request block with one
// command block, and big-endian fields of command blocks and answers.
#include <cstdint>
#include <optional>
#include <span>

#include "base/byte_order.h"
#include "base/span_io.h"
#include "engine/device/srb.h"

namespace device::mmc {

inline SRB_ExecSCSICmd NewSrb(std::uint8_t operationCode, std::uint8_t cdbLength, std::uint8_t flags,
                              std::span<std::uint8_t> data = {}) {
  SRB_ExecSCSICmd srb;
  srb.SRB_Flags = flags;
  srb.SRB_CDBLen = cdbLength;
  srb.CDBByte[0] = operationCode;
  srb.SRB_BufPointer = data.empty() ? nullptr : data.data();
  srb.SRB_BufLen = static_cast<std::uint32_t>(data.size());
  return srb;
}

inline void PutBe16(SRB_ExecSCSICmd& srb, std::size_t at, std::uint16_t v) {
  srb.CDBByte[at] = static_cast<std::uint8_t>(v >> 8);
  srb.CDBByte[at + 1] = static_cast<std::uint8_t>(v);
}

inline void PutBe32(SRB_ExecSCSICmd& srb, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) srb.CDBByte[at + i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

// Big-endian fields of an answer; a field past the end reads as 0.
inline std::uint32_t Be32At(std::span<const std::uint8_t> bytes, std::size_t at) {
  base::SpanReader r(bytes);
  if (!r.Seek(at)) return 0;
  const auto v = r.Read<base::Be32>();
  return v ? v->Get() : 0;
}

inline std::uint16_t Be16At(std::span<const std::uint8_t> bytes, std::size_t at) {
  base::SpanReader r(bytes);
  if (!r.Seek(at)) return 0;
  const auto v = r.Read<base::Be16>();
  return v ? v->Get() : 0;
}

inline std::uint8_t U8At(std::span<const std::uint8_t> bytes, std::size_t at) {
  base::SpanReader r(bytes);
  if (!r.Seek(at)) return 0;
  return r.U8().value_or(0);
}

}  // namespace device::mmc
