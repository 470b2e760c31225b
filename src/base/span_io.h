#pragma once
// Bounds-checked readers and writers over byte spans. Untrusted bytes are
// only ever read through SpanReader; a read past the end fails instead of
// touching memory outside the span.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

namespace base {

class SpanReader {
 public:
  explicit SpanReader(std::span<const std::uint8_t> bytes) : FBytes(bytes) {}

  std::size_t Position() const { return FPos; }
  std::size_t Remaining() const { return FBytes.size() - FPos; }
  bool Seek(std::size_t pos) {
    if (pos > FBytes.size()) return false;
    FPos = pos;
    return true;
  }
  bool Skip(std::size_t n) { return n <= Remaining() && Seek(FPos + n); }

  // Copies a record of trivially copyable field types out of the span.
  template <typename Record>
  std::optional<Record> Read() {
    static_assert(std::is_trivially_copyable_v<Record> && alignof(Record) == 1);
    if (Remaining() < sizeof(Record)) return std::nullopt;
    Record r;
    std::memcpy(&r, FBytes.data() + FPos, sizeof(Record));
    FPos += sizeof(Record);
    return r;
  }
  std::optional<std::uint8_t> U8() {
    if (Remaining() < 1) return std::nullopt;
    return FBytes[FPos++];
  }
  std::optional<std::span<const std::uint8_t>> Bytes(std::size_t n) {
    if (Remaining() < n) return std::nullopt;
    auto s = FBytes.subspan(FPos, n);
    FPos += n;
    return s;
  }

 private:
  std::span<const std::uint8_t> FBytes;
  std::size_t FPos = 0;
};

// Appends records and raw bytes to a growing byte vector.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>& out) : FOut(out) {}

  template <typename Record>
  void Put(const Record& r) {
    static_assert(std::is_trivially_copyable_v<Record> && alignof(Record) == 1);
    const auto* p = reinterpret_cast<const std::uint8_t*>(&r);
    FOut.insert(FOut.end(), p, p + sizeof(Record));
  }
  void PutU8(std::uint8_t v) { FOut.push_back(v); }
  void PutBytes(std::span<const std::uint8_t> b) { FOut.insert(FOut.end(), b.begin(), b.end()); }
  void PutZeros(std::size_t n) { FOut.insert(FOut.end(), n, 0); }
  // Zero bytes up to the next multiple of `unit` (nothing when already there).
  void PadTo(std::size_t unit) {
    const std::size_t rest = FOut.size() % unit;
    if (rest != 0) PutZeros(unit - rest);
  }
  std::size_t Size() const { return FOut.size(); }

 private:
  std::vector<std::uint8_t>& FOut;
};

// Writes text into a fixed-width field, padded with `pad` and cut at the width.
inline void PutPaddedText(std::span<std::uint8_t> field, const std::string& text, std::uint8_t pad = 0x20) {
  std::size_t i = 0;
  for (; i < field.size() && i < text.size(); ++i) field[i] = static_cast<std::uint8_t>(text[i]);
  for (; i < field.size(); ++i) field[i] = pad;
}

}  // namespace base
