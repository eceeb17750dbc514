// SPDX-License-Identifier: GPL-3.0-or-later
// A file's blocks decoded in segments along time as well as by channel.
//
// The blocks are taken in rounds of a few segments per channel. The first
// segment's chain goes on from where the last round ended; every other
// segment's chain begins from the start-up state at its first frame. All
// chains decode side by side, one block each at a time, as the channels of
// one decoder (so that the lane kernels run several chains in one job). A
// chain compares its whole state after every block with the states the
// chains after it had at the end of the same block; from the first block
// where they are bit-identical on, the later chain's output is the one
// the decode would have given, and the earlier chain stops. Where no later
// chain ever agrees, the earlier one decodes on to the end of the round:
// that is the sequential decode, only slower. The output of a block, its
// meter positions and the state after it are always those of one chain.
//
// What is held: the round's input (as doubles), the output, meter
// positions and state of every chain's every block until the round is
// written. A round is a few segments (30 s each when chosen), whatever the
// file's length.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "app/decode_run.h"

namespace zorv {
namespace {

constexpr double kSegmentSeconds = 30.0;
constexpr double kShortestSegmentSeconds = 15.0;
constexpr std::uint64_t kRoundInputBytesPerCore = std::uint64_t{24} << 20;

struct TSplitShape {
  int Segments = 0;  // per channel and round; below 2: no split
  std::uint64_t Frames = 0;
  // Decoders that run side by side, each taking neighbouring segments: one
  // per core, or one per segment where the segments were given.
  int Groups = 1;
};

TSplitShape ChooseSplit(const TRunSettings& settings, std::uint32_t channels,
                        std::uint32_t sampleRate, std::uint64_t fileFrames, bool onPool) {
  if (!settings.TimeSplit || channels == 0 || sampleRate == 0) return {};
  const bool forced = settings.TimeSplitFrames > 0;
  if (!onPool && !forced) return {};
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  // Two chains side by side in each job on every core.
  int segments = settings.TimeSplitSegments > 0
                     ? settings.TimeSplitSegments
                     : (2 * cores + static_cast<int>(channels) - 1) / static_cast<int>(channels);
  segments = std::min(segments, static_cast<int>(kMaxChannels / channels));
  // With a channel for every core the cores are busy without it (a stereo
  // file on two cores runs in two stages): the chains begun twice and the
  // rounds' waits for the slowest join would only cost.
  if (settings.TimeSplitSegments == 0 && static_cast<int>(channels) >= cores) return {};
  if (segments < 2) return {};
  const int groups = settings.TimeSplitSegments > 0 ? segments : std::min(cores, segments);
  if (forced) return {segments, settings.TimeSplitFrames, groups};
  // A round's input as doubles within kRoundInputBytesPerCore a core (a decode holds
  // about five times that: the round written, the round decoded and the
  // next one read, with their chains' output), however many channels and
  // however high the rate; segments shorter than kShortestSegmentSeconds
  // would join too late to gain.
  const auto perSegment =
      std::min(static_cast<std::uint64_t>(kSegmentSeconds * sampleRate),
               kRoundInputBytesPerCore * static_cast<std::uint64_t>(cores) /
                   (sizeof(double) * static_cast<std::uint64_t>(segments) * channels));
  if (perSegment < static_cast<std::uint64_t>(kShortestSegmentSeconds * sampleRate)) return {};
  // A file shorter than a round and a segment more gains too little: its
  // redone starts are a large share of it.
  if (fileFrames < static_cast<std::uint64_t>(segments + 1) * perSegment) return {};
  return {segments, perSegment, groups};
}

// The meter voltages of one chain's block, per channel, in the order they
// came (points, bands A..D); the positions follow from them when the block
// is handed over.
class TMeterRecorder final : public TMeterListener {
 public:
  void MeterPosition(int, int, std::int32_t) override {}
  void MeterVoltage(int channel, int, double volts) override {
    Volts[static_cast<std::size_t>(channel)].push_back(volts);
  }
  bool WantsPositions() const override { return false; }
  std::vector<std::vector<double>> Volts;
};

// A block read, as the decoder takes it.
struct TSplitBlock {
  std::vector<double> In;  // channel after channel, a block's frames each
  std::uint32_t Len = 0;
  std::uint32_t Frames = 0;
  std::uint32_t Whole = 0;
  std::uint64_t FirstByte = 0;
  std::vector<TInputFaults> Faults;
};

// What one chain made of one block.
struct TChainBlock {
  std::vector<double> Out;  // channel after channel
  std::vector<TChannelDecoder::TState> States;
  std::vector<std::vector<double>> Meters;
};

// A decoder of some of a round's chains side by side, with its own meter
// record and room for the output of chains that wait.
struct TChainGroup {
  std::unique_ptr<TZorvCalc> Chains;
  TMeterRecorder Recorder;
  std::vector<double> DummyOut;
};

// One round: its blocks, where its segments begin, what its chains made
// and which chain each channel's block is taken from.
struct TRound {
  std::vector<const TSplitBlock*> Blocks;
  std::vector<std::size_t> First;
  std::vector<std::uint32_t> Offset;
  std::vector<TChannelDecoder::TState> Start;
  std::vector<double> LevelsDb;
  std::vector<std::vector<std::unique_ptr<TChainBlock>>> Made;
  std::vector<std::vector<int>> Owner;
  std::vector<double> JoinedAfter;
  std::uint64_t ChainFrames = 0;
  bool Stalled = false;
};

// Where a block lies in the data and what its split found, from a slot or a
// block read to another.
template <class From, class To>
void CopyExtent(const From& from, To& to) {
  to.Len = from.Len;
  to.Frames = from.Frames;
  to.Whole = from.Whole;
  to.FirstByte = from.FirstByte;
  to.Faults = from.Faults;
}

bool SameState(const TChannelDecoder::TState& a, const TChannelDecoder::TState& b) {
  // Doubles only, no padding: the bits are the state.
  return std::memcmp(&a, &b, sizeof(TChannelDecoder::TState)) == 0;
}

}  // namespace

bool TDecodeRun::SplitsInTime() const {
  if (InputStream_ || Settings_.DebugBand != 0 || !Reader_.DataSizeKnown() || BytesPerFrame_ == 0 ||
      FramesPerBlock_ <= 0) {
    return false;
  }
  const std::uint64_t frames = Reader_.DeliverableDataBytes() / BytesPerFrame_;
  return ChooseSplit(Settings_, Channels_, SampleRate_, frames, Pipeline_.WorkerPool() != nullptr)
             .Segments >= 2;
}

bool TDecodeRun::DecodeSplitBlocks(bool& stalled) {
  const std::uint32_t channels = Channels_;
  const auto blockFrames = static_cast<std::uint32_t>(FramesPerBlock_);
  const TSplitShape shape =
      ChooseSplit(Settings_, channels, SampleRate_, Reader_.DeliverableDataBytes() / BytesPerFrame_,
                  Pipeline_.WorkerPool() != nullptr);
  const auto segmentBlocks =
      static_cast<std::size_t>((shape.Frames + blockFrames - 1) / blockFrames);
  const std::size_t roundBlocks = static_cast<std::size_t>(shape.Segments) * segmentBlocks;

  // The chains' jobs go to a pool of a worker per core (the run's pool,
  // of its own or its alone, keeps a core for the run's thread, which here
  // only waits), or to the pool the run shares with other runs, in the
  // run's place there.
  std::unique_ptr<TWorkerPool> ownPool;
  TWorkerPool* pool = Pipeline_.WorkerPool();
  if (pool != nullptr && (Settings_.Pool == nullptr || pool->Users() <= 1)) {
    ownPool = std::make_unique<TWorkerPool>(TWorkerPool::DefaultThreads());
    pool = ownPool.get();
  }
  struct TInPlaceOf {
    TWorkerPool* Shared;
    explicit TInPlaceOf(TWorkerPool* shared) : Shared(shared) {
      if (Shared != nullptr) Shared->Detach();
    }
    ~TInPlaceOf() {
      if (Shared != nullptr) Shared->Attach();
    }
    TInPlaceOf(const TInPlaceOf&) = delete;
    TInPlaceOf& operator=(const TInPlaceOf&) = delete;
  } inPlaceOf(ownPool == nullptr ? pool : nullptr);
  // The round's segments are shared out in runs of neighbours, a group to
  // each worker: a group decodes its chains side by side (as the channels
  // of one decoder, so that the lane kernels run several in one job) block
  // after block, never waiting for the others except where a chain of its
  // own is to be compared with a later group's chain that has not yet
  // decoded that block. Groups wait only for later ones, so they cannot
  // wait in a circle; without a pool there is one group.
  const int groupCount = pool == nullptr ? 1 : shape.Groups;
  std::vector<TChainGroup> groups(static_cast<std::size_t>(groupCount));
  for (TChainGroup& group : groups) {
    group.Chains = std::make_unique<TZorvCalc>();
    if (MeterListener_ != nullptr) group.Chains->SetMeterListener(&group.Recorder);
  }

  TChannelDecoder::TState startUp;
  {
    auto fresh = std::make_unique<TZorvCalc>();
    fresh->Prepare(SampleRate_, 1, 0);
    fresh->SaveChannel(0, startUp);
  }
  std::vector<TChannelDecoder::TState> trueState(channels);
  for (std::uint32_t c = 0; c < channels; ++c) {
    Decoder_.SaveChannel(static_cast<int>(c), trueState[c]);
  }
  const auto putBack = [&] {
    for (std::uint32_t c = 0; c < channels; ++c) {
      Decoder_.RestoreChannel(static_cast<int>(c), trueState[c]);
    }
  };

  // Reading: whole blocks in order, split and made safe as the decoder
  // takes them.
  std::deque<TSplitBlock> blocks;
  TBlockSlot& reading = Slots_[2];
  TBlockSlot& before = Slots_[3];
  bool pending = false;
  const bool writeBehind = std::clamp(Settings_.BlocksInHand, 1, kMaxBlocksInHand) >= 3;
  bool readAny = false;
  const auto readUpTo = [&](std::size_t count) {
    while (blocks.size() < count) {
      if (!ReadBlock(reading, readAny ? &before : nullptr)) break;
      readAny = true;
      reading.BeforeChannels(0, static_cast<int>(channels));
      TSplitBlock block;
      block.In.assign(std::size_t{channels} * blockFrames, 0.0);
      for (std::uint32_t c = 0; c < channels; ++c) {
        std::copy_n(reading.In[c], std::min(reading.Frames, blockFrames),
                    block.In.begin() + static_cast<std::ptrdiff_t>(c * blockFrames));
      }
      CopyExtent(reading, block);
      blocks.push_back(std::move(block));
      before.FirstByte = reading.FirstByte;
      before.Len = reading.Len;
    }
  };

  std::vector<double> dummyIn(blockFrames, 0.0);
  SplitInHand_.assign(channels, nullptr);
  const double rate = SampleRate_;

  std::vector<std::unique_ptr<TChainBlock>> spare;
  std::mutex spareMutex;
  const auto at = [&](int k, std::uint32_t c) {
    return static_cast<std::size_t>(k) * channels + c;
  };
  // A round of the blocks from the from-th read on (the file's rest goes
  // into it when it would make a short one), its chains to begin from
  // start; false when no block is left.
  const auto setUp = [&](TRound& round, std::size_t from,
                         const std::vector<TChannelDecoder::TState>& start) {
    if (blocks.size() <= from) return false;
    const std::size_t left = blocks.size() - from;
    const std::size_t n = left < roundBlocks + segmentBlocks ? left : roundBlocks;
    for (std::size_t j = 0; j < n; ++j) round.Blocks.push_back(&blocks[from + j]);
    // Where the segments begin: block and frame within it.
    for (int k = 0; k < shape.Segments; ++k) {
      const std::uint64_t frame = static_cast<std::uint64_t>(k) * shape.Frames;
      const auto j = static_cast<std::size_t>(frame / blockFrames);
      const auto o = static_cast<std::uint32_t>(frame % blockFrames);
      if (j >= n || o >= round.Blocks[j]->Whole) break;
      round.First.push_back(j);
      round.Offset.push_back(o);
    }
    round.Start = start;
    for (std::uint32_t c = 0; c < channels; ++c) round.LevelsDb.push_back(Decoder_.LevelDb(c));
    return true;
  };
  // Decodes a round's chains (one round at a time), its groups on the pool.
  const auto decode = [&](TRound& round) {
    const std::size_t n = round.Blocks.size();
    const auto& first = round.First;
    const auto& offset = round.Offset;
    const int segments = static_cast<int>(first.size());
    const int groupsNow = std::min(groupCount, segments);
    const auto lanes = static_cast<std::uint32_t>(segments) * channels;

    auto& made = round.Made;
    made.clear();
    made.resize(static_cast<std::size_t>(segments));
    for (auto& chain : made) chain.resize(n);
    // What the groups tell each other, under board's lock: how many blocks
    // each chain has made (its states are then in place), which chains will
    // make no more, and the joins.
    struct TBoard {
      std::mutex Mutex;
      std::condition_variable Changed;
      std::vector<std::size_t> Made;
      std::vector<char> Finished;
      std::vector<int> JoinTo;
      // The block after which each channel's chain gave way to a later one
      // or ended.
      std::vector<std::ptrdiff_t> Last;
    } board;
    board.Made.assign(static_cast<std::size_t>(segments), 0);
    board.Finished.assign(static_cast<std::size_t>(segments), 0);
    board.JoinTo.assign(lanes, -1);
    board.Last.assign(lanes, -1);
    // Written only by the chain's own group.
    std::vector<char> done(lanes, 0);
    std::atomic<std::uint64_t> chainFrames{0};
    std::atomic<bool> stalled{false};

    const auto runGroup = [&](int g) {
      TChainGroup& group = groups[static_cast<std::size_t>(g)];
      const int k0 = g * segments / groupsNow;
      const int k1 = (g + 1) * segments / groupsNow;
      const auto local = [&](int k, std::uint32_t c) {
        return static_cast<std::size_t>(k - k0) * channels + c;
      };
      const auto groupLanes = static_cast<std::uint32_t>(k1 - k0) * channels;
      TZorvCalc& calc = *group.Chains;
      calc.Prepare(SampleRate_, groupLanes, 0);
      calc.SetPath(Decoder_.Path());
      for (int k = k0; k < k1; ++k) {
        for (std::uint32_t c = 0; c < channels; ++c) {
          const auto v = static_cast<int>(local(k, c));
          calc.SetChannelLevel(static_cast<std::uint32_t>(v), round.LevelsDb[c]);
          calc.RestoreChannel(v, k == 0 ? round.Start[c] : startUp);
        }
      }
      group.Recorder.Volts.assign(groupLanes, {});
      // A lane that waits writes where no other does.
      group.DummyOut.assign(std::size_t{groupLanes} * blockFrames, 0.0);
      std::vector<const double*> in(groupLanes);
      std::vector<double*> out(groupLanes);
      std::vector<std::uint32_t> count(static_cast<std::size_t>(segments));
      const auto finish = [&] {
        std::lock_guard lock(board.Mutex);
        for (int k = k0; k < k1; ++k) board.Finished[static_cast<std::size_t>(k)] = 1;
        board.Changed.notify_all();
      };
      for (std::size_t step = 0;; ++step) {
        bool any = false;
        for (int k = k0; k < k1; ++k) {
          const std::size_t j = first[k] + step;
          count[k] = 0;
          bool needed = false;
          for (std::uint32_t c = 0; c < channels; ++c) needed = needed || !done[at(k, c)];
          if (j >= n || !needed) continue;
          // The blocks of the round before, again: their pages are touched.
          std::unique_ptr<TChainBlock> block;
          {
            std::lock_guard lock(spareMutex);
            if (!spare.empty()) {
              block = std::move(spare.back());
              spare.pop_back();
            }
          }
          if (block == nullptr) {
            block = std::make_unique<TChainBlock>();
            block->Out.resize(std::size_t{channels} * blockFrames);
            block->States.resize(channels);
            block->Meters.resize(channels);
          }
          for (auto& calls : block->Meters) calls.clear();
          made[k][step] = std::move(block);
          count[k] = round.Blocks[j]->Whole - (step == 0 ? offset[k] : 0);
          chainFrames += count[k];
          any = true;
        }
        if (!any) break;
        // Chains of one length decode together; a chain of another length
        // (the file's short last block, a segment's first part) waits,
        // put back as it was.
        std::vector<std::uint32_t> lengths;
        for (int k = k0; k < k1; ++k) {
          if (count[k] > 0 &&
              std::find(lengths.begin(), lengths.end(), count[k]) == lengths.end()) {
            lengths.push_back(count[k]);
          }
        }
        for (const std::uint32_t length : lengths) {
          std::vector<std::pair<std::uint32_t, TChannelDecoder::TState>> waiting;
          for (int k = k0; k < k1; ++k) {
            const bool ours = count[k] == length;
            const std::size_t j = first[k] + step;
            const std::uint32_t from = step == 0 ? offset[k] : 0;
            for (std::uint32_t c = 0; c < channels; ++c) {
              const std::size_t v = local(k, c);
              if (ours) {
                in[v] = round.Blocks[j]->In.data() + std::size_t{c} * blockFrames + from;
                out[v] = made[k][step]->Out.data() + std::size_t{c} * blockFrames + from;
              } else {
                if (count[k] > 0) {
                  waiting.emplace_back(static_cast<std::uint32_t>(v), TChannelDecoder::TState{});
                  calc.SaveChannel(static_cast<int>(v), waiting.back().second);
                }
                in[v] = dummyIn.data();
                out[v] = group.DummyOut.data() + v * blockFrames;
              }
            }
          }
          for (auto& calls : group.Recorder.Volts) calls.clear();
          if (calc.ProcessBlock(in.data(), out.data(), length) !=
              static_cast<std::int32_t>(length)) {
            stalled = true;
            finish();
            return;
          }
          for (int k = k0; k < k1; ++k) {
            if (count[k] != length) continue;
            for (std::uint32_t c = 0; c < channels; ++c) {
              std::swap(made[k][step]->Meters[c], group.Recorder.Volts[local(k, c)]);
            }
          }
          for (const auto& [v, state] : waiting) calc.RestoreChannel(static_cast<int>(v), state);
        }
        for (int k = k0; k < k1; ++k) {
          if (count[k] == 0) continue;
          for (std::uint32_t c = 0; c < channels; ++c) {
            calc.SaveChannel(static_cast<int>(local(k, c)), made[k][step]->States[c]);
          }
        }
        std::unique_lock lock(board.Mutex);
        for (int k = k0; k < k1; ++k) {
          if (count[k] > 0) board.Made[static_cast<std::size_t>(k)] = step + 1;
        }
        // Joins: a chain agrees with a later one at the end of this block.
        for (int k = k0; k < k1; ++k) {
          const std::size_t j = first[k] + step;
          if (count[k] == 0) continue;
          for (std::uint32_t c = 0; c < channels; ++c) {
            const std::size_t v = at(k, c);
            if (done[v]) continue;
            for (int m = k + 1; m < segments && first[m] <= j; ++m) {
              const std::size_t index = j - first[m];
              const auto mm = static_cast<std::size_t>(m);
              // A later group's chain that will still make the block.
              if (m >= k1) {
                board.Changed.wait(lock,
                                   [&] { return board.Made[mm] > index || board.Finished[mm]; });
              }
              // Its channel gave way to a chain after it before this block: a
              // chain that still runs for other channels goes on decoding
              // this one, but its blocks from then on are not the ones
              // taken, so the chain it gave way to is compared instead (it
              // is the same from there).
              const std::size_t w = at(m, c);
              if (board.JoinTo[w] >= 0 && board.Last[w] < static_cast<std::ptrdiff_t>(j)) {
                continue;
              }
              if (index < board.Made[mm] &&
                  SameState(made[k][step]->States[c], made[m][index]->States[c])) {
                board.JoinTo[v] = m;
                break;
              }
            }
            if (board.JoinTo[v] >= 0 || j + 1 == n) {
              done[v] = 1;
              board.Last[v] = static_cast<std::ptrdiff_t>(j);
            }
          }
        }
        // Chains before the one that now decodes a channel for the output
        // are of no more use.
        for (std::uint32_t c = 0; c < channels; ++c) {
          int owner = 0;
          while (board.JoinTo[at(owner, c)] >= 0) owner = board.JoinTo[at(owner, c)];
          for (int k = k0; k < std::min(owner, k1); ++k) done[at(k, c)] = 1;
        }
        for (int k = k0; k < k1; ++k) {
          bool finished = true;
          for (std::uint32_t c = 0; c < channels; ++c) finished = finished && done[at(k, c)];
          if (finished) board.Finished[static_cast<std::size_t>(k)] = 1;
        }
        board.Changed.notify_all();
      }
      finish();
    };

    // The groups run on the pool, the last first: it waits for no other.
    struct TGroupJobs {
      const decltype(runGroup)* Run;
      int Count;
    } jobs{&runGroup, groupsNow};
    if (pool == nullptr || groupsNow == 1) {
      for (int g = groupsNow - 1; g >= 0; --g) runGroup(g);
    } else {
      TWorkerPool::TBatch batch;
      batch.Context = &jobs;
      batch.Count = groupsNow;
      batch.Run = [](void* context, int job) {
        const auto& j = *static_cast<const TGroupJobs*>(context);
        (*j.Run)(j.Count - 1 - job);
      };
      pool->Post(batch, true);
      pool->Wait(batch);
    }
    round.Stalled = stalled;
    round.ChainFrames = chainFrames;
    if (round.Stalled) return;
    const std::vector<int>& joinTo = board.JoinTo;
    const std::vector<std::ptrdiff_t>& last = board.Last;
    for (int k = 0; k < segments; ++k) made[k].resize(board.Made[static_cast<std::size_t>(k)]);

    // Which chain's block each channel takes.
    auto& owner = round.Owner;
    owner.assign(channels, std::vector<int>(n, 0));
    auto& joinedAfter = round.JoinedAfter;
    joinedAfter.assign(static_cast<std::size_t>(segments), -1.0);
    for (std::uint32_t c = 0; c < channels; ++c) {
      int k = 0;
      std::size_t from = 0;
      while (from < n) {
        const auto end = static_cast<std::size_t>(std::max<std::ptrdiff_t>(last[at(k, c)], 0));
        for (std::size_t j = from; j <= end && j < n; ++j) owner[c][j] = k;
        from = end + 1;
        const int next = joinTo[at(k, c)];
        if (next < 0) break;
        const double seconds = (static_cast<double>(end + 1) * blockFrames -
                                static_cast<double>(next) * shape.Frames) /
                               rate;
        joinedAfter[next] = std::max(joinedAfter[next], seconds);
        k = next;
      }
    }
  };
  // The state of every channel after the round's last block.
  const auto endOf = [&](const TRound& round) {
    std::vector<TChannelDecoder::TState> states(channels);
    const std::size_t j = round.Blocks.size() - 1;
    for (std::uint32_t c = 0; c < channels; ++c) {
      const int k = round.Owner[c][j];
      states[c] = round.Made[k][j - round.First[k]]->States[c];
    }
    return states;
  };
  const auto report = [&](const TRound& round) {
    const int segments = static_cast<int>(round.First.size());
    SplitReport_.Segments += segments;
    for (int k = 1; k < segments; ++k) {
      bool everyChannel = true;
      for (std::uint32_t c = 0; c < channels; ++c) {
        const auto& owner = round.Owner[c];
        everyChannel = everyChannel && std::find(owner.begin(), owner.end(), k) != owner.end();
      }
      if (everyChannel && round.JoinedAfter[k] >= 0) {
        SplitReport_.JoinedAfter.push_back(round.JoinedAfter[k]);
      } else {
        ++SplitReport_.NotJoined;
      }
    }
    std::uint64_t roundFrames = 0;
    for (const TSplitBlock* block : round.Blocks) roundFrames += block->Whole;
    SplitReport_.RedoneSeconds +=
        static_cast<double>(round.ChainFrames - std::min(round.ChainFrames, roundFrames)) / rate;
  };
  const auto recycle = [&](TRound& round) {
    for (auto& chain : round.Made) {
      for (auto& block : chain) spare.push_back(std::move(block));
    }
    round = {};
  };
  enum { kWhole, kLevelChanged, kEnded };
  const auto commit = [&](TRound& round) {
    // The round's blocks in order, as the sequential decode hands them over:
    // each block's meters and the calls between blocks, then (behind, when
    // the run writes behind) its output.
    const std::size_t n = round.Blocks.size();
    const auto& owner = round.Owner;
    const auto& made = round.Made;
    const auto& first = round.First;
    std::vector<double> levels(channels);
    bool levelChanged = false;
    for (std::size_t j = 0; j < n && !levelChanged; ++j) {
      const TSplitBlock& block = blocks.front();
      TBlockSlot& hand = Slots_[0];
      CopyExtent(block, hand);
      for (std::uint32_t c = 0; c < channels; ++c) {
        const int k = owner[c][j];
        const TChainBlock& chosen = *made[k][j - first[k]];
        std::copy_n(chosen.Out.data() + std::size_t{c} * blockFrames, block.Whole, hand.Out[c]);
        SplitInHand_[c] = hand.In[c];
        std::copy_n(block.In.data() + std::size_t{c} * blockFrames, blockFrames, hand.In[c]);
        trueState[c] = chosen.States[c];
        levels[c] = Decoder_.LevelDb(c);
      }
      BlockFirstByte_ = block.FirstByte;
      DataBytesRead_ = block.FirstByte + block.Len;
      if (pending) WriteBlock(Slots_[1]);
      pending = false;
      if (MeterListener_ != nullptr) {
        for (std::uint32_t c = 0; c < channels; ++c) {
          const int k = owner[c][j];
          const std::vector<double>& volts = made[k][j - first[k]]->Meters[c];
          for (std::size_t i = 0; i < volts.size(); ++i) {
            const int band = static_cast<int>(i % kBands);
            MeterListener_->MeterVoltage(static_cast<int>(c), band, volts[i]);
            MeterListener_->MeterPosition(static_cast<int>(c), band, MeterPositionOf(volts[i]));
          }
        }
      }
      BetweenBlocks();
      blocks.pop_front();
      if (Writer_.WriteFailed()) return kEnded;
      if (writeBehind) {
        // The block waits in the second slot (the first takes the next).
        TBlockSlot& behind = Slots_[1];
        CopyExtent(hand, behind);
        for (std::uint32_t c = 0; c < channels; ++c) {
          std::copy_n(hand.Out[c], hand.Whole, behind.Out[c]);
        }
        pending = true;
      } else {
        WriteBlock(hand);
        if (Writer_.WriteFailed()) return kEnded;
      }
      if (Stopped_) return kEnded;
      // A new level applies from the next block: the rest of the round is
      // decoded again from here.
      for (std::uint32_t c = 0; c < channels; ++c) {
        levelChanged = levelChanged || levels[c] != Decoder_.LevelDb(c);
      }
    }
    return levelChanged ? kLevelChanged : kWhole;
  };

  // Round after round: while one is handed over (written, its meters and
  // progress reported) on this thread, the next decodes on another, and
  // the blocks of the one after it are read. A level asked for meanwhile
  // drops the round decoded ahead: it is decoded again from the block after
  // the change.
  struct TAhead {
    std::thread Thread;
    ~TAhead() {
      if (Thread.joinable()) Thread.join();
    }
  };
  TRound current;
  bool more = true;
  const auto decodeFromHere = [&] {
    readUpTo(roundBlocks + segmentBlocks);
    if (!setUp(current, 0, trueState)) return false;
    decode(current);
    readUpTo(current.Blocks.size() + roundBlocks + segmentBlocks);
    return true;
  };
  more = decodeFromHere();
  while (more && !current.Stalled) {
    report(current);
    TRound next;
    const bool haveNext = setUp(next, current.Blocks.size(), endOf(current));
    int ended = kWhole;
    {
      TAhead ahead;
      if (haveNext) ahead.Thread = std::thread([&] { decode(next); });
      ended = commit(current);
      if (ended == kWhole) readUpTo(next.Blocks.size() + roundBlocks + segmentBlocks);
    }
    recycle(current);
    if (ended == kEnded) break;
    if (ended == kLevelChanged) {
      recycle(next);
      more = decodeFromHere();
      continue;
    }
    more = haveNext;
    current = std::move(next);
  }
  if (more && current.Stalled) stalled = true;
  if (pending && !Writer_.WriteFailed() && !stalled) WriteBlock(Slots_[1]);
  SplitInHand_.clear();
  putBack();
  return true;
}

}  // namespace zorv
