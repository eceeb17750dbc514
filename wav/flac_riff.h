// SPDX-License-Identifier: GPL-3.0-or-later
// How a FLAC file keeps the RIFF chunks of the WAV file it was packed from,
// as `flac --keep-foreign-metadata` writes and `flac -d
// --keep-foreign-metadata` restores them: one APPLICATION block of id "riff"
// per piece, in the file's order. The first holds the 12 bytes "RIFF" (or
// "RF64"), size, "WAVE"; an RF64 file's second its ds64 chunk; then one
// block per chunk, header, body and pad byte, except that the data chunk's
// holds its 8-byte header only (the samples are the FLAC stream). The tool
// writes its own RIFF header, ds64, fmt and data sizes when it restores.
#pragma once

#include <cstdint>

namespace zorv {

inline constexpr char kRiffApplicationId[4] = {'r', 'i', 'f', 'f'};
// A Vorbis comment the tool writes for an extensible fmt chunk and reads
// back when it writes one ("0x0003").
inline constexpr char kChannelMaskTag[] = "WAVEFORMATEXTENSIBLE_CHANNEL_MASK";
// A metadata block's length has 24 bits; the application id takes 4 of them.
inline constexpr std::uint64_t kMaxFlacChunkBytes = (1u << 24) - 1 - 4;
// FLAC keeps 1 to 8 channels.
inline constexpr std::uint32_t kMaxFlacChannels = 8;

// The speaker positions FLAC gives 1 to 8 channels, as a channel mask.
inline std::uint32_t FlacChannelMask(std::uint32_t channels) {
  constexpr std::uint32_t kMasks[] = {0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
  return channels >= 1 && channels <= 8 ? kMasks[channels - 1] : 0;
}

}  // namespace zorv
