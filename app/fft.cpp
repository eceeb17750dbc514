// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/fft.h"

#include <bit>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <utility>

namespace zorv {

std::size_t PowerOfTwoBelow(std::size_t n) {
  return n == 0 ? 0 : std::bit_floor(n);
}

TFft::TFft(std::size_t size) : Size_(size) {
  if (size < 2 || !std::has_single_bit(size)) {
    throw std::invalid_argument("FFT size must be a power of two of at least 2");
  }
  Twiddle_.resize(size / 2);
  for (std::size_t k = 0; k < size / 2; ++k) {
    const double angle =
        -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(size);
    Twiddle_[k] = {std::cos(angle), std::sin(angle)};
  }
  const int bits = std::countr_zero(size);
  Reversed_.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    std::size_t r = 0;
    for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1U) << (bits - 1 - b);
    Reversed_[i] = r;
  }
}

void TFft::Forward(std::complex<double>* data) const {
  for (std::size_t i = 0; i < Size_; ++i) {
    if (i < Reversed_[i]) std::swap(data[i], data[Reversed_[i]]);
  }
  for (std::size_t half = 1; half < Size_; half *= 2) {
    const std::size_t stride = Size_ / (2 * half);
    for (std::size_t start = 0; start < Size_; start += 2 * half) {
      for (std::size_t k = 0; k < half; ++k) {
        // Written out: the library's complex product also sorts out infinities.
        const std::complex<double> w = Twiddle_[k * stride];
        const std::complex<double> d = data[start + k + half];
        const std::complex<double> odd{w.real() * d.real() - w.imag() * d.imag(),
                                       w.real() * d.imag() + w.imag() * d.real()};
        data[start + k + half] = data[start + k] - odd;
        data[start + k] += odd;
      }
    }
  }
}

TRealFft::TRealFft(std::size_t size)
    : Size_(size), Half_(size / 2), Twiddle_(size / 2 + 1), Packed_(size / 2) {
  for (std::size_t k = 0; k <= size / 2; ++k) {
    const double angle =
        -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(size);
    Twiddle_[k] = {std::cos(angle), std::sin(angle)};
  }
}

void TRealFft::Forward(const double* samples, std::complex<double>* spectrum) {
  const std::size_t half = Size_ / 2;
  for (std::size_t n = 0; n < half; ++n) Packed_[n] = {samples[2 * n], samples[2 * n + 1]};
  Half_.Forward(Packed_.data());
  // Z = E + i O, with E and O the transforms of the even and the odd
  // samples; X[k] = E[k] + w^k O[k].
  for (std::size_t k = 0; k <= half; ++k) {
    const std::complex<double> z = Packed_[k % half];
    const std::complex<double> mirror = std::conj(Packed_[(half - k) % half]);
    const std::complex<double> even = 0.5 * (z + mirror);
    const std::complex<double> oddTimesI = 0.5 * (z - mirror);
    const std::complex<double> odd{oddTimesI.imag(), -oddTimesI.real()};
    const std::complex<double> w = Twiddle_[k];
    spectrum[k] = even + std::complex<double>{w.real() * odd.real() - w.imag() * odd.imag(),
                                              w.real() * odd.imag() + w.imag() * odd.real()};
  }
}

}  // namespace zorv
