// SPDX-License-Identifier: GPL-3.0-or-later
// Which arithmetic a run's decoder uses, and on how many worker threads, as
// the environment asks for tests and benchmarks. A front end reads the
// variables once, when it starts, and hands the values to its runs.
#pragma once

#include <optional>
#include <string>

#include "dsp/decode_path.h"

namespace zorv {

// Names a path ("extended", "portable", "avx2", "avx512") to force it.
inline constexpr const char* kArithmeticVariable = "ZORV_ARITHMETIC";
// The number of worker threads of the decoders' pool ("0": everything on
// the run's own thread).
inline constexpr const char* kWorkersVariable = "ZORV_WORKERS";
inline constexpr unsigned kMaxWorkers = 256;
// "0" turns the stage split off (TBlockPipeline::SetStageSplit); it is on
// otherwise.
inline constexpr const char* kStagesVariable = "ZORV_STAGES";
// "0" turns the split of a file along time off (TRunSettings::TimeSplit);
// it is on otherwise.
inline constexpr const char* kTimeSplitVariable = "ZORV_TIME_SPLIT";

// What the three variables ask for.
struct TRunEnvironment {
  // The path forced; none: the fastest path this processor runs. The
  // portable, AVX2 and AVX-512 paths write the same bytes; against the
  // extended-precision reference (the slowest), the same 16- and 24-bit
  // files, and 32-bit and float files within one unit in the last place of
  // a few samples in 100,000 (for a float sample below -120 dBFS, one unit
  // in the last place of a float at -120 dBFS: 2^-43 of full scale).
  std::optional<TDecodePath> Arithmetic;
  bool StageSplit = true;
  bool TimeSplit = true;
  // One of 0..256; none: as many as the cores (DefaultWorkers).
  std::optional<unsigned> Workers;
  // Why the arithmetic asked for is not used (a name the program does not
  // know, or a path this processor does not run), naming the accepted
  // values; empty when nothing is wrong.
  std::string Warning;
};

// The values of the variables as the front end found them (null: not set).
TRunEnvironment ParseRunEnvironment(const char* arithmetic, const char* stages, const char* workers,
                                    const char* timeSplit = nullptr);

// The path a decoder uses: the one forced, else the fastest.
TDecodePath ArithmeticOf(const TRunEnvironment& environment);

// The number of worker threads: the one forced, else one per core, less the
// run's own thread when one file is decoded at a time (it takes its blocks'
// jobs while it waits).
unsigned DefaultWorkers(const TRunEnvironment& environment, unsigned filesAtOnce);

}  // namespace zorv
