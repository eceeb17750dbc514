// SPDX-License-Identifier: GPL-3.0-or-later
// The CLAP file: a factory of two plugins (stereo and mono, the same code)
// with their audio ports, parameters, state and latency. The level comes
// from the parameter events of each process call (one at the block's first
// frame applies to it, a later one from the next block) or from a flush
// outside processing; the band gains go back as parameter events. process,
// on the host's audio thread, neither allocates nor locks.
#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/plugin-factory.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/parameter_plugin.h"
#include "plugin/plugin_parameters.h"
#include "plugin/plugin_uris.h"
#include "zorv_version.h"

namespace zorv::plugin {
namespace {

const char* kStereoFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_RESTORATION,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};
const char* kMonoFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_RESTORATION,
                               CLAP_PLUGIN_FEATURE_MONO, nullptr};

const clap_plugin_descriptor_t kDescriptors[] = {
    {CLAP_VERSION_INIT, kStereoClapId, kStereoName, kMaker, kHomepage, kHomepage, kHomepage,
     ZORV_VERSION_TEXT, kDescription, kStereoFeatures},
    {CLAP_VERSION_INIT, kMonoClapId, kMonoName, kMaker, kHomepage, kHomepage, kHomepage,
     ZORV_VERSION_TEXT, kDescription, kMonoFeatures},
};

struct TInstance {
  TInstance(const clap_plugin_descriptor_t* descriptor, std::uint32_t channels);

  clap_plugin_t Clap;
  TParameterPlugin Plugin;
  // Listed in id order; built here so that process reads without allocating.
  std::vector<TParameter> Parameters;
  bool Active = false;
};

TInstance& InstanceOf(const clap_plugin_t* plugin) {
  return *static_cast<TInstance*>(plugin->plugin_data);
}

const clap_event_param_value_t* LevelEvent(const clap_event_header_t* header) {
  if (header == nullptr || header->space_id != CLAP_CORE_EVENT_SPACE_ID ||
      header->type != CLAP_EVENT_PARAM_VALUE) {
    return nullptr;
  }
  const auto* event = reinterpret_cast<const clap_event_param_value_t*>(header);
  return event->param_id == kLevelId ? event : nullptr;
}

bool Init(const clap_plugin_t*) {
  return true;
}

void Destroy(const clap_plugin_t* plugin) {
  TInstance* instance = &InstanceOf(plugin);
  if (instance->Active) instance->Plugin.Deactivate();
  delete instance;
}

bool Activate(const clap_plugin_t* plugin, double sampleRate, std::uint32_t, std::uint32_t) {
  TInstance& instance = InstanceOf(plugin);
  try {
    std::string refusal;
    if (!instance.Plugin.SetSampleRate(sampleRate, refusal)) {
      std::fprintf(stderr, "%s\n", refusal.c_str());
      return false;
    }
    instance.Plugin.Activate();
  } catch (const std::bad_alloc&) {
    return false;
  }
  instance.Active = true;
  return true;
}

void Deactivate(const clap_plugin_t* plugin) {
  TInstance& instance = InstanceOf(plugin);
  if (!instance.Active) return;
  instance.Plugin.Deactivate();
  instance.Active = false;
}

bool StartProcessing(const clap_plugin_t*) {
  return true;
}

void StopProcessing(const clap_plugin_t*) {}

void Reset(const clap_plugin_t* plugin) {
  InstanceOf(plugin).Plugin.Reset();
}

bool BufferFits(const clap_audio_buffer_t* buffers, std::uint32_t count, std::uint32_t channels) {
  if (buffers == nullptr || count < 1 || buffers[0].channel_count != channels ||
      buffers[0].data32 == nullptr) {
    return false;
  }
  for (std::uint32_t c = 0; c < channels; ++c) {
    if (buffers[0].data32[c] == nullptr) return false;
  }
  return true;
}

clap_process_status Process(const clap_plugin_t* plugin, const clap_process_t* process) {
  TInstance& instance = InstanceOf(plugin);
  TLevelChanges levels;
  const clap_input_events_t* in = process->in_events;
  const std::uint32_t events = in != nullptr ? in->size(in) : 0;
  for (std::uint32_t i = 0; i < events; ++i) {
    if (const clap_event_param_value_t* event = LevelEvent(in->get(in, i))) {
      levels.Add(event->header.time, event->value);
    }
  }
  const std::uint32_t channels = instance.Plugin.Channels();
  const std::uint32_t frames = process->frames_count;
  if (frames > 0 && (!BufferFits(process->audio_inputs, process->audio_inputs_count, channels) ||
                     !BufferFits(process->audio_outputs, process->audio_outputs_count, channels))) {
    instance.Plugin.Process(nullptr, nullptr, 0, levels);
    return CLAP_PROCESS_ERROR;
  }
  instance.Plugin.Process(frames > 0 ? process->audio_inputs[0].data32 : nullptr,
                          frames > 0 ? process->audio_outputs[0].data32 : nullptr, frames, levels);
  if (frames > 0) process->audio_outputs[0].constant_mask = 0;
  const clap_output_events_t* out = process->out_events;
  if (out != nullptr) {
    instance.Plugin.ReportChangedGains([out](std::uint32_t id, double gainDb) {
      clap_event_param_value_t event{};
      event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
      event.param_id = id;
      event.note_id = -1;
      event.port_index = -1;
      event.channel = -1;
      event.key = -1;
      event.value = gainDb;
      out->try_push(out, &event.header);
    });
  }
  return CLAP_PROCESS_CONTINUE;
}

// Audio ports: one in, one out, which may be the same buffers.
std::uint32_t AudioPortCount(const clap_plugin_t*, bool) {
  return 1;
}

bool AudioPortInfo(const clap_plugin_t* plugin, std::uint32_t index, bool input,
                   clap_audio_port_info_t* info) {
  if (index != 0 || info == nullptr) return false;
  const std::uint32_t channels = InstanceOf(plugin).Plugin.Channels();
  info->id = 0;
  std::snprintf(info->name, sizeof info->name, "%s", input ? "Input" : "Output");
  info->flags = CLAP_AUDIO_PORT_IS_MAIN;
  info->channel_count = channels;
  info->port_type = channels == 2 ? CLAP_PORT_STEREO : CLAP_PORT_MONO;
  info->in_place_pair = 0;
  return true;
}

// Parameters.
std::uint32_t CountParameters(const clap_plugin_t* plugin) {
  return static_cast<std::uint32_t>(InstanceOf(plugin).Parameters.size());
}

const TParameter* ParameterAt(const clap_plugin_t* plugin, clap_id id) {
  const std::vector<TParameter>& parameters = InstanceOf(plugin).Parameters;
  return id < parameters.size() ? &parameters[id] : nullptr;
}

bool ParameterInfo(const clap_plugin_t* plugin, std::uint32_t index, clap_param_info_t* info) {
  const TParameter* parameter = ParameterAt(plugin, index);
  if (parameter == nullptr || info == nullptr) return false;
  info->id = parameter->Id;
  info->flags = parameter->ReadOnly ? CLAP_PARAM_IS_READONLY : CLAP_PARAM_IS_AUTOMATABLE;
  info->cookie = nullptr;
  std::snprintf(info->name, sizeof info->name, "%s", parameter->Name.c_str());
  info->module[0] = '\0';
  info->min_value = parameter->Min;
  info->max_value = parameter->Max;
  info->default_value = parameter->Default;
  return true;
}

bool ParameterValue(const clap_plugin_t* plugin, clap_id id, double* value) {
  if (ParameterAt(plugin, id) == nullptr || value == nullptr) return false;
  *value = InstanceOf(plugin).Plugin.Value(id);
  return true;
}

bool ValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* display,
                 std::uint32_t size) {
  if (ParameterAt(plugin, id) == nullptr || display == nullptr || size < 8) return false;
  char number[32];
  ValueText(value, number, sizeof number);
  std::snprintf(display, size, "%s dB", number);
  return true;
}

bool TextToValue(const clap_plugin_t* plugin, clap_id id, const char* display, double* value) {
  if (ParameterAt(plugin, id) == nullptr || display == nullptr || value == nullptr) return false;
  const std::optional<double> parsed = ValueOfText(display);
  if (!parsed) return false;
  *value = *parsed;
  return true;
}

// Parameter events outside processing: the level applies from the next block.
void Flush(const clap_plugin_t* plugin, const clap_input_events_t* in,
           const clap_output_events_t*) {
  const std::uint32_t events = in != nullptr ? in->size(in) : 0;
  for (std::uint32_t i = 0; i < events; ++i) {
    if (const clap_event_param_value_t* event = LevelEvent(in->get(in, i))) {
      InstanceOf(plugin).Plugin.SetLevel(event->value);
    }
  }
}

// State: the level, in the bytes every format saves.
bool SaveState(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
  const std::string state = StateOf(InstanceOf(plugin).Plugin.Level());
  for (std::size_t done = 0; done < state.size();) {
    const std::int64_t written = stream->write(stream, state.data() + done, state.size() - done);
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

bool LoadState(const clap_plugin_t* plugin, const clap_istream_t* stream) {
  std::string bytes;
  char chunk[512];
  for (;;) {
    const std::int64_t got = stream->read(stream, chunk, sizeof chunk);
    if (got < 0) return false;
    if (got == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(got));
    if (bytes.size() > kMaxStateBytes) return false;
  }
  const std::optional<double> level = LevelOfState(bytes);
  if (!level) return false;
  InstanceOf(plugin).Plugin.SetLevel(*level);
  return true;
}

std::uint32_t Latency(const clap_plugin_t*) {
  return kLatencyFrames;
}

const clap_plugin_audio_ports_t kAudioPorts = {AudioPortCount, AudioPortInfo};
const clap_plugin_params_t kParams = {CountParameters, ParameterInfo, ParameterValue,
                                      ValueToText,     TextToValue,   Flush};
const clap_plugin_state_t kState = {SaveState, LoadState};
const clap_plugin_latency_t kLatency = {Latency};

const void* Extension(const clap_plugin_t*, const char* id) {
  if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPorts;
  if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
  if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
  if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatency;
  return nullptr;
}

void OnMainThread(const clap_plugin_t*) {}

TInstance::TInstance(const clap_plugin_descriptor_t* descriptor, std::uint32_t channels)
    : Clap{descriptor,      this,           Init,  Destroy, Activate,  Deactivate,
           StartProcessing, StopProcessing, Reset, Process, Extension, OnMainThread},
      Plugin(channels) {
  for (std::uint32_t id = 0; id < plugin::ParameterCount(channels); ++id) {
    Parameters.push_back(*ParameterOf(channels, id));
  }
}

// The factory.
std::uint32_t PluginCount(const clap_plugin_factory_t*) {
  return static_cast<std::uint32_t>(std::size(kDescriptors));
}

const clap_plugin_descriptor_t* Descriptor(const clap_plugin_factory_t*, std::uint32_t index) {
  return index < std::size(kDescriptors) ? &kDescriptors[index] : nullptr;
}

const clap_plugin_t* CreatePlugin(const clap_plugin_factory_t*, const clap_host_t* host,
                                  const char* id) {
  if (host == nullptr || id == nullptr || !clap_version_is_compatible(host->clap_version)) {
    return nullptr;
  }
  for (const clap_plugin_descriptor_t& descriptor : kDescriptors) {
    if (std::strcmp(id, descriptor.id) != 0) continue;
    try {
      const std::uint32_t channels = &descriptor == &kDescriptors[0] ? 2 : 1;
      return &(new TInstance(&descriptor, channels))->Clap;
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return nullptr;
}

const clap_plugin_factory_t kFactory = {PluginCount, Descriptor, CreatePlugin};

bool EntryInit(const char*) {
  return true;
}

void EntryDeinit() {}

const void* Factory(const char* id) {
  return std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

}  // namespace
}  // namespace zorv::plugin

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION_INIT, zorv::plugin::EntryInit, zorv::plugin::EntryDeinit, zorv::plugin::Factory};
