// SPDX-License-Identifier: GPL-3.0-or-later
// The automatic playback of --autoplay (see command_line.h).
#pragma once

namespace zorv {

class TForm1;

struct TAutoplay {
  double From = 0.0;     // seconds into the input
  double Seconds = 0.0;  // how long
  // The channels heard on the left and the right (1-based); 0: the first
  // pair the meters show.
  int Left = 0;
  int Right = 0;
};

// Plays what play asks of the decode, at the level set, with the input
// already selected; prints what was played (and every gap in it), or why
// nothing was, and returns 0 when it was played to its end without a gap,
// else 1.
int RunAutoplay(TForm1& form, const TAutoplay& play);

}  // namespace zorv
