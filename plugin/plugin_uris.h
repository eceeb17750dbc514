// SPDX-License-Identifier: GPL-3.0-or-later
// The names by which hosts find the two plugins (stereo and mono) in each
// format: the LV2 URIs (the Turtle files use the same), the VST3 class ids,
// the CLAP ids, and the names and maker every host shows.
#pragma once

#include <cstdint>

namespace zorv::plugin {

inline constexpr const char* kStereoUri = "https://zorv-audio-decoder.example.org/lv2/stereo";
inline constexpr const char* kMonoUri = "https://zorv-audio-decoder.example.org/lv2/mono";

inline constexpr std::uint8_t kStereoVst3Class[16] = {
    0x45, 0x40, 0xd0, 0x40, 0x05, 0x9a, 0x4d, 0x87, 0xb8, 0x59, 0x3a, 0x22, 0x12, 0x57, 0x64, 0x12};
inline constexpr std::uint8_t kMonoVst3Class[16] = {0x9b, 0xd6, 0xa3, 0x54, 0x83, 0xdd, 0x4d, 0xfd,
                                                    0xa6, 0x1c, 0xe6, 0x8e, 0x67, 0xb6, 0x96, 0xc0};

inline constexpr const char* kStereoClapId = "org.example.zorv_audio_decoder.stereo";
inline constexpr const char* kMonoClapId = "org.example.zorv_audio_decoder.mono";

inline constexpr const char* kStereoName = "Zorv Audio Decoder (stereo)";
inline constexpr const char* kMonoName = "Zorv Audio Decoder (mono)";
inline constexpr const char* kMaker = "Zorv Audio Decoder developers";
inline constexpr const char* kHomepage = "https://zorv-audio-decoder.example.org/";
inline constexpr const char* kMakerEmail = "maintainers@zorv-audio-decoder.example.org";
inline constexpr const char* kDescription =
    "Decodes recordings made with a four-band compander noise-reduction encoding.";

}  // namespace zorv::plugin
