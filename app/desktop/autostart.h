// SPDX-License-Identifier: GPL-3.0-or-later
// The automatic run of --autostart (see command_line.h).
#pragma once

#include <QString>
#include <cstdio>

namespace zorv {

class TForm1;

// Chooses output (which must not exist) and presses Start, with the input
// already selected; prints the outcome (status and elapsed time, or the
// refusal) and returns 0 when the run reached "Done" and its output was
// kept under its name, else 1.
int RunAutostart(TForm1& form, const QString& output);

// One line of the automatic runs on stream, "zorv-audio-decoder: " in front.
void PrintAutoLine(std::FILE* stream, const QString& text);

}  // namespace zorv
