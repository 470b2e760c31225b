#pragma once
// SHA-256 from the system's crypto library (libcrypto on Linux, CNG on
// Windows), fed in pieces.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False when the library refused; the digest is then unusable.
  bool Ok() const;
  void Update(const void* data, std::size_t length);
  // Ends the hash and starts a new one.
  Sha256Digest Finish();

 private:
  struct State;
  std::unique_ptr<State> FState;
};

// Lower-case hexadecimal, as sha256sum prints it.
std::string HexDigest(const Sha256Digest& digest);

}  // namespace platform
