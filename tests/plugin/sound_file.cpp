// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/plugin/sound_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>

namespace zorv::test {

TSound ReadSound(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  TSound sound;
  if (file == nullptr) {
    ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
    return sound;
  }
  sound.Channels = info.channels;
  sound.Rate = info.samplerate;
  sound.Format = info.format;
  const auto samples = static_cast<std::size_t>(info.frames * info.channels);
  if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
    sound.Floats.resize(samples);
    EXPECT_EQ(sf_read_float(file, sound.Floats.data(), static_cast<sf_count_t>(samples)),
              static_cast<sf_count_t>(samples));
  } else {
    sound.Shorts.resize(samples);
    EXPECT_EQ(sf_read_short(file, sound.Shorts.data(), static_cast<sf_count_t>(samples)),
              static_cast<sf_count_t>(samples));
  }
  sf_close(file);
  return sound;
}

void WriteFloatSound(const std::string& path, const std::vector<std::vector<float>>& channels,
                     int rate) {
  SF_INFO info{};
  info.channels = static_cast<int>(channels.size());
  info.samplerate = rate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  std::vector<float> interleaved;
  for (std::size_t i = 0; i < channels[0].size(); ++i) {
    for (const auto& channel : channels) interleaved.push_back(channel[i]);
  }
  EXPECT_EQ(sf_write_float(file, interleaved.data(), static_cast<sf_count_t>(interleaved.size())),
            static_cast<sf_count_t>(interleaved.size()));
  sf_close(file);
}

}  // namespace zorv::test
