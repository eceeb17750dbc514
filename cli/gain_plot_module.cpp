// SPDX-License-Identifier: GPL-3.0-or-later
// --plot through the plot module, loaded only when a plot is asked for: a
// decode without one starts without Qt's libraries, about fifty of them.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "cli/gain_plot_file.h"

namespace zorv::cli {
namespace {

using TWritePlot = int (*)(const TGainHistory*, int);

constexpr const char* kModuleName = "zorv-decode-plot.so";

// The folder of the running program, with its trailing slash; empty when
// it cannot be told.
std::string ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string LoaderError() {
  const char* text = dlerror();
  return text != nullptr ? text : "no reason given";
}

struct TModule {
  TWritePlot Write = nullptr;
  std::string Problem;
};

// Beside the program (the build tree), else in the library folder of the
// prefix it is installed in, else in that of the prefix it was built for.
TModule Load() {
  TModule module;
  const std::string program = ProgramFolder();
  const std::string folders[] = {
      program, program.empty() ? program : program + ZORV_PLOT_MODULE_FROM_BIN "/",
      ZORV_PLOT_MODULE_DIR "/"};
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    void* handle = dlopen((folder + kModuleName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      module.Problem = LoaderError();  // the last place tried is the one to tell
      continue;
    }
    module.Write = reinterpret_cast<TWritePlot>(dlsym(handle, "zorv_write_gain_plot"));
    if (module.Write != nullptr) return module;
    module.Problem = LoaderError();
    dlclose(handle);
  }
  return module;
}

const TModule& Module() {
  static const TModule module = Load();
  return module;
}

}  // namespace

std::string PlotsUnavailable() {
  const TModule& module = Module();
  if (module.Write != nullptr) return {};
  return std::string("--plot is not available: the plot module cannot be loaded (") +
         module.Problem + ")";
}

bool WriteGainPlot(const TGainHistory& history, int fd) {
  const TModule& module = Module();
  if (module.Write == nullptr) {
    errno = ENOSYS;
    return false;
  }
  return module.Write(&history, fd) != 0;
}

}  // namespace zorv::cli
