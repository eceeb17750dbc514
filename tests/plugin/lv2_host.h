// SPDX-License-Identifier: GPL-3.0-or-later
// A minimal LV2 host for the tests and the benchmark: loads the bundle's
// library from the build tree, offers a log and a URI map, and drives one
// instance with buffers for all its ports.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zorv::test {

// The plugin library of the bundle, loaded once per process.
const LV2_Descriptor* FindPlugin(const std::string& uri);
const LV2_Descriptor* PluginAt(std::uint32_t index);

// The host's log and URI map; keeps every message with its type's URI.
class THostFeatures {
 public:
  THostFeatures();
  THostFeatures(const THostFeatures&) = delete;
  THostFeatures& operator=(const THostFeatures&) = delete;

  // With the log (and the map it needs), or none at all.
  const LV2_Feature* const* WithLog() const { return WithLog_; }
  const LV2_Feature* const* None() const { return None_; }

  struct TMessage {
    std::string Type;
    std::string Text;
  };
  std::vector<TMessage> Messages;

 private:
  static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);
  static int Printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...);
  static int Vprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args);

  std::map<std::string, LV2_URID> Ids_;
  std::vector<std::string> Uris_;
  LV2_URID_Map Map_;
  LV2_Log_Log Log_;
  LV2_Feature MapFeature_;
  LV2_Feature LogFeature_;
  const LV2_Feature* WithLog_[3];
  const LV2_Feature* None_[1] = {nullptr};
};

// One instance of the stereo (2) or mono (1) plugin, with its ports
// connected to the buffers below. Run first sizes the audio buffers.
class TPluginInstance {
 public:
  TPluginInstance(std::uint32_t channels, double sampleRate, const LV2_Feature* const* features);
  ~TPluginInstance();
  TPluginInstance(const TPluginInstance&) = delete;
  TPluginInstance& operator=(const TPluginInstance&) = delete;

  bool Instantiated() const { return Handle_ != nullptr; }
  void Activate() { Descriptor_->activate(Handle_); }
  void Deactivate() { Descriptor_->deactivate(Handle_); }
  void Connect(std::uint32_t port, void* data) { Descriptor_->connect_port(Handle_, port, data); }
  // Connects the audio ports to In and Out (resized to frames) and runs.
  void Run(std::uint32_t frames);
  // Runs with the audio ports as they are connected.
  void RunConnected(std::uint32_t frames) { Descriptor_->run(Handle_, frames); }

  // Decodes the whole of in (one vector per channel) in host blocks of
  // block frames; the level port keeps its value.
  std::vector<std::vector<float>> Decode(const std::vector<std::vector<float>>& in,
                                         std::uint32_t block);

  std::uint32_t Channels() const { return Channels_; }
  float Level = -10.0F;
  float Gain[2][4] = {};
  float Latency = -1.0F;
  std::vector<float> In[2];
  std::vector<float> Out[2];

 private:
  const LV2_Descriptor* Descriptor_;
  LV2_Handle Handle_;
  std::uint32_t Channels_;
};

}  // namespace zorv::test
