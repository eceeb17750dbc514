// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/md5.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace zorv {

struct TMd5::TState {
  EVP_MD_CTX* Context = nullptr;
  ~TState() { EVP_MD_CTX_free(Context); }
};

TMd5::TMd5() : State_(std::make_unique<TState>()) {
  State_->Context = EVP_MD_CTX_new();
  if (State_->Context == nullptr) throw std::bad_alloc();
  Reset();
}

TMd5::~TMd5() = default;

void TMd5::Reset() {
  if (EVP_DigestInit_ex(State_->Context, EVP_md5(), nullptr) != 1) {
    throw std::runtime_error("MD5 is not available");
  }
}

void TMd5::Update(const void* data, std::size_t size) {
  if (size != 0) EVP_DigestUpdate(State_->Context, data, size);
}

TMd5Digest TMd5::Digest() const {
  // Finalising consumes a context: finish a copy, so feeding may go on.
  EVP_MD_CTX* copy = EVP_MD_CTX_new();
  if (copy == nullptr) throw std::bad_alloc();
  TMd5Digest digest{};
  unsigned int size = 0;
  EVP_MD_CTX_copy_ex(copy, State_->Context);
  EVP_DigestFinal_ex(copy, digest.data(), &size);
  EVP_MD_CTX_free(copy);
  return digest;
}

}  // namespace zorv
