// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/time_text.h"

#include <algorithm>

namespace zorv {
namespace {

QString TwoDigits(std::int64_t value) {
  return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// An estimate from the first moments of a run says little.
constexpr std::int64_t kEstimateAfterMs = 1000;

}  // namespace

QString MinutesText(std::int64_t seconds) {
  seconds = std::max<std::int64_t>(seconds, 0);
  return QString::number(seconds / 60) + QLatin1Char(':') + TwoDigits(seconds % 60);
}

QString HoursText(std::int64_t seconds) {
  seconds = std::max<std::int64_t>(seconds, 0);
  return QString::number(seconds / 3600) + QLatin1Char(':') + TwoDigits(seconds / 60 % 60) +
         QLatin1Char(':') + TwoDigits(seconds % 60);
}

std::int64_t DurationSeconds(std::uint64_t frames, std::uint32_t rate) {
  if (rate == 0) return 0;
  return static_cast<std::int64_t>((frames + rate / 2) / rate);
}

QString RunningTimesText(std::int64_t elapsedMs, std::uint64_t done, std::uint64_t total) {
  QString text = QStringLiteral("elapsed ") + MinutesText(elapsedMs / 1000);
  if (elapsedMs < kEstimateAfterMs || done == 0 || total == 0) return text;
  const std::uint64_t left = total > done ? total - done : 0;
  const double remainingMs =
      static_cast<double>(elapsedMs) * static_cast<double>(left) / static_cast<double>(done);
  return text + QStringLiteral(", remaining ") +
         MinutesText(static_cast<std::int64_t>(remainingMs / 1000.0 + 0.5));
}

}  // namespace zorv
