// SPDX-License-Identifier: GPL-3.0-or-later
// Which arithmetic a run's decoder uses, and on how many worker threads.
#pragma once

#include "dsp/decode_path.h"

namespace zorv {

// Names a path ("extended", "portable", "avx2", "avx512") to force it, for
// tests and benchmarks.
inline constexpr const char* kArithmeticVariable = "ZORV_ARITHMETIC";

// The path of the environment variable when it names one, else the fastest
// path this processor runs. The portable, AVX2 and AVX-512 paths write the
// same bytes; against the extended-precision reference (the slowest), the
// same 16- and 24-bit files, and 32-bit and float files within one unit in
// the last place of a few samples in 100,000 (for a float sample below -120
// dBFS, one unit in the last place of a float at -120 dBFS: 2^-43 of full
// scale).
TDecodePath DefaultArithmetic();

// The number of worker threads of the decoders' pool, to force it for tests
// and benchmarks ("0": everything on the run's own thread).
inline constexpr const char* kWorkersVariable = "ZORV_WORKERS";
inline constexpr unsigned kMaxWorkers = 256;

// The number the environment variable gives when it is one of 0..256, else
// one per core, less the run's own thread when one file is decoded at a
// time (it takes its blocks' jobs while it waits).
unsigned DefaultWorkers(unsigned filesAtOnce);

// "0" turns the stage split off (TBlockPipeline::SetStageSplit), for tests
// and benchmarks; it is on otherwise.
inline constexpr const char* kStagesVariable = "ZORV_STAGES";
bool DefaultStageSplit();

}  // namespace zorv
