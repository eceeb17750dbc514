// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_delay.h"

#include <dirent.h>

#include <cstdio>
#include <string>

namespace zorv {

std::optional<std::chrono::nanoseconds> ProcessRunDelay() {
  // Linux keeps, per thread, "time on a core, time waiting for one, time
  // slices" in nanoseconds.
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return std::nullopt;
  long long total = 0;
  bool any = false;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    const std::string path = std::string("/proc/self/task/") + entry->d_name + "/schedstat";
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) continue;  // a thread that has just ended
    unsigned long long onCore = 0;
    unsigned long long waiting = 0;
    if (std::fscanf(file, "%llu %llu", &onCore, &waiting) == 2) {
      total += static_cast<long long>(waiting);
      any = true;
    }
    std::fclose(file);
  }
  closedir(tasks);
  if (!any) return std::nullopt;
  return std::chrono::nanoseconds(total);
}

}  // namespace zorv
