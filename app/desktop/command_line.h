// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line:
//   zorv-audio-decoder [FILE.wav...]
// One FILE.wav is selected as the input as if chosen in the input dialog;
// several fill the queue for review as if dropped on the window (a file manager's "Open
// with" passes them so).
//
// Two options are left out of --help; they serve screenshots and benchmarks:
//   --autostart OUTPUT  once the window is up, choose OUTPUT as the output
//                       (it must not exist yet) and press Start; when the run
//                       has ended, print its status and elapsed time on
//                       standard output
//   --autoquit          with --autostart: end the program after the run, with
//                       exit status 0 for "Done" and 1 otherwise
//   --autoplay FROM,SECONDS  once the window is up, play SECONDS of the
//                       decode from FROM seconds on, then end the program
//                       (exit status 0 when it was played without a gap)
//   --channels A,B      with --autoplay: channel A on the left, B on the
//                       right (1-based; a pair the meters show, or one
//                       channel twice)
//   --level DB          the reference level to start with (-30.0 .. 0.0)
//   --type-level TEXT   once the window is up, TEXT typed into the level's
//                       field and Enter pressed (taken or refused as typed)
#pragma once

#include <QString>
#include <QStringList>

namespace zorv {

struct TCommandLine {
  QStringList InputFiles;   // absolute, as given
  QString InputFile;        // the one input when exactly one was given, else empty
  QString AutostartOutput;  // absolute; empty when not asked for
  bool AutoQuit = false;
  // --autoplay: where and how long; negative when not asked for.
  double AutoplayFrom = -1.0;
  double AutoplaySeconds = -1.0;
  // --channels: 1-based; 0 when not asked for.
  int AutoplayLeft = 0;
  int AutoplayRight = 0;
  bool LevelGiven = false;
  double LevelDb = 0.0;
  QString TypedLevel;  // --type-level; empty when not asked for
  bool ShowHelp = false;
  bool ShowVersion = false;
  QString HelpText;
};

// arguments as the program received them, the program first; the toolkit's
// own options are let through. Needs no application object, so that --help,
// --version and usage errors need no display. False with error set for a
// usage error.
bool ParseCommandLine(const QStringList& arguments, TCommandLine& result, QString& error);

}  // namespace zorv
