// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/plugin/vst3_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "plugin/plugin_uris.h"

namespace zorv::test {
namespace {

v3_result V3_API NoInterface(void*, const v3_tuid, void** object) {
  *object = nullptr;
  return V3_NO_INTERFACE;
}
std::uint32_t V3_API Static(void*) {
  return 1;
}

// Parameter queues.
v3_param_id V3_API QueueId(void* self) {
  return static_cast<TVst3Queue*>(self)->Id;
}
std::int32_t V3_API PointCount(void* self) {
  return static_cast<TVst3Queue*>(self)->Count;
}
v3_result V3_API GetPoint(void* self, std::int32_t index, std::int32_t* offset, double* value) {
  const auto& queue = *static_cast<TVst3Queue*>(self);
  if (index < 0 || index >= queue.Count) return V3_INVALID_ARG;
  *offset = queue.Offsets[index];
  *value = queue.Values[index];
  return V3_OK;
}
v3_result V3_API AddPoint(void* self, std::int32_t offset, double value, std::int32_t* index) {
  auto& queue = *static_cast<TVst3Queue*>(self);
  if (queue.Count == 64) return V3_FALSE;
  queue.Offsets[queue.Count] = offset;
  queue.Values[queue.Count] = value;
  *index = queue.Count++;
  return V3_OK;
}
const v3_param_value_queue_cpp kQueueTable = {{NoInterface, Static, Static},
                                              {QueueId, PointCount, GetPoint, AddPoint}};

std::int32_t V3_API ParamCount(void* self) {
  return static_cast<TVst3Changes*>(self)->Count;
}
v3_param_value_queue** V3_API ParamData(void* self, std::int32_t index) {
  auto& changes = *static_cast<TVst3Changes*>(self);
  if (index < 0 || index >= changes.Count) return nullptr;
  return reinterpret_cast<v3_param_value_queue**>(&changes.Queues[index]);
}
v3_param_value_queue** V3_API AddParamData(void* self, v3_param_id* id, std::int32_t* index) {
  auto& changes = *static_cast<TVst3Changes*>(self);
  TVst3Queue* queue = changes.Queue(*id);
  if (queue == nullptr) return nullptr;
  *index = static_cast<std::int32_t>(queue - changes.Queues);
  return reinterpret_cast<v3_param_value_queue**>(queue);
}
const v3_param_changes_cpp kChangesTable = {{NoInterface, Static, Static},
                                            {ParamCount, ParamData, AddParamData}};

// Streams.
struct TStreamTable : v3_funknown {
  v3_bstream stream;
};
v3_result V3_API Read(void* self, void* buffer, std::int32_t bytes, std::int32_t* read) {
  auto& stream = *static_cast<TVst3Stream*>(self);
  const std::size_t n =
      std::min<std::size_t>(static_cast<std::size_t>(bytes), stream.Bytes.size() - stream.Position);
  std::memcpy(buffer, stream.Bytes.data() + stream.Position, n);
  stream.Position += n;
  if (read != nullptr) *read = static_cast<std::int32_t>(n);
  return V3_OK;
}
v3_result V3_API Write(void* self, void* buffer, std::int32_t bytes, std::int32_t* written) {
  auto& stream = *static_cast<TVst3Stream*>(self);
  stream.Bytes.append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
  if (written != nullptr) *written = bytes;
  return V3_OK;
}
v3_result V3_API Seek(void*, std::int64_t, std::int32_t, std::int64_t*) {
  return V3_NOT_IMPLEMENTED;
}
v3_result V3_API Tell(void* self, std::int64_t* position) {
  *position = static_cast<std::int64_t>(static_cast<TVst3Stream*>(self)->Position);
  return V3_OK;
}
const TStreamTable kStreamTable = {{NoInterface, Static, Static}, {Read, Write, Seek, Tell}};

template <class T>
T** Interface(void* object, const v3_tuid iid) {
  void* found = nullptr;
  auto** unknown = static_cast<v3_funknown**>(object);
  if ((*unknown)->query_interface(object, iid, &found) != V3_OK) return nullptr;
  return static_cast<T**>(found);
}

void Release(void* object) {
  if (object != nullptr) (*static_cast<v3_funknown**>(object))->unref(object);
}

}  // namespace

TVst3Changes::TVst3Changes() : Table(&kChangesTable) {
  for (TVst3Queue& queue : Queues) queue.Table = &kQueueTable;
}

TVst3Queue* TVst3Changes::Queue(v3_param_id id) {
  for (std::int32_t i = 0; i < Count; ++i) {
    if (Queues[i].Id == id) return &Queues[i];
  }
  if (Count == 16) return nullptr;
  Queues[Count].Id = id;
  Queues[Count].Count = 0;
  return &Queues[Count++];
}

TVst3Stream::TVst3Stream() : Table(&kStreamTable) {}

v3_plugin_factory** Vst3Factory() {
  static v3_plugin_factory** factory = [] {
    void* library = dlopen(ZORV_VST3_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) throw std::runtime_error(std::string("cannot load: ") + dlerror());
    using TGet = void* (*)();
    auto* get = reinterpret_cast<TGet>(dlsym(library, "GetPluginFactory"));
    if (get == nullptr) throw std::runtime_error("the module has no GetPluginFactory");
    return static_cast<v3_plugin_factory**>(get());
  }();
  return factory;
}

TVst3Plugin::TVst3Plugin(std::uint32_t channels, double sampleRate) : Channels_(channels) {
  v3_plugin_factory** factory = Vst3Factory();
  void* object = nullptr;
  const v3_result made = v3_cpp_obj(factory)->create_instance(
      factory, channels == 2 ? plugin::kStereoVst3Class : plugin::kMonoVst3Class, v3_component_iid,
      &object);
  if (made != V3_OK || object == nullptr) throw std::runtime_error("no instance");
  Component = static_cast<v3_component**>(object);
  Processor = Interface<v3_audio_processor>(Component, v3_audio_processor_iid);
  Controller = Interface<v3_edit_controller>(Component, v3_edit_controller_iid);
  if (Processor == nullptr || Controller == nullptr) throw std::runtime_error("an interface lacks");
  v3_cpp_obj_initialize(Component, nullptr);
  v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, 16384, sampleRate};
  Ready_ = v3_cpp_obj(Processor)->setup_processing(Processor, &setup) == V3_OK &&
           v3_cpp_obj(Component)->set_active(Component, 1) == V3_OK;
  if (Ready_) v3_cpp_obj(Processor)->set_processing(Processor, 1);
}

TVst3Plugin::~TVst3Plugin() {
  if (Ready_) {
    v3_cpp_obj(Processor)->set_processing(Processor, 0);
    v3_cpp_obj(Component)->set_active(Component, 0);
  }
  v3_cpp_obj_terminate(Component);
  Release(Controller);
  Release(Processor);
  Release(Component);
}

v3_result TVst3Plugin::Process(const float* const* in, float* const* out, std::uint32_t frames,
                               const std::vector<TLevelPoint>& points) {
  In_.Clear();
  Out_.Clear();
  for (const TLevelPoint& point : points) {
    TVst3Queue* queue = In_.Queue(0);
    // The plain value as a host turns it into the normalised one.
    const double normalised =
        v3_cpp_obj(Controller)->plain_parameter_to_normalised(Controller, 0, point.Db);
    std::int32_t index = 0;
    AddPoint(queue, static_cast<std::int32_t>(point.Frame), normalised, &index);
  }
  v3_audio_bus_buffers inBus{static_cast<std::int32_t>(Channels_), 0, {}};
  v3_audio_bus_buffers outBus{static_cast<std::int32_t>(Channels_), 0, {}};
  inBus.channel_buffers_32 = const_cast<float**>(in);
  outBus.channel_buffers_32 = const_cast<float**>(out);
  auto* inChanges = reinterpret_cast<v3_param_changes**>(&In_);
  auto* outChanges = reinterpret_cast<v3_param_changes**>(&Out_);
  v3_process_data data{V3_REALTIME,
                       V3_SAMPLE_32,
                       static_cast<std::int32_t>(frames),
                       1,
                       1,
                       &inBus,
                       &outBus,
                       inChanges,
                       outChanges,
                       nullptr,
                       nullptr,
                       nullptr};
  const v3_result result = v3_cpp_obj(Processor)->process(Processor, &data);
  for (std::int32_t q = 0; q < Out_.Count; ++q) {
    const TVst3Queue& queue = Out_.Queues[q];
    if (queue.Count > 0 && queue.Id >= 1 && queue.Id <= 8) {
      Reported[queue.Id - 1] =
          v3_cpp_obj(Controller)
              ->normalised_parameter_to_plain(Controller, queue.Id, queue.Values[queue.Count - 1]);
    }
  }
  return result;
}

double TVst3Plugin::Value(v3_param_id id) {
  const double normalised = v3_cpp_obj(Controller)->get_parameter_normalised(Controller, id);
  return v3_cpp_obj(Controller)->normalised_parameter_to_plain(Controller, id, normalised);
}

std::string TVst3Plugin::State() {
  TVst3Stream stream;
  auto* handle = reinterpret_cast<v3_bstream**>(&stream);
  if (v3_cpp_obj(Component)->get_state(Component, handle) != V3_OK) return "";
  return stream.Bytes;
}

v3_result TVst3Plugin::SetState(const std::string& bytes) {
  TVst3Stream stream;
  stream.Bytes = bytes;
  auto* handle = reinterpret_cast<v3_bstream**>(&stream);
  return v3_cpp_obj(Component)->set_state(Component, handle);
}

}  // namespace zorv::test
