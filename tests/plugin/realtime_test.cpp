// SPDX-License-Identifier: GPL-3.0-or-later
// The real-time promise of the audio call of every format (LV2's run, VST3's
// and CLAP's process): no allocation or release, no lock, and no system call
// (so no file, no sleep or wait, no thread started), on every arithmetic
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
#include <mutex>
#include <thread>
#include <vector>

#include "tests/plugin/allocation_counter.h"
#include "tests/plugin/clap_host.h"
#include "tests/plugin/lv2_host.h"
#include "tests/plugin/plugin_test_support.h"
#include "tests/plugin/vst3_host.h"

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
void* Escape(void* p) {
  asm volatile("" : : "g"(p) : "memory");
  return p;
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
    EXPECT_EQ(count.Releases(), 1u) << "operator delete";
    std::mutex mutex;
    mutex.lock();
    mutex.unlock();
    EXPECT_EQ(count.Locks(), 1u) << "std::mutex";
  }
  {
    // Another thread's allocations are not this one's: what starting the
    // thread costs, not its thousand.
    test::TCountAllocations count;
    std::thread([] {
      for (int i = 0; i < 1000; ++i) delete[] static_cast<int*>(Escape(new int[4]));
    }).join();
    EXPECT_LT(count.Count(), 10u);
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
      EXPECT_EQ(count.Releases() + count.Locks(), 0u) << "releases and locks";
    }
    plugin.Deactivate();
    plugin.Activate();
    test::TCountAllocations count;
    RunEveryKindOfBlock(plugin);
    EXPECT_EQ(count.Count(), 0u) << "after a re-activation";
    EXPECT_EQ(count.Releases() + count.Locks(), 0u) << "releases and locks";
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

// A hosted VST3 or CLAP plugin (either test host) whose buffers hold
// kLongest frames of a programme with samples run replaces, activated on the
// forced path; the level's changes of each kind of block made beforehand.
template <class TPlugin>
struct TReadyFormat {
  explicit TReadyFormat(std::uint32_t channels) : Plugin(channels, kRate) {
    signal = test::FloatProgramme(channels, kRate, kLongest);
    for (auto& channel : signal) {
      channel[3] = std::numeric_limits<float>::quiet_NaN();
      channel[9700] = -3.4e38F;
    }
    output.assign(channels, std::vector<float>(kLongest));
    for (std::uint32_t c = 0; c < channels; ++c) {
      in[c] = signal[c].data();
      out[c] = output[c].data();
    }
    Plugin.Process(in, out, kLongest);
  }
  // Blocks of every size, the level changed at their start, within them,
  // beyond the range, between steps, not a number.
  void ProcessEveryKindOfBlock() {
    std::size_t next = 0;
    for (const std::uint32_t frames : {0u, 1u, 7u, 64u, 256u, 9600u, 9601u, kLongest}) {
      Plugin.Process(in, out, frames, Points[next++ % Points.size()]);
    }
  }
  TPlugin Plugin;
  test::TChannels signal, output;
  const float* in[2] = {};
  float* out[2] = {};
  const std::vector<std::vector<test::TLevelPoint>> Points = {
      {}, {{0, -20.0}}, {{0, -12.34}, {5, 3.0}}, {{0, -40.0}}, {{0, std::nan("")}}};
};

template <class TPlugin>
void ExpectNothingForbiddenInProcess() {
  for (const TDecodePath path : test::SupportedPaths()) {
    test::TForcedPath forced(path);
    for (const std::uint32_t channels : {1u, 2u}) {
      SCOPED_TRACE(std::string(PathName(path)) + " " + std::to_string(channels));
      TReadyFormat<TPlugin> ready(channels);
      test::TCountAllocations count;
      ready.ProcessEveryKindOfBlock();
      EXPECT_EQ(count.Count(), 0u) << "allocations";
      EXPECT_EQ(count.Releases(), 0u) << "releases";
      EXPECT_EQ(count.Locks(), 0u) << "locks";
    }
  }
}

TEST(PluginRealTime, Vst3ProcessAllocatesNothingAndLocksNothingOnAnyPath) {
  ExpectNothingForbiddenInProcess<test::TVst3Plugin>();
}

TEST(PluginRealTime, ClapProcessAllocatesNothingAndLocksNothingOnAnyPath) {
  ExpectNothingForbiddenInProcess<test::TClapPlugin>();
}

TEST(PluginRealTime, Vst3AndClapProcessMakeNoSystemCall) {
  for (const std::uint32_t channels : {1u, 2u}) {
    TReadyFormat<test::TVst3Plugin> vst3(channels);
    EXPECT_EQ(StatusUnderStrictMode([&] { vst3.ProcessEveryKindOfBlock(); }), 0) << "VST3";
    TReadyFormat<test::TClapPlugin> clap(channels);
    EXPECT_EQ(StatusUnderStrictMode([&] { clap.ProcessEveryKindOfBlock(); }), 0) << "CLAP";
  }
}

}  // namespace
}  // namespace zorv
