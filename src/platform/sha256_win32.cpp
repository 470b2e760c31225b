#include <windows.h>
#include <bcrypt.h>

#include "platform/sha256.h"

namespace platform {

namespace {
// Negative NTSTATUS values are failures.
bool Succeeded(NTSTATUS status) { return status >= 0; }
}  // namespace

struct Sha256::State {
  BCRYPT_ALG_HANDLE Algorithm = nullptr;
  BCRYPT_HASH_HANDLE Hash = nullptr;
  bool Good = false;
  void Start() {
    if (Hash != nullptr) BCryptDestroyHash(Hash);
    Hash = nullptr;
    Good = Algorithm != nullptr && Succeeded(BCryptCreateHash(Algorithm, &Hash, nullptr, 0, nullptr, 0, 0));
  }
};

Sha256::Sha256() : FState(std::make_unique<State>()) {
  if (!Succeeded(BCryptOpenAlgorithmProvider(&FState->Algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    FState->Algorithm = nullptr;
  FState->Start();
}

Sha256::~Sha256() {
  if (FState->Hash != nullptr) BCryptDestroyHash(FState->Hash);
  if (FState->Algorithm != nullptr) BCryptCloseAlgorithmProvider(FState->Algorithm, 0);
}

bool Sha256::Ok() const { return FState->Good; }

void Sha256::Update(const void* data, std::size_t length) {
  // CNG takes at most 4 GiB a call.
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (FState->Good && length != 0) {
    const ULONG n = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
    FState->Good = Succeeded(BCryptHashData(FState->Hash, const_cast<PUCHAR>(p), n, 0));
    p += n;
    length -= n;
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest d{};
  if (FState->Good) FState->Good = Succeeded(BCryptFinishHash(FState->Hash, d.data(), static_cast<ULONG>(d.size()), 0));
  const bool good = FState->Good;
  FState->Start();
  if (!good) FState->Good = false;
  return d;
}

}  // namespace platform
