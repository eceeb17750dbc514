// SPDX-License-Identifier: GPL-3.0-or-later
// The names by which hosts find the two plugins of the bundle; the Turtle
// files use the same.
#pragma once

namespace zorv::plugin {

inline constexpr const char* kStereoUri = "https://zorv-audio-decoder.example.org/lv2/stereo";
inline constexpr const char* kMonoUri = "https://zorv-audio-decoder.example.org/lv2/mono";

}  // namespace zorv::plugin
