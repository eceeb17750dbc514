// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/md5_portable.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "wav/md5.h"

namespace zorv {
namespace {

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

std::uint32_t RotateLeft(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

}  // namespace

void TPortableMd5::Reset() {
  State_[0] = 0x67452301;
  State_[1] = 0xefcdab89;
  State_[2] = 0x98badcfe;
  State_[3] = 0x10325476;
  Length_ = 0;
}

void TPortableMd5::Transform(const std::uint8_t* block) {
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i) {
    m[i] = static_cast<std::uint32_t>(block[4 * i]) |
           static_cast<std::uint32_t>(block[4 * i + 1]) << 8 |
           static_cast<std::uint32_t>(block[4 * i + 2]) << 16 |
           static_cast<std::uint32_t>(block[4 * i + 3]) << 24;
  }
  std::uint32_t a = State_[0], b = State_[1], c = State_[2], d = State_[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const std::uint32_t next = d;
    d = c;
    c = b;
    b = b + RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
    a = next;
  }
  State_[0] += a;
  State_[1] += b;
  State_[2] += c;
  State_[3] += d;
}

void TPortableMd5::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t pending = Length_ % 64;
  Length_ += size;
  if (pending != 0) {
    const std::size_t take = std::min<std::size_t>(64 - pending, size);
    std::memcpy(Pending_ + pending, bytes, take);
    bytes += take;
    size -= take;
    pending += take;
    if (pending < 64) return;
    Transform(Pending_);
  }
  for (; size >= 64; bytes += 64, size -= 64) Transform(bytes);
  if (size != 0) std::memcpy(Pending_, bytes, size);
}

std::array<std::uint8_t, 16> TPortableMd5::Digest() const {
  TPortableMd5 end = *this;
  const std::uint64_t bits = Length_ * 8;
  const std::uint8_t one = 0x80;
  end.Update(&one, 1);
  const std::uint8_t zero = 0;
  while (end.Length_ % 64 != 56) end.Update(&zero, 1);
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  end.Update(length, 8);
  std::array<std::uint8_t, 16> digest{};
  for (int i = 0; i < 16; ++i)
    digest[i] = static_cast<std::uint8_t>(end.State_[i / 4] >> (8 * (i % 4)));
  return digest;
}

std::string HexDigest(const TMd5Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * digest.size());
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace zorv
