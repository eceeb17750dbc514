// SPDX-License-Identifier: GPL-3.0-or-later
// Work of a caller that goes with the decoding of one block and runs on the
// threads that decode it: filling a channel's input buffer just before it is
// decoded, on the core that then reads the buffer, instead of on the
// caller's thread (whose writes the decoding core would have to fetch).
#pragma once

namespace zorv {

class TBlockWork {
 public:
  virtual ~TBlockWork() = default;
  // Before channels first .. first + count - 1 of the block are decoded, on
  // the thread that decodes them; also for a block that is cancelled later,
  // and again when it is begun again. Jobs of other channels of the block
  // may run meanwhile.
  virtual void BeforeChannels(int first, int count) = 0;
};

}  // namespace zorv
