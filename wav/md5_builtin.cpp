// SPDX-License-Identifier: GPL-3.0-or-later
// TMd5 without OpenSSL: the portable MD5.
#include "wav/md5.h"
#include "wav/md5_portable.h"

namespace zorv {

struct TMd5::TState {
  TPortableMd5 Md5;
};

TMd5::TMd5() : State_(std::make_unique<TState>()) {}

TMd5::~TMd5() = default;

void TMd5::Reset() {
  State_->Md5.Reset();
}

void TMd5::Update(const void* data, std::size_t size) {
  State_->Md5.Update(data, size);
}

TMd5Digest TMd5::Digest() const {
  return State_->Md5.Digest();
}

}  // namespace zorv
