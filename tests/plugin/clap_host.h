// SPDX-License-Identifier: GPL-3.0-or-later
// A minimal CLAP host for the tests and the benchmark: loads the build
// tree's CLAP file, makes plugins through its factory and drives one as a
// host's threads do: activated, processing a block at a time with the
// level's parameter events, its state through memory streams. Process
// allocates nothing.
#pragma once

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/plugin-factory.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/plugin/plugin_test_support.h"

namespace zorv::test {

// The file's factory, its entry initialised once per process.
const clap_plugin_factory_t* ClapFactory();

// Parameter events handed over with a block (a fixed number, so that
// nothing allocates).
struct TClapEvents {
  std::uint32_t Count = 0;
  clap_event_param_value_t Events[64] = {};
  void Add(std::uint32_t frame, clap_id id, double value);
};

class TClapPlugin {
 public:
  // A plugin of the stereo (2) or mono (1) kind; activated at sampleRate
  // and started when the plugin takes the rate (Ready).
  TClapPlugin(std::uint32_t channels, double sampleRate);
  ~TClapPlugin();
  TClapPlugin(const TClapPlugin&) = delete;
  TClapPlugin& operator=(const TClapPlugin&) = delete;

  bool Ready() const { return Active_; }
  bool Activate(double sampleRate);
  void Deactivate();

  // One block from in to out; a level point at a frame within the block is
  // a parameter event at that time. The band gains the plugin reports land
  // in Reported.
  clap_process_status Process(const float* const* in, float* const* out, std::uint32_t frames,
                              const std::vector<TLevelPoint>& points = {});
  // The level's events outside processing.
  void Flush(double levelDb);
  double Value(clap_id id) const;
  std::string SaveState() const;
  bool LoadState(const std::string& bytes);

  const clap_plugin_t* Plugin = nullptr;
  const clap_plugin_params_t* Params = nullptr;
  const clap_plugin_state_t* State = nullptr;
  const clap_plugin_latency_t* Latency = nullptr;
  const clap_plugin_audio_ports_t* AudioPorts = nullptr;
  double Reported[8] = {};

 private:
  std::uint32_t Channels_;
  bool Active_ = false;
  TClapEvents In_;
  clap_host_t Host_;
};

}  // namespace zorv::test
