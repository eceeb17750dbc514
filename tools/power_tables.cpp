// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/power_tables.h"

#include <cstdio>

#include "dsp/charge_current.h"
#include "dsp/detector_constants.h"
#include "dsp/power_of_ten.h"
#include "dsp/reference_level_range.h"
#include "dsp/sample_rates.h"
#include "dsp/start_values.h"
#include "dsp/zorv_calc.h"

namespace zorv::tables {
namespace {

using power_of_ten::ConstantOf;
using power_of_ten::TConstant;
using power_of_ten::TSplit;

// Exact: hexadecimal, with the suffix of long double.
std::string ExtendedText(Extended value) {
  char text[64];
  std::snprintf(text, sizeof text, "%LaL", value);
  return text;
}

std::string SplitText(const TSplit& split) {
  char text[128];
  std::snprintf(text, sizeof text, "{%LaL, %LaL}", split.Hi, split.Lo);
  return text;
}

// Exact: hexadecimal.
std::string DoubleText(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

constexpr int kTableBits = 7;
// Significant bits of the head of ln(2)/128: its product with an integer
// below 2^21 (|x| 128 log2(10) for |x| <= kLimit) is exact.
constexpr int kLn2HeadBits = 43;

}  // namespace

std::string PowerOfTenTableText() {
  const TSplit log2Of10 = ConstantOf(TConstant::Log2Of10);
  const TSplit ln10 = ConstantOf(TConstant::Ln10);
  TSplit ln2 = ConstantOf(TConstant::Ln2, kLn2HeadBits);
  ln2.Hi /= 1 << kTableBits;
  ln2.Lo /= 1 << kTableBits;
  std::string text =
      "// SPDX-License-Identifier: GPL-3.0-or-later\n"
      "// Written by zorv-power-tables (tools/write_power_tables.cpp) from the 256-bit\n"
      "// integer arithmetic of dsp/power_of_ten.cpp. Do not edit: run the program\n"
      "// again. The constants and the table of the quick estimate of PowerOfTen;\n"
      "// values in two parts are the nearest Extended (or, for ln(2)/128, the\n"
      "// nearest with 43 significant bits) and the nearest to the rest.\n"
      "#pragma once\n"
      "\n"
      "#include \"dsp/extended.h\"\n"
      "#include \"dsp/power_of_ten.h\"\n"
      "\n"
      "namespace zorv::power_of_ten {\n"
      "\n"
      "// clang-format off\n"
      "\n";
  const auto constant = [&text](const char* comment, const char* name, Extended value) {
    if (comment != nullptr) (text += "// ") += comment;
    (((text += "inline constexpr Extended ") += name) += " = ") += ExtendedText(value);
    text += ";\n";
  };
  constant("128 log2(10).\n", "kScaledLog2Of10", log2Of10.Hi * (1 << kTableBits));
  constant("ln(10).\n", "kLn10Hi", ln10.Hi);
  constant(nullptr, "kLn10Lo", ln10.Lo);
  constant("ln(2)/128, the first part with 43 significant bits.\n", "kLn2Over128Hi", ln2.Hi);
  constant(nullptr, "kLn2Over128Lo", ln2.Lo);
  text +=
      "\n"
      "// 2^(j/128), j = 0..127.\n"
      "inline constexpr TSplit kTwoToThe[128] = {\n";
  for (std::uint32_t j = 0; j < (1u << kTableBits); ++j) {
    ((text += "    ") += SplitText(power_of_ten::TwoToTheFraction(j, kTableBits))) += ",\n";
  }
  text +=
      "};\n"
      "\n"
      "// clang-format on\n"
      "\n"
      "}  // namespace zorv::power_of_ten\n";
  return text;
}

std::string LevelFactorsText() {
  std::string text =
      "// SPDX-License-Identifier: GPL-3.0-or-later\n"
      "// Written by zorv-power-tables (tools/write_power_tables.cpp) from the\n"
      "// reference power of ten (dsp/power_of_ten.h). Do not edit: run the program\n"
      "// again. The factor 10^(dB/20) of every reference level a decode takes,\n"
      "// as the decoder holds it (TZorvCalc::LevelFactorByPower), at 17\n"
      "// significant digits; a platform without the 64-bit significand of the\n"
      "// reference arithmetic reads them here.\n"
      "#pragma once\n"
      "\n"
      "#include \"dsp/reference_level_range.h\"\n"
      "\n"
      "namespace zorv {\n"
      "\n"
      "// clang-format off\n"
      "\n"
      "// [tenths of a dB - kMinLevelTenths]\n"
      "inline constexpr double kLevelFactors[kMaxLevelTenths - kMinLevelTenths + 1] = {\n";
  for (int tenths = kMinLevelTenths; tenths <= kMaxLevelTenths; ++tenths) {
    const double dB = tenths / 10.0;
    char line[96];
    std::snprintf(line, sizeof line, "    %.17g,  // %.1f dB\n", TZorvCalc::LevelFactorByPower(dB),
                  dB);
    text += line;
  }
  text +=
      "};\n"
      "\n"
      "// clang-format on\n"
      "\n"
      "}  // namespace zorv\n";
  return text;
}

std::string StartConstantsText() {
  std::string text =
      "// SPDX-License-Identifier: GPL-3.0-or-later\n"
      "// Written by zorv-power-tables (tools/write_power_tables.cpp) from the\n"
      "// reference computations of dsp/start_values.h. Do not edit: run the program\n"
      "// again. What a detector computes in extended precision when it is set up,\n"
      "// rounded once to double, exactly (hexadecimal): every build reads them here.\n"
      "#pragma once\n"
      "\n"
      "#include \"dsp/detector_constants.h\"\n"
      "#include \"dsp/reference_level_range.h\"\n"
      "#include \"dsp/sample_rates.h\"\n"
      "\n"
      "namespace zorv::start {\n"
      "\n"
      "// clang-format off\n"
      "\n"
      "// 10^(-VoltageMin / 3.64): the gain factor of a detector at rest.\n"
      "inline constexpr double kRestingGainFactor = ";
  (text += DoubleText(start_values::ReferenceRestingGainFactor())) += ";\n";
  text +=
      "\n"
      "// A band's steps at a rate: the discharge current's leak, and the charge\n"
      "// steps of its current curve with their slopes, per breakpoint.\n"
      "struct TBandSteps {\n"
      "  double LeakStep;\n"
      "  double Charge[detector::kCurvePoints];\n"
      "  double ChargeSlope[detector::kCurvePoints];\n"
      "};\n"
      "\n"
      "// [RateIndex(rate)][band A..D]\n"
      "inline constexpr TBandSteps kBandSteps[kRateCount][detector::kBands] = {\n";
  std::uint32_t byIndex[kRateCount] = {};
  for (std::uint32_t rate : kSupportedRates) byIndex[RateIndex(rate)] = rate;
  for (int index = 0; index < kRateCount; ++index) {
    const double rate = byIndex[index];
    char line[64];
    std::snprintf(line, sizeof line, "    {  // %u Hz\n", byIndex[index]);
    text += line;
    for (int band = 0; band < detector::kBands; ++band) {
      const double capacitance = detector::kBandCapacitance[band];
      const TCurrentTable& curve = *CurrentTableForBand(band);
      ((text += "        {") += DoubleText(start_values::ReferenceLeakStep(rate, capacitance))) +=
          ",\n         {";
      for (int k = 0; k < detector::kCurvePoints; ++k) {
        if (k != 0) text += k % 4 == 0 ? ",\n          " : ", ";
        text += DoubleText(start_values::ReferenceCharge(curve, k, rate, capacitance));
      }
      text += "},\n         {";
      for (int k = 0; k < detector::kCurvePoints; ++k) {
        if (k != 0) text += k % 4 == 0 ? ",\n          " : ", ";
        text += DoubleText(start_values::ReferenceChargeSlope(curve, k, rate, capacitance));
      }
      text += "}},\n";
    }
    text += "    },\n";
  }
  text +=
      "};\n"
      "\n"
      "// The control voltage a reference level adds to the one at -15.0 dB (the\n"
      "// level range's analysis decode), 3.64 / 2 x log10(factor(-15.0) /\n"
      "// factor(level)), of the factors as the decoder holds them.\n"
      "inline constexpr int kShiftFromTenths = -150;\n"
      "// [tenths of a dB - kMinLevelTenths]\n"
      "inline constexpr double kLevelShifts[kMaxLevelTenths - kMinLevelTenths + 1] = {\n";
  const double from = TZorvCalc::LevelFactorOf(-15.0);
  for (int tenths = kMinLevelTenths; tenths <= kMaxLevelTenths; ++tenths) {
    const double to = TZorvCalc::LevelFactorOf(tenths / 10.0);
    char line[48];
    std::snprintf(line, sizeof line, "  // %.1f dB\n", tenths / 10.0);
    ((text += "    ") += DoubleText(start_values::ReferenceVoltageShift(from, to))) += ",";
    text += line;
  }
  text +=
      "};\n"
      "\n"
      "// clang-format on\n"
      "\n"
      "}  // namespace zorv::start\n";
  return text;
}

}  // namespace zorv::tables
