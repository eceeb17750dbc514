// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/plugin/lv2_host.h"

#include <dlfcn.h>
#include <lv2/log/logger.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include "plugin/plugin_uris.h"

namespace zorv::test {
namespace {

using TDescriptorFunction = const LV2_Descriptor* (*)(std::uint32_t);

TDescriptorFunction DescriptorFunction() {
  static const TDescriptorFunction function = [] {
    const std::string path = std::string(ZORV_LV2_BUNDLE) + "/zorv.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) throw std::runtime_error("cannot load " + path + ": " + dlerror());
    auto* found = reinterpret_cast<TDescriptorFunction>(dlsym(library, "lv2_descriptor"));
    if (found == nullptr) throw std::runtime_error(path + " has no lv2_descriptor");
    return found;
  }();
  return function;
}

}  // namespace

const LV2_Descriptor* PluginAt(std::uint32_t index) {
  return DescriptorFunction()(index);
}

const LV2_Descriptor* FindPlugin(const std::string& uri) {
  for (std::uint32_t i = 0; const LV2_Descriptor* d = PluginAt(i); ++i) {
    if (uri == d->URI) return d;
  }
  return nullptr;
}

THostFeatures::THostFeatures()
    : Map_{this, &THostFeatures::Map},
      Log_{this, &THostFeatures::Printf, &THostFeatures::Vprintf},
      MapFeature_{LV2_URID__map, &Map_},
      LogFeature_{LV2_LOG__log, &Log_},
      WithLog_{&MapFeature_, &LogFeature_, nullptr} {}

LV2_URID THostFeatures::Map(LV2_URID_Map_Handle handle, const char* uri) {
  auto& self = *static_cast<THostFeatures*>(handle);
  const auto [it, added] = self.Ids_.emplace(uri, static_cast<LV2_URID>(self.Uris_.size() + 1));
  if (added) self.Uris_.push_back(uri);
  return it->second;
}

int THostFeatures::Printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = Vprintf(handle, type, format, args);
  va_end(args);
  return n;
}

int THostFeatures::Vprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args) {
  auto& self = *static_cast<THostFeatures*>(handle);
  char text[512];
  const int n = std::vsnprintf(text, sizeof text, format, args);
  const std::string typeUri = type >= 1 && type <= self.Uris_.size() ? self.Uris_[type - 1] : "";
  self.Messages.push_back({typeUri, text});
  return n;
}

TPluginInstance::TPluginInstance(std::uint32_t channels, double sampleRate,
                                 const LV2_Feature* const* features)
    : Descriptor_(FindPlugin(channels == 2 ? plugin::kStereoUri : plugin::kMonoUri)),
      Handle_(nullptr),
      Channels_(channels) {
  if (Descriptor_ == nullptr) throw std::runtime_error("the bundle lacks a plugin");
  Handle_ = Descriptor_->instantiate(Descriptor_, sampleRate, ZORV_LV2_BUNDLE, features);
  if (Handle_ == nullptr) return;
  // Ports: level, inputs, outputs, gains, latency.
  std::uint32_t port = 0;
  Connect(port++, &Level);
  port += 2 * channels;
  for (std::uint32_t c = 0; c < channels; ++c) {
    for (float& gain : Gain[c]) Connect(port++, &gain);
  }
  Connect(port, &Latency);
}

TPluginInstance::~TPluginInstance() {
  if (Handle_ != nullptr) Descriptor_->cleanup(Handle_);
}

void TPluginInstance::Run(std::uint32_t frames) {
  for (std::uint32_t c = 0; c < Channels_; ++c) {
    In[c].resize(frames);
    Out[c].resize(frames);
    Connect(1 + c, In[c].data());
    Connect(1 + Channels_ + c, Out[c].data());
  }
  RunConnected(frames);
}

std::vector<std::vector<float>> TPluginInstance::Decode(const std::vector<std::vector<float>>& in,
                                                        std::uint32_t block) {
  const std::size_t frames = in[0].size();
  std::vector<std::vector<float>> out(Channels_, std::vector<float>(frames));
  for (std::size_t start = 0; start < frames; start += block) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - start));
    for (std::uint32_t c = 0; c < Channels_; ++c) {
      In[c].assign(in[c].begin() + static_cast<std::ptrdiff_t>(start),
                   in[c].begin() + static_cast<std::ptrdiff_t>(start + n));
    }
    Run(n);
    for (std::uint32_t c = 0; c < Channels_; ++c) {
      std::copy(Out[c].begin(), Out[c].end(), out[c].begin() + static_cast<std::ptrdiff_t>(start));
    }
  }
  return out;
}

}  // namespace zorv::test
