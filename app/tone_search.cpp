// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tone_search.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <numbers>
#include <stdexcept>

namespace zorv {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The product written out: the library's also sorts out infinities, which a
// unit phasor never meets, at several times the cost.
std::complex<double> Times(std::complex<double> a, std::complex<double> b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
// Passes of the phase comparison that sharpen the spectrum's estimate.
constexpr int kRefinements = 2;

std::vector<double> Hann(std::size_t length, bool periodic) {
  std::vector<double> w(length);
  const double n = static_cast<double>(length);
  for (std::size_t i = 0; i < length; ++i) {
    const double x = periodic ? static_cast<double>(i) / n : (static_cast<double>(i) + 0.5) / n;
    w[i] = 0.5 - 0.5 * std::cos(kTwoPi * x);
  }
  return w;
}

// Solves the symmetric 3 x 3 system m a = v by elimination with pivoting;
// false when it is singular.
bool Solve3(std::array<std::array<double, 3>, 3> m, std::array<double, 3> v,
            std::array<double, 3>& a) {
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int row = col + 1; row < 3; ++row) {
      if (std::abs(m[row][col]) > std::abs(m[pivot][col])) pivot = row;
    }
    if (m[pivot][col] == 0.0) return false;
    std::swap(m[pivot], m[col]);
    std::swap(v[pivot], v[col]);
    for (int row = col + 1; row < 3; ++row) {
      const double f = m[row][col] / m[col][col];
      for (int k = col; k < 3; ++k) m[row][k] -= f * m[col][k];
      v[row] -= f * v[col];
    }
  }
  for (int row = 2; row >= 0; --row) {
    double s = v[row];
    for (int k = row + 1; k < 3; ++k) s -= m[row][k] * a[k];
    a[row] = s / m[row][row];
  }
  return true;
}

double Median(std::vector<double> values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  if (values.size() % 2 != 0) return *middle;
  return 0.5 * (*middle + *std::max_element(values.begin(), middle));
}

double LevelDb(const TToneWindow& window) {
  return window.Amplitude > 0.0 ? 20.0 * std::log10(window.Amplitude) : -HUGE_VAL;
}

}  // namespace

TToneWindowAnalyser::TToneWindowAnalyser(double sampleRate, std::size_t frames, double floorDbfs)
    : SampleRate_(sampleRate),
      Frames_(frames),
      // A sine of peak A has the mean square A^2 / 2.
      FloorEnergy_(0.5 * std::pow(10.0, floorDbfs / 10.0) * static_cast<double>(frames)),
      Fft_(PowerOfTwoBelow(std::max<std::size_t>(frames, 2))),
      FftWindow_(Hann(Fft_.Size(), true)),
      HalfWindow_(Hann(frames / 2, false)),
      Windowed_(Fft_.Size()),
      Spectrum_(Fft_.Size() / 2 + 1) {
  if (frames < 64) throw std::invalid_argument("tone windows need at least 64 frames");
}

double TToneWindowAnalyser::CoarseFrequency(const double* x, double mean) {
  const std::size_t size = Fft_.Size();
  for (std::size_t i = 0; i < size; ++i) Windowed_[i] = (x[i] - mean) * FftWindow_[i];
  Fft_.Forward(Windowed_.data(), Spectrum_.data());

  const double binWidth = SampleRate_ / static_cast<double>(size);
  const double top = std::min(kHighestFrequency, 0.45 * SampleRate_);
  const auto first =
      std::max<std::size_t>(2, static_cast<std::size_t>(std::ceil(kLowestFrequency / binWidth)));
  const auto last = std::min(size / 2 - 2, static_cast<std::size_t>(std::floor(top / binWidth)));
  std::size_t peak = first;
  double peakPower = -1.0;
  for (std::size_t k = first; k <= last; ++k) {
    const double power = std::norm(Spectrum_[k]);
    if (power > peakPower) {
      peakPower = power;
      peak = k;
    }
  }
  // A parabola through the logarithms of the peak and its neighbours: the
  // main lobe of the Hann window is close to a Gaussian there.
  constexpr double kTiny = 1e-300;
  const double a = std::log(std::norm(Spectrum_[peak - 1]) + kTiny);
  const double b = std::log(peakPower + kTiny);
  const double c = std::log(std::norm(Spectrum_[peak + 1]) + kTiny);
  const double curve = a - 2.0 * b + c;
  const double offset = curve < 0.0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0;
  return (static_cast<double>(peak) + offset) * binWidth;
}

double TToneWindowAnalyser::RefinedFrequency(const double* x, double mean, double frequency) const {
  // The phase of the sine in the first and in the second half of the window,
  // each seen through a Hann window: the phase advance between the two halves
  // tells how far the frequency is off.
  const std::size_t half = Frames_ / 2;
  for (int pass = 0; pass < kRefinements; ++pass) {
    const double omega = kTwoPi * frequency / SampleRate_;
    const std::complex<double> step = std::polar(1.0, -omega);
    std::array<std::complex<double>, 2> sums{};
    for (std::size_t h = 0; h < 2; ++h) {
      std::complex<double> rotor = std::polar(1.0, -omega * static_cast<double>(h * half));
      std::complex<double> sum{};
      const double* p = x + h * half;
      for (std::size_t i = 0; i < half; ++i) {
        sum += (HalfWindow_[i] * (p[i] - mean)) * rotor;
        rotor = Times(rotor, step);
      }
      sums[h] = sum;
    }
    const double advance = std::arg(Times(sums[1], std::conj(sums[0])));
    frequency += advance * SampleRate_ / (kTwoPi * static_cast<double>(half));
  }
  return std::clamp(frequency, kLowestFrequency, 0.5 * SampleRate_);
}

TToneWindow TToneWindowAnalyser::Fit(const double* x, double frequency) const {
  // Least squares: x ~ a cos + b sin + d over the whole window.
  const double omega = kTwoPi * frequency / SampleRate_;
  const std::complex<double> step = std::polar(1.0, omega);
  std::complex<double> rotor{1.0, 0.0};
  double cc = 0, ss = 0, cs = 0, c1 = 0, s1 = 0, xc = 0, xs = 0, x1 = 0, xx = 0;
  for (std::size_t i = 0; i < Frames_; ++i) {
    const double c = rotor.real();
    const double s = rotor.imag();
    cc += c * c;
    ss += s * s;
    cs += c * s;
    c1 += c;
    s1 += s;
    xc += x[i] * c;
    xs += x[i] * s;
    x1 += x[i];
    xx += x[i] * x[i];
    rotor = Times(rotor, step);
  }
  const double n = static_cast<double>(Frames_);
  TToneWindow result;
  result.Frequency = frequency;
  std::array<double, 3> fit{};
  if (!Solve3({{{cc, cs, c1}, {cs, ss, s1}, {c1, s1, n}}}, {xc, xs, x1}, fit)) return result;
  result.Amplitude = std::hypot(fit[0], fit[1]);
  // What the fit explains beyond the mean alone, against the energy about the
  // mean (a few cycles of a sine do not average to zero).
  const double meanEnergy = x1 * x1 / n;
  const double explained = fit[0] * xc + fit[1] * xs + fit[2] * x1 - meanEnergy;
  const double energy = xx - meanEnergy;
  result.Share = energy > 0.0 ? std::clamp(explained / energy, 0.0, 1.0) : 0.0;
  return result;
}

TToneWindow TToneWindowAnalyser::Polish(const double* x, double mean, double frequency) const {
  frequency = RefinedFrequency(x, mean, frequency);
  TToneWindow best = Fit(x, frequency);
  // The phase comparison leans a little on the sine's mirror image when a
  // window holds few cycles; the fitted sine's share peaks at the true
  // frequency: a parabola through three fits, twice, closer each time.
  const double windowSeconds = static_cast<double>(Frames_) / SampleRate_;
  for (double step : {0.05 / windowSeconds, 0.005 / windowSeconds}) {
    const double a = Fit(x, frequency - step).Share;
    const double b = best.Share;
    const double c = Fit(x, frequency + step).Share;
    const double curve = a - 2.0 * b + c;
    if (!(curve < 0.0)) continue;
    frequency += std::clamp(0.5 * (a - c) / curve, -1.0, 1.0) * step;
    const TToneWindow fitted = Fit(x, frequency);
    if (fitted.Share >= best.Share) best = fitted;
  }
  return best;
}

TToneWindow TToneWindowAnalyser::Analyse(const double* samples) {
  // A sine explaining more than half of a window is its strongest component.
  constexpr double kCarries = 0.5;
  double mean = 0.0;
  double squares = 0.0;
  for (std::size_t i = 0; i < Frames_; ++i) {
    mean += samples[i];
    squares += samples[i] * samples[i];
  }
  const double energy = squares - mean * mean / static_cast<double>(Frames_);
  mean /= static_cast<double>(Frames_);
  if (!(energy >= FloorEnergy_)) {
    LastFrequency_ = 0.0;
    return {};
  }
  if (LastFrequency_ > 0.0) {
    const TToneWindow same = Polish(samples, mean, LastFrequency_);
    if (same.Share > kCarries) {
      LastFrequency_ = same.Frequency;
      return same;
    }
  }
  const TToneWindow window = Polish(samples, mean, CoarseFrequency(samples, mean));
  LastFrequency_ = window.Share > kCarries ? window.Frequency : 0.0;
  return window;
}

std::optional<TSteadyTone> LongestSteadyTone(const std::vector<TToneWindow>& windows,
                                             const TSteadyToneRules& rules) {
  std::vector<double> level(windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) level[i] = LevelDb(windows[i]);
  const auto holdsTone = [&](std::size_t i) {
    return windows[i].Share >= rules.MinShare && level[i] >= rules.FloorDb;
  };
  const auto frequency = [&](std::size_t i) { return windows[i].Frequency; };

  // The longest range [first, i] whose levels and frequencies each stay
  // within their span: one pass, the range's extremes kept in monotonic queues.
  std::deque<std::size_t> highLevel, lowLevel, highFrequency, lowFrequency;
  const auto push = [](std::deque<std::size_t>& queue, std::size_t i, auto&& value, bool high) {
    while (!queue.empty() &&
           (high ? value(queue.back()) <= value(i) : value(queue.back()) >= value(i))) {
      queue.pop_back();
    }
    queue.push_back(i);
  };
  const auto levelOf = [&](std::size_t i) { return level[i]; };
  std::size_t first = 0;
  std::size_t bestFirst = 0;
  std::size_t bestCount = 0;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (!holdsTone(i)) {
      first = i + 1;
      highLevel.clear();
      lowLevel.clear();
      highFrequency.clear();
      lowFrequency.clear();
      continue;
    }
    push(highLevel, i, levelOf, true);
    push(lowLevel, i, levelOf, false);
    push(highFrequency, i, frequency, true);
    push(lowFrequency, i, frequency, false);
    const auto steady = [&] {
      const double lowest = frequency(lowFrequency.front());
      return level[highLevel.front()] - level[lowLevel.front()] <= rules.LevelSpanDb &&
             frequency(highFrequency.front()) - lowest <= rules.FrequencySpan * lowest;
    };
    while (!steady()) {
      ++first;
      for (auto* queue : {&highLevel, &lowLevel, &highFrequency, &lowFrequency}) {
        while (queue->front() < first) queue->pop_front();
      }
    }
    if (i + 1 - first > bestCount) {
      bestCount = i + 1 - first;
      bestFirst = first;
    }
  }
  if (bestCount < rules.MinWindows || bestCount == 0) return std::nullopt;

  TSteadyTone tone;
  tone.FirstWindow = bestFirst;
  tone.Windows = bestCount;
  const auto begin = static_cast<std::ptrdiff_t>(bestFirst);
  const auto end = begin + static_cast<std::ptrdiff_t>(bestCount);
  tone.LevelDb = Median({level.begin() + begin, level.begin() + end});
  std::vector<double> frequencies;
  for (std::size_t i = bestFirst; i < bestFirst + bestCount; ++i)
    frequencies.push_back(frequency(i));
  tone.Frequency = Median(std::move(frequencies));
  return tone;
}

}  // namespace zorv
