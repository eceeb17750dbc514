// SPDX-License-Identifier: GPL-3.0-or-later
// The bundle's entry points: the two plugin descriptors (stereo and mono, the
// same code) and the calls a host makes on an instance.
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "app/input_faults.h"
#include "plugin/decoder_plugin.h"
#include "plugin/plugin_arithmetic.h"
#include "plugin/plugin_uris.h"

namespace zorv::plugin {
namespace {

// The host's log where it offers one (with the URI map it needs), else the
// standard error stream.
LV2_Log_Logger LoggerOf(const LV2_Feature* const* features) {
  LV2_Log_Log* log = nullptr;
  LV2_URID_Map* map = nullptr;
  for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
    if (std::strcmp(features[i]->URI, LV2_LOG__log) == 0) {
      log = static_cast<LV2_Log_Log*>(features[i]->data);
    } else if (std::strcmp(features[i]->URI, LV2_URID__map) == 0) {
      map = static_cast<LV2_URID_Map*>(features[i]->data);
    }
  }
  LV2_Log_Logger logger;
  lv2_log_logger_init(&logger, map, map != nullptr ? log : nullptr);
  return logger;
}

void LogError(const LV2_Feature* const* features, const std::string& text) {
  LV2_Log_Logger logger = LoggerOf(features);
  lv2_log_error(&logger, "%s\n", text.c_str());
}

// An instance and the host's log, which stays valid until the cleanup.
struct TInstance {
  std::unique_ptr<TDecoderPlugin> Plugin;
  LV2_Log_Logger Logger;
  bool Active = false;

  // What run changed in the input since the activation, told once, outside
  // run (which must not allocate or wait on the host's log).
  void TellInputFaults() {
    for (const std::string& line : Plugin->TakeInputFaultLines()) {
      lv2_log_warning(&Logger, "%s\n", line.c_str());
    }
  }
};

TInstance* Instance(LV2_Handle handle) {
  return static_cast<TInstance*>(handle);
}

template <std::uint32_t Channels>
LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char*,
                       const LV2_Feature* const* features) {
  try {
    std::string refusal;
    auto plugin = TDecoderPlugin::Create(Channels, sampleRate, DefaultArithmetic(), refusal);
    if (plugin == nullptr) {
      LogError(features, refusal);
      return nullptr;
    }
    return new TInstance{std::move(plugin), LoggerOf(features)};
  } catch (const std::bad_alloc&) {
    LogError(features, "out of memory");
    return nullptr;
  }
}

void ConnectPort(LV2_Handle handle, std::uint32_t port, void* data) {
  Instance(handle)->Plugin->ConnectPort(port, data);
}

void Activate(LV2_Handle handle) {
  TInstance& instance = *Instance(handle);
  try {
    instance.Plugin->Activate();
    instance.Active = true;
  } catch (const std::bad_alloc&) {
    // Run writes silence until an activation succeeds.
  }
}

void Run(LV2_Handle handle, std::uint32_t frames) {
  Instance(handle)->Plugin->Run(frames);
}

void Deactivate(LV2_Handle handle) {
  TInstance& instance = *Instance(handle);
  instance.Plugin->Deactivate();
  instance.TellInputFaults();
  instance.Active = false;
}

void Cleanup(LV2_Handle handle) {
  TInstance* instance = Instance(handle);
  // A host may clean up an instance it has not deactivated.
  if (instance->Active) instance->TellInputFaults();
  delete instance;
}

const void* ExtensionData(const char*) {
  return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kStereoUri, Instantiate<2>, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData},
    {kMonoUri, Instantiate<1>, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData},
};

}  // namespace
}  // namespace zorv::plugin

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
  const auto& descriptors = zorv::plugin::kDescriptors;
  return index < std::size(descriptors) ? &descriptors[index] : nullptr;
}
