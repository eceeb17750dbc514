// SPDX-License-Identifier: GPL-3.0-or-later
// The kernel that decodes the lanes of an arithmetic path. Apart from
// lane_state.h, which the kernels compiled for other instruction sets share.
#pragma once

#include "dsp/decode_path.h"
#include "dsp/fast/lane_state.h"

namespace zorv::fast {

using TKernel = void (*)(const TLaneBlock&);
// The kernel of a path (the portable one for the reference's path).
TKernel KernelFor(TDecodePath path);

}  // namespace zorv::fast
