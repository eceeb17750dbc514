// SPDX-License-Identifier: GPL-3.0-or-later
// A minimal VST3 host for the tests and the benchmark: loads the module of
// the build tree's bundle, makes instances through its factory and drives
// one as a host's threads do: set up, activated, a block at a time with the
// level's parameter changes, its state through memory streams. Process
// allocates nothing.
#pragma once

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/plugin/plugin_test_support.h"

namespace zorv::test {

// The module's factory, loaded once per process.
v3_plugin_factory** Vst3Factory();

// The changes of parameters a host hands over with one block, or receives
// from it: a fixed number of queues and points, so that nothing allocates.
struct TVst3Queue {
  const void* Table;
  v3_param_id Id = 0;
  std::int32_t Count = 0;
  std::int32_t Offsets[64] = {};
  double Values[64] = {};
};
struct TVst3Changes {
  TVst3Changes();
  void Clear() { Count = 0; }
  TVst3Queue* Queue(v3_param_id id);
  const void* Table;
  std::int32_t Count = 0;
  TVst3Queue Queues[16];
};

// Bytes a component reads its state from or writes it to.
struct TVst3Stream {
  TVst3Stream();
  const void* Table;
  std::string Bytes;
  std::size_t Position = 0;
};

class TVst3Plugin {
 public:
  // An instance of the stereo (2) or mono (1) class; set up for sampleRate
  // and activated when the plugin takes the rate (Ready).
  TVst3Plugin(std::uint32_t channels, double sampleRate);
  ~TVst3Plugin();
  TVst3Plugin(const TVst3Plugin&) = delete;
  TVst3Plugin& operator=(const TVst3Plugin&) = delete;

  bool Ready() const { return Ready_; }
  std::uint32_t Channels() const { return Channels_; }

  // One block from in to out; a level point at a frame within the block is
  // a change of the level parameter at that offset. The band gains the
  // plugin reports land in Reported.
  v3_result Process(const float* const* in, float* const* out, std::uint32_t frames,
                    const std::vector<TLevelPoint>& points = {});
  // A parameter's value through the controller, in dB.
  double Value(v3_param_id id);
  std::string State();
  v3_result SetState(const std::string& bytes);

  v3_component** Component = nullptr;
  v3_audio_processor** Processor = nullptr;
  v3_edit_controller** Controller = nullptr;
  double Reported[8] = {};

 private:
  std::uint32_t Channels_;
  bool Ready_ = false;
  TVst3Changes In_;
  TVst3Changes Out_;
};

}  // namespace zorv::test
