// SPDX-License-Identifier: GPL-3.0-or-later
// The bar meter: a rectangle in which a coloured bar grows from one edge in
// proportion to an integer Position between Min and Max, with an optional
// sunken border and an optional centred text showing the position.
//
// The bar's colours come from BarImage, a full-size picture of the complete
// bar (a two- or three-colour gradient, or a tiled BarBitmap); only the filled
// part of it is left visible, the rest is covered with BackgroundColor.
//
// Every property write composes the whole control into FrameBitmap at once and
// schedules the screen copy; paintEvent only copies FrameBitmap to the screen,
// so the control never shows a half-drawn state. A Position change reuses the
// cached BarImage, so a meter fed many times a second only recomposes.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "widgets/al_color.h"

namespace zorv {

// The edge the bar grows from, named for its direction of growth.
enum TProgressDirection : std::uint8_t {
  pdLeftToRight = 0,
  pdRightToLeft = 1,
  pdBottomToTop = 2,
  pdTopToBottom = 3,
};

enum TBarColorStyle : std::uint8_t {
  cs1Color = 0,   // BarColor1 throughout
  cs2Colors = 1,  // BarColor1 at the origin to BarColor2 at the far end
  cs3Colors = 2,  // BarColor1 to BarColor2 at the middle to BarColor3
};

class TALProgressBar : public QWidget {
  Q_OBJECT

 public:
  explicit TALProgressBar(QWidget* parent = nullptr);

  // Colour of the unfilled part.
  TColor BackgroundColor() const { return BackgroundColor_; }
  void SetBackgroundColor(TColor value);

  // When it holds an image, the bar shows it tiled, whatever BarColorStyle.
  // Transparent parts of the image show BackgroundColor.
  const QImage& BarBitmap() const { return BarBitmap_; }
  void SetBarBitmap(const QImage& value);

  TColor BarColor1() const { return BarColor1_; }  // at the bar's origin
  void SetBarColor1(TColor value);
  TColor BarColor2() const { return BarColor2_; }  // far end (cs2Colors) or middle (cs3Colors)
  void SetBarColor2(TColor value);
  TColor BarColor3() const { return BarColor3_; }  // far end (cs3Colors)
  void SetBarColor3(TColor value);
  TBarColorStyle BarColorStyle() const { return BarColorStyle_; }
  void SetBarColorStyle(TBarColorStyle value);

  TColor BorderColor1() const { return BorderColor1_; }  // top and left lines
  void SetBorderColor1(TColor value);
  TColor BorderColor2() const { return BorderColor2_; }  // bottom and right lines
  void SetBorderColor2(TColor value);

  TProgressDirection Direction() const { return Direction_; }
  void SetDirection(TProgressDirection value);

  // The range ends are stored as given: Position is not clamped again, and
  // Min <= Max is not required.
  std::int32_t Max() const { return Max_; }
  void SetMax(std::int32_t value);
  std::int32_t Min() const { return Min_; }
  void SetMin(std::int32_t value);

  // Text shows Position / Max in percent (ahead of Decimal).
  bool Percentage() const { return Percentage_; }
  void SetPercentage(bool value);
  // Text shows Position / 10 with one decimal.
  bool Decimal() const { return Decimal_; }
  void SetDecimal(bool value);

  // Writing the current value does nothing. Otherwise the value is clamped,
  // above Max to Max, else below Min to Min.
  std::int32_t Position() const { return Position_; }
  void SetPosition(std::int32_t value);

  const QString& PosTextPrefix() const { return PosTextPrefix_; }
  void SetPosTextPrefix(const QString& value);
  const QString& PosTextSuffix() const { return PosTextSuffix_; }
  void SetPosTextSuffix(const QString& value);

  // Draw the border and keep a one-pixel frame around the bar.
  bool ShowBorder() const { return ShowBorder_; }
  void SetShowBorder(bool value);
  bool ShowPosText() const { return ShowPosText_; }
  void SetShowPosText(bool value);

  // The text drawn in the middle of the control: prefix, value, suffix. Empty
  // for a percentage of Max = 0, which has no value.
  QString PosText() const;

  // The composed control, as the screen shows it.
  const QImage& FrameBitmap() const { return FrameBitmap_; }
  // The complete bar, cached between compositions; null until first needed.
  const QImage& BarImage() const { return BarImage_; }
  // How often the control has been composed, and BarImage drawn.
  std::uint64_t CompositionCount() const { return CompositionCount_; }
  std::uint64_t BarImageBuildCount() const { return BarImageBuildCount_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  template <typename T>
  void Assign(T& field, const T& value) {
    field = value;
    Compose();
  }

  void Compose();
  void DrawBar(QPainter& painter, bool rebuild);
  void BuildGradient();
  void TileBarBitmap();
  void DrawBorder(QPainter& painter);
  void DrawPosText(QPainter& painter);
  void StartBarImage();
  bool Vertical() const { return Direction_ == pdBottomToTop || Direction_ == pdTopToBottom; }
  int FilledLength(int trackLength) const;
  QRgb Rgb(TColor color) const;

  QImage FrameBitmap_;
  TColor BorderColor1_ = clBtnShadow;
  TColor BorderColor2_ = clBtnHighlight;
  TColor BackgroundColor_ = clBtnFace;
  std::int32_t Position_ = 0;
  QImage BarBitmap_;
  std::int32_t Min_ = 0;
  std::int32_t Max_ = 100;
  bool ShowBorder_ = true;
  TProgressDirection Direction_ = pdLeftToRight;
  bool ShowPosText_ = true;
  QString PosTextSuffix_;
  QString PosTextPrefix_;
  TBarColorStyle BarColorStyle_ = cs3Colors;
  TColor BarColor1_ = RGBColor(0, 128, 0);
  TColor BarColor2_ = RGBColor(255, 255, 0);
  TColor BarColor3_ = RGBColor(255, 0, 0);
  // False only while a Position change composes: the cached BarImage is reused.
  bool RebuildBarImage_ = true;
  QImage BarImage_;
  bool Percentage_ = false;
  bool Decimal_ = false;

  std::uint64_t CompositionCount_ = 0;
  std::uint64_t BarImageBuildCount_ = 0;
};

}  // namespace zorv
