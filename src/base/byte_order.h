#pragma once
// Byte-order field types for on-disc and on-wire records. Every type has
// alignment 1 so records can be laid out field by field without packing
// pragmas; values are read and written through accessors only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace base {

template <typename T, std::size_t N>
class LeField {
  static_assert(std::is_unsigned_v<T> && sizeof(T) >= N);

 public:
  LeField() = default;
  explicit LeField(T v) { Set(v); }
  void Set(T v) {
    for (std::size_t i = 0; i < N; ++i) FBytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  T Get() const {
    T v = 0;
    for (std::size_t i = 0; i < N; ++i) v = static_cast<T>(v | static_cast<T>(T{FBytes[i]} << (8 * i)));
    return v;
  }

 private:
  std::array<std::uint8_t, N> FBytes{};
};

template <typename T, std::size_t N>
class BeField {
  static_assert(std::is_unsigned_v<T> && sizeof(T) >= N);

 public:
  BeField() = default;
  explicit BeField(T v) { Set(v); }
  void Set(T v) {
    for (std::size_t i = 0; i < N; ++i) FBytes[N - 1 - i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  T Get() const {
    T v = 0;
    for (std::size_t i = 0; i < N; ++i) v = static_cast<T>(v | static_cast<T>(T{FBytes[N - 1 - i]} << (8 * i)));
    return v;
  }

 private:
  std::array<std::uint8_t, N> FBytes{};
};

using Le16 = LeField<std::uint16_t, 2>;
using Le32 = LeField<std::uint32_t, 4>;
using Be16 = BeField<std::uint16_t, 2>;
using Be24 = BeField<std::uint32_t, 3>;
using Be32 = BeField<std::uint32_t, 4>;

// ECMA-119 7.2.3 / 7.3.3: a value recorded little-endian, then big-endian.
template <typename T, std::size_t N>
class BothField {
 public:
  BothField() = default;
  explicit BothField(T v) { Set(v); }
  void Set(T v) {
    FLe.Set(v);
    FBe.Set(v);
  }
  // Readers take the little-endian half, as other readers do.
  T Get() const { return FLe.Get(); }
  bool Consistent() const { return FLe.Get() == FBe.Get(); }

 private:
  LeField<T, N> FLe;
  BeField<T, N> FBe;
};

using Both16 = BothField<std::uint16_t, 2>;
using Both32 = BothField<std::uint32_t, 4>;

static_assert(sizeof(Le16) == 2 && alignof(Le16) == 1);
static_assert(sizeof(Be32) == 4 && alignof(Be32) == 1);
static_assert(sizeof(Both16) == 4 && alignof(Both16) == 1);
static_assert(sizeof(Both32) == 8 && alignof(Both32) == 1);

}  // namespace base
