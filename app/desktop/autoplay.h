// SPDX-License-Identifier: GPL-3.0-or-later
// The automatic playback of --autoplay (see command_line.h).
#pragma once

namespace zorv {

class TForm1;

// Plays seconds of the decode from second from on, at the level set, with
// the input already selected; prints what was played (or why nothing was)
// and returns 0 when it was played to its end, else 1.
int RunAutoplay(TForm1& form, double from, double seconds);

}  // namespace zorv
