// SPDX-License-Identifier: GPL-3.0-or-later
// The reference levels a decode takes: -30.0 .. 0.0 dB in steps of 0.1 dB,
// -10.0 dB unless another is chosen. The command line, the window, the
// plugin, the tone measurement and the decoder's start-up level all take
// them from here.
#pragma once

namespace zorv {

// In tenths of a dB, as the window's level bar and the plugin's control
// count them.
inline constexpr int kMinLevelTenths = -300;
inline constexpr int kMaxLevelTenths = 0;
inline constexpr int kDefaultLevelTenths = -100;

// In dB (whole tenths, so each is the tenths over 10.0 exactly).
inline constexpr double kMinLevelDb = kMinLevelTenths / 10.0;
inline constexpr double kMaxLevelDb = kMaxLevelTenths / 10.0;
inline constexpr double kDefaultLevelDb = kDefaultLevelTenths / 10.0;
inline constexpr double kLevelStepDb = 0.1;

}  // namespace zorv
