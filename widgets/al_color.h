// SPDX-License-Identifier: GPL-3.0-or-later
// Colours of the bar meter. A colour is a 32-bit value laid out 0x00BBGGRR;
// a value whose top byte is 0xFF names a system colour by its index instead,
// and is resolved through a widget palette whenever RGB components are needed.
#pragma once

#include <QRgb>
#include <cstdint>

class QPalette;

namespace zorv {

using TColor = std::uint32_t;

// System colours by index. Resolved through the palette (see ColorToRGB):
//   clBtnFace      -> QPalette::Button
//   clBtnShadow    -> QPalette::Dark   (the shadow side of a 3D frame)
//   clBtnHighlight -> QPalette::Light  (the lit side of a 3D frame)
inline constexpr TColor clWindow = 0xFF000005;
inline constexpr TColor clWindowText = 0xFF000008;
inline constexpr TColor clHighlight = 0xFF00000D;
inline constexpr TColor clHighlightText = 0xFF00000E;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clBtnShadow = 0xFF000010;
inline constexpr TColor clBtnText = 0xFF000012;
inline constexpr TColor clBtnHighlight = 0xFF000014;

constexpr TColor RGBColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return TColor{r} | (TColor{g} << 8) | (TColor{b} << 16);
}
constexpr std::uint8_t GetRValue(TColor c) {
  return static_cast<std::uint8_t>(c);
}
constexpr std::uint8_t GetGValue(TColor c) {
  return static_cast<std::uint8_t>(c >> 8);
}
constexpr std::uint8_t GetBValue(TColor c) {
  return static_cast<std::uint8_t>(c >> 16);
}
constexpr bool IsSystemColor(TColor c) {
  return (c >> 24) == 0xFF;
}

// The RGB value of a colour (top byte 0). System colours come from the
// palette's current colour group; an index without a palette role gives black.
TColor ColorToRGB(TColor color, const QPalette& palette);

// Resolves and converts to Qt's 0xAARRGGBB, opaque.
QRgb ToQRgb(TColor color, const QPalette& palette);

// a * b / d in 64 bits, rounded to the nearest integer with halves away from
// zero. There is no quotient for d = 0; the result is then 0.
std::int64_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t d);

// Colour number colorIndex (1..colorCount) of a linear run of colorCount
// colours from start to end: index 1 is start, index colorCount is end. A run
// of one colour is the start colour. Throws std::range_error for an index
// outside 1..colorCount.
TColor GradientColor(TColor start, TColor end, int colorIndex, int colorCount,
                     const QPalette& palette);

}  // namespace zorv
