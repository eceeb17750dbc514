// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/plugin/clap_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "plugin/plugin_uris.h"

namespace zorv::test {
namespace {

const void* NoExtension(const clap_host_t*, const char*) {
  return nullptr;
}
void Nothing(const clap_host_t*) {}

std::uint32_t EventCount(const clap_input_events_t* list) {
  return static_cast<const TClapEvents*>(list->ctx)->Count;
}
const clap_event_header_t* EventAt(const clap_input_events_t* list, std::uint32_t index) {
  const auto& events = *static_cast<const TClapEvents*>(list->ctx);
  return index < events.Count ? &events.Events[index].header : nullptr;
}

// What the plugin reports: the latest value of each band gain.
bool Push(const clap_output_events_t* list, const clap_event_header_t* header) {
  auto* reported = static_cast<double*>(list->ctx);
  if (header->type == CLAP_EVENT_PARAM_VALUE) {
    const auto* event = reinterpret_cast<const clap_event_param_value_t*>(header);
    if (event->param_id >= 1 && event->param_id <= 8) reported[event->param_id - 1] = event->value;
  }
  return true;
}

struct TBytes {
  std::string Data;
  std::size_t Position = 0;
};
std::int64_t Write(const clap_ostream_t* stream, const void* buffer, std::uint64_t size) {
  // A few bytes at a time, as a host's stream may take them.
  const std::size_t n = std::min<std::uint64_t>(size, 7);
  static_cast<TBytes*>(stream->ctx)->Data.append(static_cast<const char*>(buffer), n);
  return static_cast<std::int64_t>(n);
}
std::int64_t Read(const clap_istream_t* stream, void* buffer, std::uint64_t size) {
  auto& bytes = *static_cast<TBytes*>(stream->ctx);
  const std::size_t n = std::min<std::size_t>({size, bytes.Data.size() - bytes.Position, 5});
  std::memcpy(buffer, bytes.Data.data() + bytes.Position, n);
  bytes.Position += n;
  return static_cast<std::int64_t>(n);
}

}  // namespace

void TClapEvents::Add(std::uint32_t frame, clap_id id, double value) {
  clap_event_param_value_t& event = Events[Count++];
  event = {};
  event.header = {sizeof event, frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  event.param_id = id;
  event.note_id = -1;
  event.port_index = -1;
  event.channel = -1;
  event.key = -1;
  event.value = value;
}

const clap_plugin_factory_t* ClapFactory() {
  static const clap_plugin_factory_t* factory = [] {
    void* library = dlopen(ZORV_CLAP_FILE, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) throw std::runtime_error(std::string("cannot load: ") + dlerror());
    const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
    if (entry == nullptr || !entry->init(ZORV_CLAP_FILE)) {
      throw std::runtime_error("the file has no working clap_entry");
    }
    return static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
  }();
  return factory;
}

TClapPlugin::TClapPlugin(std::uint32_t channels, double sampleRate)
    : Channels_(channels), Host_{CLAP_VERSION_INIT, this,    "zorv tests", "",     "", "",
                                 NoExtension,       Nothing, Nothing,      Nothing} {
  const clap_plugin_factory_t* factory = ClapFactory();
  Plugin = factory->create_plugin(factory, &Host_,
                                  channels == 2 ? plugin::kStereoClapId : plugin::kMonoClapId);
  if (Plugin == nullptr || !Plugin->init(Plugin)) throw std::runtime_error("no plugin");
  Params = static_cast<const clap_plugin_params_t*>(Plugin->get_extension(Plugin, CLAP_EXT_PARAMS));
  State = static_cast<const clap_plugin_state_t*>(Plugin->get_extension(Plugin, CLAP_EXT_STATE));
  Latency =
      static_cast<const clap_plugin_latency_t*>(Plugin->get_extension(Plugin, CLAP_EXT_LATENCY));
  AudioPorts = static_cast<const clap_plugin_audio_ports_t*>(
      Plugin->get_extension(Plugin, CLAP_EXT_AUDIO_PORTS));
  if (Params == nullptr || State == nullptr || Latency == nullptr || AudioPorts == nullptr) {
    throw std::runtime_error("an extension lacks");
  }
  Activate(sampleRate);
}

TClapPlugin::~TClapPlugin() {
  Deactivate();
  Plugin->destroy(Plugin);
}

bool TClapPlugin::Activate(double sampleRate) {
  Active_ = Plugin->activate(Plugin, sampleRate, 1, 16384);
  if (Active_) Plugin->start_processing(Plugin);
  return Active_;
}

void TClapPlugin::Deactivate() {
  if (!Active_) return;
  Plugin->stop_processing(Plugin);
  Plugin->deactivate(Plugin);
  Active_ = false;
}

clap_process_status TClapPlugin::Process(const float* const* in, float* const* out,
                                         std::uint32_t frames,
                                         const std::vector<TLevelPoint>& points) {
  In_.Count = 0;
  for (const TLevelPoint& point : points) In_.Add(point.Frame, 0, point.Db);
  clap_audio_buffer_t input{const_cast<float**>(in), nullptr, Channels_, 0, 0};
  clap_audio_buffer_t output{const_cast<float**>(out), nullptr, Channels_, 0, 0};
  const clap_input_events_t events{&In_, EventCount, EventAt};
  const clap_output_events_t reports{Reported, Push};
  const clap_process_t process{-1, frames, nullptr, &input, &output, 1, 1, &events, &reports};
  return Plugin->process(Plugin, &process);
}

void TClapPlugin::Flush(double levelDb) {
  TClapEvents flush;
  flush.Add(0, 0, levelDb);
  const clap_input_events_t events{&flush, EventCount, EventAt};
  const clap_output_events_t reports{Reported, Push};
  Params->flush(Plugin, &events, &reports);
}

double TClapPlugin::Value(clap_id id) const {
  double value = -1000.0;
  Params->get_value(Plugin, id, &value);
  return value;
}

std::string TClapPlugin::SaveState() const {
  TBytes bytes;
  const clap_ostream_t stream{&bytes, Write};
  return State->save(Plugin, &stream) ? bytes.Data : "";
}

bool TClapPlugin::LoadState(const std::string& data) {
  TBytes bytes{data, 0};
  const clap_istream_t stream{&bytes, Read};
  return State->load(Plugin, &stream);
}

}  // namespace zorv::test
