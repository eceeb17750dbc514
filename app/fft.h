// SPDX-License-Identifier: GPL-3.0-or-later
// A radix-2 fast Fourier transform of a fixed power-of-two size, for the
// spectral look at the input that the reference-tone search takes.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace zorv {

class TFft {
 public:
  // size: a power of two, at least 2.
  explicit TFft(std::size_t size);

  std::size_t Size() const { return Size_; }
  // In place, forward (e^{-i 2 pi k n / N}), unscaled. data holds Size values.
  void Forward(std::complex<double>* data) const;

 private:
  std::size_t Size_;
  std::vector<std::complex<double>> Twiddle_;  // e^{-i 2 pi k / N}, k < N / 2
  std::vector<std::size_t> Reversed_;          // bit-reversed index of each index
};

// The transform of real samples, by a complex transform of half the size.
class TRealFft {
 public:
  // size: a power of two, at least 4.
  explicit TRealFft(std::size_t size);

  std::size_t Size() const { return Size_; }
  // samples: Size values; spectrum: Size / 2 + 1 bins (0 .. Nyquist), the
  // forward transform's first half (the rest mirrors it).
  void Forward(const double* samples, std::complex<double>* spectrum);

 private:
  std::size_t Size_;
  TFft Half_;
  std::vector<std::complex<double>> Twiddle_;  // e^{-i 2 pi k / N}, k <= N / 2
  std::vector<std::complex<double>> Packed_;   // even samples real, odd imaginary
};

// The largest power of two not above n (n >= 1).
std::size_t PowerOfTwoBelow(std::size_t n);

}  // namespace zorv
