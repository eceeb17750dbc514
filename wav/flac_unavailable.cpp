// SPDX-License-Identifier: GPL-3.0-or-later
// A build without libFLAC (WebAssembly): a FLAC file is recognised by its
// first bytes and refused with the reason; no FLAC output is made.
#include "wav/flac_sink.h"
#include "wav/flac_source.h"

namespace zorv {

bool IsFlacStart(const std::uint8_t* bytes, std::size_t n) {
  return n >= 4 && bytes[0] == 'f' && bytes[1] == 'L' && bytes[2] == 'a' && bytes[3] == 'C';
}

struct TFlacSource::TDecoder {};
struct TFlacSink::TEncoder {};

std::unique_ptr<TFlacSource> TFlacSource::Open(std::unique_ptr<TByteSource> source,
                                               std::string& problem, bool& readFailed) {
  (void)source;
  readFailed = false;
  problem = "this build of the decoder reads no FLAC files; decode it as WAV";
  return nullptr;
}

TFlacSource::~TFlacSource() = default;

std::size_t TFlacSource::Read(void* destination, std::size_t n) {
  (void)destination;
  (void)n;
  return 0;
}

bool TFlacSource::Seek(std::uint64_t position) {
  (void)position;
  return false;
}

std::uint64_t TFlacSource::Size() const {
  return 0;
}

bool TFlacSource::Seekable() const {
  return false;
}

std::unique_ptr<TFlacSink> TFlacSink::Create(std::unique_ptr<TByteSink> target) {
  (void)target;
  return nullptr;
}

TFlacSink::~TFlacSink() = default;

std::size_t TFlacSink::Write(const void* data, std::size_t n) {
  (void)data;
  (void)n;
  return 0;
}

std::size_t TFlacSink::WriteSamples(const void* data, std::size_t n) {
  (void)data;
  (void)n;
  return 0;
}

bool TFlacSink::Seek(std::uint64_t position) {
  (void)position;
  return false;
}

bool TFlacSink::Close() {
  return false;
}

TByteSink::TRoom TFlacSink::MakeRoom(std::uint64_t position, std::uint64_t n) {
  (void)position;
  (void)n;
  return TRoom::Refused;
}

}  // namespace zorv
