// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/al_color.h"

#include <QPalette>
#include <stdexcept>
#include <string>

namespace zorv {
namespace {

TColor FromQColor(const QColor& c) {
  return RGBColor(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                  static_cast<std::uint8_t>(c.blue()));
}

bool PaletteRoleOf(TColor systemColor, QPalette::ColorRole* role) {
  switch (systemColor) {
    case clWindow:
      *role = QPalette::Base;
      return true;
    case clWindowText:
      *role = QPalette::WindowText;
      return true;
    case clHighlight:
      *role = QPalette::Highlight;
      return true;
    case clHighlightText:
      *role = QPalette::HighlightedText;
      return true;
    case clBtnFace:
      *role = QPalette::Button;
      return true;
    case clBtnShadow:
      *role = QPalette::Dark;
      return true;
    case clBtnText:
      *role = QPalette::ButtonText;
      return true;
    case clBtnHighlight:
      *role = QPalette::Light;
      return true;
    default:
      return false;
  }
}

// One component of a gradient step, truncated to 8 bits.
std::uint8_t Step(std::uint8_t start, std::uint8_t end, int index, int count) {
  const std::int64_t offset = MulDiv(index - 1, int{end} - int{start}, count - 1);
  return static_cast<std::uint8_t>((start + offset) & 0xFF);
}

}  // namespace

TColor ColorToRGB(TColor color, const QPalette& palette) {
  if (!IsSystemColor(color)) return color & 0x00FFFFFF;
  QPalette::ColorRole role{};
  if (!PaletteRoleOf(color, &role)) return RGBColor(0, 0, 0);
  return FromQColor(palette.color(role));
}

QRgb ToQRgb(TColor color, const QPalette& palette) {
  const TColor rgb = ColorToRGB(color, palette);
  return qRgb(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

std::int64_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t d) {
  if (d == 0) return 0;
  const std::int64_t product = std::int64_t{a} * b;
  const bool negative = (product < 0) != (d < 0);
  const std::uint64_t num =
      product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
  const std::uint64_t den =
      d < 0 ? 0 - static_cast<std::uint64_t>(std::int64_t{d}) : static_cast<std::uint64_t>(d);
  std::uint64_t quotient = num / den;
  const std::uint64_t remainder = num % den;
  if (remainder >= den - remainder) ++quotient;  // half or more: away from zero
  const auto magnitude = static_cast<std::int64_t>(quotient);
  return negative ? -magnitude : magnitude;
}

TColor GradientColor(TColor start, TColor end, int colorIndex, int colorCount,
                     const QPalette& palette) {
  if (colorIndex < 1 || colorIndex > colorCount) {
    throw std::range_error("ColorIndex can't be less than 1 or greater than " +
                           std::to_string(colorCount));
  }
  const TColor a = ColorToRGB(start, palette);
  if (colorCount == 1) return a;  // a one-pixel run has no slope

  const TColor b = ColorToRGB(end, palette);
  return RGBColor(Step(GetRValue(a), GetRValue(b), colorIndex, colorCount),
                  Step(GetGValue(a), GetGValue(b), colorIndex, colorCount),
                  Step(GetBValue(a), GetBValue(b), colorIndex, colorCount));
}

}  // namespace zorv
