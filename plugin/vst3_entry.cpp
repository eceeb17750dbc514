// SPDX-License-Identifier: GPL-3.0-or-later
// The VST3 module: a factory of two classes (stereo and mono, the same
// code). An instance is one object that is the component, the audio
// processor and the edit controller at once, with one level: set in a
// process call's parameter changes (a point at the block's first frame for
// the block, a later one from the next block), on the controller, or by the
// saved state, it is the level of the next block, and the state the host
// saves holds it. process, on the host's audio thread, neither allocates
// nor locks.
#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>

#include <algorithm>
#include <atomic>
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

constexpr std::int32_t kManyInstances = 0x7FFFFFFF;
constexpr std::int32_t kUnicodeFactory = 0x10;
constexpr const char* kCategory = "Audio Module Class";
constexpr const char* kSubCategories = "Fx|Restoration";
constexpr const char* kSdkVersion = "VST 3.7.4";

struct TClass {
  const std::uint8_t* Id;
  const char* Name;
  std::uint32_t Channels;
};
constexpr TClass kClasses[] = {{kStereoVst3Class, kStereoName, 2}, {kMonoVst3Class, kMonoName, 1}};

void CopyText(char* out, std::size_t size, std::string_view text) {
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// The texts are ASCII: one UTF-16 unit per character.
void CopyText(std::int16_t* out, std::size_t size, std::string_view text) {
  const std::size_t n = std::min(text.size(), size - 1);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::int16_t>(text[i]);
  out[n] = 0;
}

std::string AsciiOf(const std::int16_t* text) {
  std::string out;
  for (std::size_t i = 0; i < 128 && text[i] != 0; ++i) {
    out += text[i] > 0 && text[i] < 128 ? static_cast<char>(text[i]) : '?';
  }
  return out;
}

// The speaker arrangement of the bus: mono or left and right.
v3_speaker_arrangement Arrangement(std::uint32_t channels) {
  return channels == 2 ? (V3_SPEAKER_L | V3_SPEAKER_R) : V3_SPEAKER_M;
}

struct TInstance;

// One interface of an instance: the pointer to its function table, as the
// host sees it, and the instance.
struct TFacet {
  const void* Table;
  TInstance* Owner;
};

struct TInstance {
  explicit TInstance(std::uint32_t channels);

  TFacet Component;
  TFacet Processor;
  TFacet Controller;
  std::atomic<std::uint32_t> References{0};
  TParameterPlugin Plugin;
  // Listed in id order; built here so that process reads without allocating.
  std::vector<TParameter> Parameters;
  bool Active = false;
};

TInstance& OwnerOf(void* self) {
  return *static_cast<TFacet*>(self)->Owner;
}

// Reads a state of ours from the host's stream.
bool ReadLevel(v3_bstream** stream, double& level) {
  if (stream == nullptr) return false;
  std::string bytes;
  char chunk[512];
  for (;;) {
    std::int32_t got = 0;
    if (v3_cpp_obj(stream)->read(stream, chunk, sizeof chunk, &got) != V3_OK || got <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(got));
    if (bytes.size() > kMaxStateBytes) return false;
  }
  const std::optional<double> saved = LevelOfState(bytes);
  if (!saved) return false;
  level = *saved;
  return true;
}

// FUnknown, shared by the facets.
v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** object) {
  TInstance& instance = OwnerOf(self);
  TFacet* facet = nullptr;
  if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_base_iid) ||
      v3_tuid_match(iid, v3_component_iid)) {
    facet = &instance.Component;
  } else if (v3_tuid_match(iid, v3_audio_processor_iid)) {
    facet = &instance.Processor;
  } else if (v3_tuid_match(iid, v3_edit_controller_iid)) {
    facet = &instance.Controller;
  }
  if (facet == nullptr) {
    *object = nullptr;
    return V3_NO_INTERFACE;
  }
  instance.References.fetch_add(1);
  *object = facet;
  return V3_OK;
}

std::uint32_t V3_API Ref(void* self) {
  return OwnerOf(self).References.fetch_add(1) + 1;
}

std::uint32_t V3_API Unref(void* self) {
  TInstance* instance = &OwnerOf(self);
  const std::uint32_t left = instance->References.fetch_sub(1) - 1;
  if (left == 0) {
    if (instance->Active) instance->Plugin.Deactivate();
    delete instance;
  }
  return left;
}

v3_result V3_API Initialize(void*, v3_funknown**) {
  return V3_OK;
}

v3_result V3_API Terminate(void*) {
  return V3_OK;
}

// IComponent.
v3_result V3_API GetControllerClassId(void*, v3_tuid id) {
  // The component is its own controller.
  std::memset(id, 0, sizeof(v3_tuid));
  return V3_NOT_IMPLEMENTED;
}

v3_result V3_API SetIoMode(void*, std::int32_t) {
  return V3_OK;
}

std::int32_t V3_API GetBusCount(void*, std::int32_t mediaType, std::int32_t) {
  return mediaType == V3_AUDIO ? 1 : 0;
}

v3_result V3_API GetBusInfo(void* self, std::int32_t mediaType, std::int32_t direction,
                            std::int32_t index, v3_bus_info* info) {
  if (mediaType != V3_AUDIO || index != 0 || info == nullptr) return V3_INVALID_ARG;
  info->media_type = V3_AUDIO;
  info->direction = direction;
  info->channel_count = static_cast<std::int32_t>(OwnerOf(self).Plugin.Channels());
  CopyText(info->bus_name, 128, direction == V3_INPUT ? "Input" : "Output");
  info->bus_type = V3_MAIN;
  info->flags = V3_DEFAULT_ACTIVE;
  return V3_OK;
}

v3_result V3_API GetRoutingInfo(void*, v3_routing_info*, v3_routing_info*) {
  return V3_FALSE;
}

v3_result V3_API ActivateBus(void*, std::int32_t, std::int32_t, std::int32_t, v3_bool) {
  return V3_OK;
}

v3_result V3_API SetActive(void* self, v3_bool state) {
  TInstance& instance = OwnerOf(self);
  if (state != 0) {
    try {
      instance.Plugin.Activate();
    } catch (const std::bad_alloc&) {
      return V3_NOMEM;
    }
    instance.Active = true;
  } else if (instance.Active) {
    instance.Plugin.Deactivate();
    instance.Active = false;
  }
  return V3_OK;
}

v3_result V3_API SetState(void* self, v3_bstream** stream) {
  TInstance& instance = OwnerOf(self);
  double level = 0.0;
  if (!ReadLevel(stream, level)) return V3_FALSE;
  instance.Plugin.SetLevel(level);
  return V3_OK;
}

v3_result V3_API GetState(void* self, v3_bstream** stream) {
  if (stream == nullptr) return V3_INVALID_ARG;
  std::string state = StateOf(OwnerOf(self).Plugin.Level());
  std::int32_t written = 0;
  const v3_result result = v3_cpp_obj(stream)->write(
      stream, state.data(), static_cast<std::int32_t>(state.size()), &written);
  return result == V3_OK && written == static_cast<std::int32_t>(state.size()) ? V3_OK : V3_FALSE;
}

// IAudioProcessor.
v3_result V3_API SetBusArrangements(void* self, v3_speaker_arrangement* inputs,
                                    std::int32_t inputCount, v3_speaker_arrangement* outputs,
                                    std::int32_t outputCount) {
  const v3_speaker_arrangement ours = Arrangement(OwnerOf(self).Plugin.Channels());
  const bool same = inputCount == 1 && outputCount == 1 && inputs != nullptr &&
                    outputs != nullptr && inputs[0] == ours && outputs[0] == ours;
  return same ? V3_OK : V3_FALSE;
}

v3_result V3_API GetBusArrangement(void* self, std::int32_t, std::int32_t index,
                                   v3_speaker_arrangement* arrangement) {
  if (index != 0 || arrangement == nullptr) return V3_INVALID_ARG;
  *arrangement = Arrangement(OwnerOf(self).Plugin.Channels());
  return V3_OK;
}

v3_result V3_API CanProcessSampleSize(void*, std::int32_t size) {
  return size == V3_SAMPLE_32 ? V3_OK : V3_FALSE;
}

std::uint32_t V3_API GetLatencySamples(void*) {
  return kLatencyFrames;
}

v3_result V3_API SetupProcessing(void* self, v3_process_setup* setup) {
  if (setup == nullptr || setup->symbolic_sample_size != V3_SAMPLE_32) return V3_FALSE;
  std::string refusal;
  try {
    if (!OwnerOf(self).Plugin.SetSampleRate(setup->sample_rate, refusal)) {
      std::fprintf(stderr, "%s\n", refusal.c_str());
      return V3_FALSE;
    }
  } catch (const std::bad_alloc&) {
    return V3_NOMEM;
  }
  return V3_OK;
}

v3_result V3_API SetProcessing(void*, v3_bool) {
  return V3_OK;
}

// The level's changes of this call: a point at frame 0 applies to this
// block, a later one from the next.
TLevelChanges LevelChanges(const TInstance& instance, v3_param_changes** changes) {
  TLevelChanges levels;
  if (changes == nullptr) return levels;
  const std::int32_t count = v3_cpp_obj(changes)->get_param_count(changes);
  for (std::int32_t i = 0; i < count; ++i) {
    v3_param_value_queue** queue = v3_cpp_obj(changes)->get_param_data(changes, i);
    if (queue == nullptr || v3_cpp_obj(queue)->get_param_id(queue) != kLevelId) continue;
    const std::int32_t points = v3_cpp_obj(queue)->get_point_count(queue);
    for (std::int32_t p = 0; p < points; ++p) {
      std::int32_t offset = 0;
      double value = 0.0;
      if (v3_cpp_obj(queue)->get_point(queue, p, &offset, &value) != V3_OK) continue;
      levels.Add(offset > 0 ? static_cast<std::uint32_t>(offset) : 0,
                 ValueOfNormalised(instance.Parameters[kLevelId], value));
    }
  }
  return levels;
}

bool BusFits(const v3_audio_bus_buffers* buses, std::int32_t count, std::uint32_t channels) {
  if (buses == nullptr || count < 1 || buses[0].num_channels != static_cast<int>(channels) ||
      buses[0].channel_buffers_32 == nullptr) {
    return false;
  }
  for (std::uint32_t c = 0; c < channels; ++c) {
    if (buses[0].channel_buffers_32[c] == nullptr) return false;
  }
  return true;
}

v3_result V3_API Process(void* self, v3_process_data* data) {
  TInstance& instance = OwnerOf(self);
  if (data == nullptr) return V3_INVALID_ARG;
  const TLevelChanges levels = LevelChanges(instance, data->input_params);
  const std::uint32_t channels = instance.Plugin.Channels();
  const bool audio = data->nframes > 0;
  if (audio && (data->symbolic_sample_size != V3_SAMPLE_32 ||
                !BusFits(data->inputs, data->num_input_buses, channels) ||
                !BusFits(data->outputs, data->num_output_buses, channels))) {
    instance.Plugin.Process(nullptr, nullptr, 0, levels);
    return V3_INVALID_ARG;
  }
  instance.Plugin.Process(audio ? data->inputs[0].channel_buffers_32 : nullptr,
                          audio ? data->outputs[0].channel_buffers_32 : nullptr,
                          audio ? static_cast<std::uint32_t>(data->nframes) : 0, levels);
  if (audio) data->outputs[0].channel_silence_bitset = 0;
  v3_param_changes** out = data->output_params;
  if (out != nullptr) {
    instance.Plugin.ReportChangedGains([&](std::uint32_t id, double gainDb) {
      v3_param_id parameter = id;
      std::int32_t index = 0;
      v3_param_value_queue** queue = v3_cpp_obj(out)->add_param_data(out, &parameter, &index);
      if (queue != nullptr) {
        v3_cpp_obj(queue)->add_point(queue, 0, Normalised(instance.Parameters[id], gainDb), &index);
      }
    });
  }
  return V3_OK;
}

std::uint32_t V3_API GetTailSamples(void*) {
  return 0;
}

// IEditController. The component's state is the controller's.
v3_result V3_API SetComponentState(void* self, v3_bstream** stream) {
  return SetState(self, stream);
}

// The controller keeps nothing of its own.
v3_result V3_API SetControllerState(void*, v3_bstream**) {
  return V3_OK;
}

v3_result V3_API GetControllerState(void*, v3_bstream**) {
  return V3_OK;
}

std::int32_t V3_API GetParameterCount(void* self) {
  return static_cast<std::int32_t>(OwnerOf(self).Parameters.size());
}

const TParameter* ParameterAt(void* self, v3_param_id id) {
  const std::vector<TParameter>& parameters = OwnerOf(self).Parameters;
  return id < parameters.size() ? &parameters[id] : nullptr;
}

v3_result V3_API GetParameterInfo(void* self, std::int32_t index, v3_param_info* info) {
  const TParameter* parameter =
      index >= 0 ? ParameterAt(self, static_cast<v3_param_id>(index)) : nullptr;
  if (parameter == nullptr || info == nullptr) return V3_INVALID_ARG;
  info->param_id = parameter->Id;
  CopyText(info->title, 128, parameter->Name);
  CopyText(info->short_title, 128, parameter->ShortName);
  CopyText(info->units, 128, "dB");
  info->step_count = static_cast<std::int32_t>(parameter->Steps);
  info->default_normalised_value = Normalised(*parameter, parameter->Default);
  info->unit_id = 0;
  info->flags = parameter->ReadOnly ? V3_PARAM_READ_ONLY : V3_PARAM_CAN_AUTOMATE;
  return V3_OK;
}

v3_result V3_API GetParameterStringForValue(void* self, v3_param_id id, double normalised,
                                            v3_str_128 output) {
  const TParameter* parameter = ParameterAt(self, id);
  if (parameter == nullptr) return V3_INVALID_ARG;
  char text[32];
  ValueText(ValueOfNormalised(*parameter, normalised), text, sizeof text);
  CopyText(output, 128, text);
  return V3_OK;
}

v3_result V3_API GetParameterValueForString(void* self, v3_param_id id, std::int16_t* input,
                                            double* output) {
  const TParameter* parameter = ParameterAt(self, id);
  if (parameter == nullptr || input == nullptr || output == nullptr) return V3_INVALID_ARG;
  const std::optional<double> value = ValueOfText(AsciiOf(input));
  if (!value) return V3_FALSE;
  *output = Normalised(*parameter, *value);
  return V3_OK;
}

double V3_API NormalisedToPlain(void* self, v3_param_id id, double normalised) {
  const TParameter* parameter = ParameterAt(self, id);
  return parameter != nullptr ? ValueOfNormalised(*parameter, normalised) : 0.0;
}

double V3_API PlainToNormalised(void* self, v3_param_id id, double plain) {
  const TParameter* parameter = ParameterAt(self, id);
  return parameter != nullptr ? Normalised(*parameter, plain) : 0.0;
}

double V3_API GetParameterNormalised(void* self, v3_param_id id) {
  const TParameter* parameter = ParameterAt(self, id);
  if (parameter == nullptr) return 0.0;
  return Normalised(*parameter, OwnerOf(self).Plugin.Value(id));
}

v3_result V3_API SetParameterNormalised(void* self, v3_param_id id, double normalised) {
  const TParameter* parameter = ParameterAt(self, id);
  if (parameter == nullptr || parameter->ReadOnly) return V3_FALSE;
  OwnerOf(self).Plugin.SetLevel(ValueOfNormalised(*parameter, normalised));
  return V3_OK;
}

v3_result V3_API SetComponentHandler(void*, v3_component_handler**) {
  return V3_OK;
}

v3_plugin_view** V3_API CreateView(void*, const char*) {
  return nullptr;
}

const v3_component_cpp kComponentTable = {
    {QueryInterface, Ref, Unref},
    {Initialize, Terminate},
    {GetControllerClassId, SetIoMode, GetBusCount, GetBusInfo, GetRoutingInfo, ActivateBus,
     SetActive, SetState, GetState}};

const v3_audio_processor_cpp kProcessorTable = {
    {QueryInterface, Ref, Unref},
    {SetBusArrangements, GetBusArrangement, CanProcessSampleSize, GetLatencySamples,
     SetupProcessing, SetProcessing, Process, GetTailSamples}};

const v3_edit_controller_cpp kControllerTable = {
    {QueryInterface, Ref, Unref},
    {Initialize, Terminate},
    {SetComponentState, SetControllerState, GetControllerState, GetParameterCount, GetParameterInfo,
     GetParameterStringForValue, GetParameterValueForString, NormalisedToPlain, PlainToNormalised,
     GetParameterNormalised, SetParameterNormalised, SetComponentHandler, CreateView}};

TInstance::TInstance(std::uint32_t channels)
    : Component{&kComponentTable, this},
      Processor{&kProcessorTable, this},
      Controller{&kControllerTable, this},
      Plugin(channels) {
  for (std::uint32_t id = 0; id < ParameterCount(channels); ++id) {
    Parameters.push_back(*plugin::ParameterOf(channels, id));
  }
}

// The factory: one object for the module's lifetime.
v3_result V3_API FactoryQueryInterface(void* self, const v3_tuid iid, void** object) {
  if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_factory_iid) ||
      v3_tuid_match(iid, v3_plugin_factory_2_iid) || v3_tuid_match(iid, v3_plugin_factory_3_iid)) {
    *object = self;
    return V3_OK;
  }
  *object = nullptr;
  return V3_NO_INTERFACE;
}

std::uint32_t V3_API FactoryReference(void*) {
  return 1;
}

v3_result V3_API GetFactoryInfo(void*, v3_factory_info* info) {
  if (info == nullptr) return V3_INVALID_ARG;
  CopyText(info->vendor, sizeof info->vendor, kMaker);
  CopyText(info->url, sizeof info->url, kHomepage);
  CopyText(info->email, sizeof info->email, kMakerEmail);
  info->flags = kUnicodeFactory;
  return V3_OK;
}

std::int32_t V3_API ClassCount(void*) {
  return static_cast<std::int32_t>(std::size(kClasses));
}

const TClass* ClassAt(std::int32_t index) {
  return index >= 0 && index < ClassCount(nullptr) ? &kClasses[index] : nullptr;
}

// The class's entries, in the character type of each version of the
// factory's class info.
template <class TInfo>
void FillClassInfo(const TClass& c, TInfo& info) {
  std::memcpy(info.class_id, c.Id, sizeof(v3_tuid));
  info.cardinality = kManyInstances;
  CopyText(info.category, std::size(info.category), kCategory);
  CopyText(info.name, std::size(info.name), c.Name);
}

template <class TInfo>
void FillClassDetails(const TClass& c, TInfo& info) {
  FillClassInfo(c, info);
  info.class_flags = 0;
  CopyText(info.sub_categories, std::size(info.sub_categories), kSubCategories);
  CopyText(info.vendor, std::size(info.vendor), kMaker);
  CopyText(info.version, std::size(info.version), ZORV_VERSION_TEXT);
  CopyText(info.sdk_version, std::size(info.sdk_version), kSdkVersion);
}

v3_result V3_API GetClassInfo(void*, std::int32_t index, v3_class_info* info) {
  const TClass* c = ClassAt(index);
  if (c == nullptr || info == nullptr) return V3_INVALID_ARG;
  FillClassInfo(*c, *info);
  return V3_OK;
}

v3_result V3_API GetClassInfo2(void*, std::int32_t index, v3_class_info_2* info) {
  const TClass* c = ClassAt(index);
  if (c == nullptr || info == nullptr) return V3_INVALID_ARG;
  FillClassDetails(*c, *info);
  return V3_OK;
}

v3_result V3_API GetClassInfoUtf16(void*, std::int32_t index, v3_class_info_3* info) {
  const TClass* c = ClassAt(index);
  if (c == nullptr || info == nullptr) return V3_INVALID_ARG;
  FillClassDetails(*c, *info);
  return V3_OK;
}

v3_result V3_API CreateInstance(void*, const v3_tuid classId, const v3_tuid iid, void** object) {
  *object = nullptr;
  for (const TClass& c : kClasses) {
    if (!v3_tuid_match(classId, c.Id)) continue;
    TInstance* instance = nullptr;
    try {
      instance = new TInstance(c.Channels);
    } catch (const std::bad_alloc&) {
      return V3_NOMEM;
    }
    const v3_result result = QueryInterface(&instance->Component, iid, object);
    if (result != V3_OK) delete instance;
    return result;
  }
  return V3_NO_INTERFACE;
}

v3_result V3_API SetHostContext(void*, v3_funknown**) {
  return V3_OK;
}

const v3_plugin_factory_cpp kFactoryTable = {
    {FactoryQueryInterface, FactoryReference, FactoryReference},
    {GetFactoryInfo, ClassCount, GetClassInfo, CreateInstance},
    {GetClassInfo2},
    {GetClassInfoUtf16, SetHostContext}};

struct TFactory {
  const v3_plugin_factory_cpp* Table;
};
TFactory factory{&kFactoryTable};

}  // namespace
}  // namespace zorv::plugin

#define ZORV_EXPORT extern "C" __attribute__((visibility("default")))

ZORV_EXPORT void* GetPluginFactory() {
  return &zorv::plugin::factory;
}

// A Linux module's entry and exit: nothing to set up or tear down.
ZORV_EXPORT bool ModuleEntry(void*) {
  return true;
}

ZORV_EXPORT bool ModuleExit() {
  return true;
}
