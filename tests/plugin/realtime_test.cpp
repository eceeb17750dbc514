// SPDX-License-Identifier: GPL-3.0-or-later
// The real-time promise of run: no allocation, and no system call (so no
// file, no sleep or wait on a lock, no thread started), on every arithmetic
// path and every kind of block a host hands over.
#include <gtest/gtest.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "tests/plugin/allocation_counter.h"
#include "tests/plugin/lv2_host.h"
#include "tests/plugin/plugin_test_support.h"

namespace zorv {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kLongest = 16384;

// An activated instance whose port buffers hold kLongest frames of a
// programme, so that runs need no buffer of the test's own.
std::unique_ptr<test::TPluginInstance> ReadyInstance(std::uint32_t channels,
                                                     test::THostFeatures& host) {
  auto plugin = std::make_unique<test::TPluginInstance>(channels, kRate, host.WithLog());
  plugin->Activate();
  test::TChannels signal = test::FloatProgramme(channels, kRate, kLongest);
  // Samples run replaces and counts: that too without allocating or calling the system.
  for (auto& channel : signal) {
    channel[3] = std::numeric_limits<float>::quiet_NaN();
    channel[700] = std::numeric_limits<float>::infinity();
    channel[9700] = -3.4e38F;
  }
  for (std::uint32_t c = 0; c < channels; ++c) {
    plugin->In[c] = signal[c];
    plugin->Out[c].assign(kLongest, 0.0F);
  }
  plugin->Run(kLongest);  // connects the ports once
  return plugin;
}

// Every kind of run: no frames, one, a host's usual block, more than the
// decoder takes at once, each after a change of the level (within the range,
// clamped, between steps, not a number).
void RunEveryKindOfBlock(test::TPluginInstance& plugin) {
  const float levels[] = {-20.0F, 3.0F, -12.34F, -40.0F, std::nanf("")};
  int next = 0;
  for (const std::uint32_t frames : {0u, 1u, 7u, 64u, 256u, 9600u, 9601u, kLongest}) {
    plugin.Level = levels[next++ % 5];
    plugin.RunConnected(frames);
  }
}

// Keeps the compiler from leaving out an allocation whose result is unused.
void Escape(void* p) {
  asm volatile("" : : "g"(p) : "memory");
}

// The counter is trusted only as far as it sees allocations: the test's own,
// and those the plugin's library makes when it is activated.
// check(instance) for a ready instance of each layout on each path.
template <class TCheck>
void ForEveryPathAndLayout(TCheck check) {
  for (const TDecodePath path : test::SupportedPaths()) {
    test::TForcedPath forced(path);
    for (const std::uint32_t channels : {1u, 2u}) {
      SCOPED_TRACE(std::string(PathName(path)) + " " + std::to_string(channels));
      test::THostFeatures host;
      check(*ReadyInstance(channels, host));
    }
  }
}

TEST(PluginRealTime, TheCounterSeesDeliberateAllocationsHereAndInThePlugin) {
  {
    test::TCountAllocations count;
    void* raw = std::malloc(16);
    Escape(raw);
    EXPECT_EQ(count.Count(), 1u) << "malloc";
    std::free(raw);
  }
  {
    test::TCountAllocations count;
    auto* numbers = new int[100];
    Escape(numbers);
    EXPECT_EQ(count.Count(), 1u) << "operator new";
    delete[] numbers;
  }
  test::THostFeatures host;
  test::TPluginInstance plugin(2, kRate, host.WithLog());
  test::TCountAllocations count;
  plugin.Activate();
  EXPECT_GE(count.Count(), 2u) << "the plugin's decoder and its buffers";
}

TEST(PluginRealTime, RunAllocatesNothingOnAnyPath) {
  ForEveryPathAndLayout([](test::TPluginInstance& plugin) {
    {
      test::TCountAllocations count;
      RunEveryKindOfBlock(plugin);
      EXPECT_EQ(count.Count(), 0u) << "after activation";
    }
    plugin.Deactivate();
    plugin.Activate();
    test::TCountAllocations count;
    RunEveryKindOfBlock(plugin);
    EXPECT_EQ(count.Count(), 0u) << "after a re-activation";
  });
}

// In a child under the kernel's strict mode any system call but read, write
// and exit kills the process.
template <class TWork>
int StatusUnderStrictMode(TWork work) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) _exit(2);
    work();
    syscall(SYS_exit, 0);  // exit_group, what _exit makes, is not allowed
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

bool KilledForASystemCall(int status) {
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

TEST(PluginRealTime, StrictModeKillsADeliberateSystemCall) {
  const int status = StatusUnderStrictMode([] { syscall(SYS_getpid); });
  ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << "no strict mode here";
  EXPECT_TRUE(KilledForASystemCall(status)) << status;
  EXPECT_EQ(StatusUnderStrictMode([] {}), 0);
}

TEST(PluginRealTime, RunMakesNoSystemCallOnAnyPath) {
  ForEveryPathAndLayout([](test::TPluginInstance& plugin) {
    const int status = StatusUnderStrictMode([&] { RunEveryKindOfBlock(plugin); });
    EXPECT_FALSE(KilledForASystemCall(status)) << "run made a system call";
    EXPECT_EQ(status, 0);
  });
}

}  // namespace
}  // namespace zorv
