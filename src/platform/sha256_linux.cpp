#include <openssl/evp.h>

#include "platform/sha256.h"

namespace platform {

struct Sha256::State {
  EVP_MD_CTX* Context = nullptr;
  bool Good = false;
  void Start() { Good = Context != nullptr && EVP_DigestInit_ex(Context, EVP_sha256(), nullptr) == 1; }
};

Sha256::Sha256() : FState(std::make_unique<State>()) {
  FState->Context = EVP_MD_CTX_new();
  FState->Start();
}

Sha256::~Sha256() { EVP_MD_CTX_free(FState->Context); }

bool Sha256::Ok() const { return FState->Good; }

void Sha256::Update(const void* data, std::size_t length) {
  if (FState->Good && length != 0) FState->Good = EVP_DigestUpdate(FState->Context, data, length) == 1;
}

Sha256Digest Sha256::Finish() {
  Sha256Digest d{};
  unsigned int n = 0;
  if (FState->Good) FState->Good = EVP_DigestFinal_ex(FState->Context, d.data(), &n) == 1 && n == d.size();
  const bool good = FState->Good;
  FState->Start();
  if (!good) FState->Good = false;
  return d;
}

}  // namespace platform
