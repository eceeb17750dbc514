// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/wav_test_file.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

#include "wav/little_endian.h"

namespace zorv::test {
namespace {

void PutId(TBytes& out, const char* id) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id[i]));
}
void PutAll(TBytes& out, const TBytes& more) {
  for (const std::uint8_t b : more) out.push_back(b);
}

std::uint32_t Get32(const TBytes& b, std::size_t o) {
  return GetLe32(b.data() + o);
}
std::uint16_t Get16(const TBytes& b, std::size_t o) {
  return GetLe16(b.data() + o);
}

void PutSample(TBytes& out, const TWavFormat& format, double x) {
  if (format.Tag == 3) {
    const float f = static_cast<float>(x);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    AppendLe32(out, bits);
    return;
  }
  const double full = std::ldexp(1.0, format.Bits - 1) - 1.0;
  const auto v = static_cast<std::int64_t>(std::lround(x * full));
  for (int b = 0; b < format.Bits / 8; ++b) out.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
}

}  // namespace

TBytes WavBytes(const TWavFormat& format, const TBytes& data,
                std::optional<std::uint32_t> declaredDataSize, bool listChunk) {
  const bool pad = data.size() % 2 != 0;
  TBytes fmt;
  AppendLe16(fmt, format.Extensible ? 0xFFFE : format.Tag);
  AppendLe16(fmt, format.Channels);
  AppendLe32(fmt, format.SampleRate);
  AppendLe32(fmt, format.SampleRate * format.FrameBytes());
  AppendLe16(fmt, format.FrameBytes());
  AppendLe16(fmt, format.Bits);
  if (format.Extensible) {
    AppendLe16(fmt, 22);           // extension size
    AppendLe16(fmt, format.Bits);  // valid bits
    AppendLe32(fmt, format.Channels == 1 ? 0x4 : 0x3);
    // Sub-format GUID: the tag, then the fixed tail 00000000-0010-8000-00AA00389B71.
    AppendLe32(fmt, format.Tag);
    PutAll(fmt, {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  }
  TBytes list;
  if (listChunk) {
    PutId(list, "LIST");
    AppendLe32(list, 10);
    PutId(list, "INFO");
    PutId(list, "tape");
    PutAll(list, {'0', '1'});
  }

  TBytes out;
  PutId(out, "RIFF");
  AppendLe32(out,
             static_cast<std::uint32_t>(4 + 8 + fmt.size() + list.size() + 8 + data.size() + pad));
  PutId(out, "WAVE");
  PutId(out, "fmt ");
  AppendLe32(out, static_cast<std::uint32_t>(fmt.size()));
  PutAll(out, fmt);
  PutAll(out, list);
  PutId(out, "data");
  AppendLe32(out, declaredDataSize.value_or(static_cast<std::uint32_t>(data.size())));
  PutAll(out, data);
  if (pad) out.push_back(0);
  return out;
}

TBytes SignalBytes(const TWavFormat& format, std::uint32_t frames, std::uint32_t seed) {
  // One tone in the middle of every band, each swelling and fading at its own
  // pace, over a little noise.
  constexpr double kTones[] = {90.0, 900.0, 3400.0, 9000.0};
  constexpr double kSwells[] = {0.7, 1.3, 2.1, 2.9};
  const double rate = format.SampleRate;
  std::uint32_t noise = seed * 2654435761u + 1;
  TBytes out;
  out.reserve(static_cast<std::size_t>(frames) * format.FrameBytes());
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = i / rate;
    for (int ch = 0; ch < format.Channels; ++ch) {
      double x = 0;
      for (int band = 0; band < 4; ++band) {
        const double level = 0.1 * (0.55 + 0.45 * std::sin(2 * std::numbers::pi * kSwells[band] *
                                                           (t + 0.1 * ch + 0.05 * seed)));
        x += level * std::sin(2 * std::numbers::pi * kTones[band] * (1 + 0.01 * ch) * t);
      }
      noise = noise * 1664525u + 1013904223u;
      x += 0.02 * (static_cast<double>(noise >> 8) / 16777216.0 - 0.5);
      PutSample(out, format, x);
    }
  }
  return out;
}

void WriteFile(const std::string& path, const TBytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

TBytes ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::optional<TWavImage> ParseCanonical(const TBytes& b) {
  if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
      std::memcmp(b.data() + 8, "WAVE", 4) != 0 || std::memcmp(b.data() + 12, "fmt ", 4) != 0 ||
      std::memcmp(b.data() + 36, "data", 4) != 0) {
    return std::nullopt;
  }
  TWavImage image;
  image.RiffSize = Get32(b, 4);
  image.FmtSize = Get32(b, 16);
  image.Tag = Get16(b, 20);
  image.Channels = Get16(b, 22);
  image.SampleRate = Get32(b, 24);
  image.ByteRate = Get32(b, 28);
  image.BlockAlign = Get16(b, 32);
  image.Bits = Get16(b, 34);
  image.DataSize = Get32(b, 40);
  image.Data.assign(b.begin() + 44, b.end());
  return image;
}

TBytes WithoutFact(const TBytes& b, std::uint32_t& factFrames) {
  if (b.size() < 56 || std::memcmp(b.data() + 36, "fact", 4) != 0 || Get32(b, 40) != 4) return {};
  factFrames = Get32(b, 44);
  TBytes canonical(b.begin(), b.begin() + 36);
  canonical.insert(canonical.end(), b.begin() + 48, b.end());
  const std::uint32_t riff = Get32(b, 4) - 12;
  for (int i = 0; i < 4; ++i) canonical[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
  return canonical;
}

const TFileChunk* TChunkedFile::Find(const std::string& id) const {
  for (const TFileChunk& chunk : Chunks) {
    if (chunk.Id == id) return &chunk;
  }
  return nullptr;
}

std::vector<std::string> TChunkedFile::Ids() const {
  std::vector<std::string> ids;
  for (const TFileChunk& chunk : Chunks) ids.push_back(chunk.Id);
  return ids;
}

std::optional<TChunkedFile> ParseChunks(const TBytes& b) {
  if (b.size() < 12 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return std::nullopt;
  TChunkedFile file;
  file.Form.assign(b.begin(), b.begin() + 4);
  if (file.Form != "RIFF" && file.Form != "RF64" && file.Form != "BW64") return std::nullopt;
  const bool wide = file.Form != "RIFF";
  file.RiffSize = Get32(b, 4);
  std::uint64_t ds64Data = 0;
  bool consistent = true;
  std::size_t at = 12;
  while (at + 8 <= b.size()) {
    TFileChunk chunk;
    chunk.Id.assign(b.begin() + static_cast<std::ptrdiff_t>(at),
                    b.begin() + static_cast<std::ptrdiff_t>(at + 4));
    chunk.Size = Get32(b, at + 4);
    if (chunk.Id == "ds64" && at == 12 && at + 8 + 16 <= b.size()) {
      const std::uint64_t riff = GetLe64(b.data() + at + 8);
      ds64Data = GetLe64(b.data() + at + 16);
      if (wide && file.RiffSize == 0xFFFFFFFFu) file.RiffSize = riff;
    }
    if (wide && chunk.Id == "data" && chunk.Size == 0xFFFFFFFFu) chunk.Size = ds64Data;
    const std::size_t body = at + 8;
    if (chunk.Size > b.size() - body) {
      consistent = false;
      chunk.Body.assign(b.begin() + static_cast<std::ptrdiff_t>(body), b.end());
      file.Chunks.push_back(std::move(chunk));
      at = b.size();
      break;
    }
    const auto end = body + static_cast<std::size_t>(chunk.Size);
    chunk.Body.assign(b.begin() + static_cast<std::ptrdiff_t>(body),
                      b.begin() + static_cast<std::ptrdiff_t>(end));
    at = end;
    if (chunk.Size % 2 != 0) {
      if (at >= b.size() || b[at] != 0) consistent = false;
      ++at;
    }
    file.Chunks.push_back(std::move(chunk));
  }
  file.Consistent = consistent && at == b.size() && file.RiffSize == b.size() - 8;
  return file;
}

}  // namespace zorv::test
