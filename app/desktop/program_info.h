// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program is, which version it is, and the documents it opens.
#pragma once

#include <QString>

namespace zorv {

// The program's name as the window title, message boxes and the about box show it.
inline constexpr auto kProgramTitle = "Zorv Audio Decoder";
inline constexpr auto kHomepageAddress = "https://zorv-audio-decoder.example.org/";
// The help page, relative to the program's folder.
inline constexpr auto kHelpPage = "help/helpnaltZorvaudiodecoder.htm";
// Where an installation keeps the help page, relative to the program's folder.
inline constexpr auto kInstalledHelpPage =
    "../share/zorv-audio-decoder/help/helpnaltZorvaudiodecoder.htm";

// The program's version as three numbers joined by points: "0.9.1".
QString GetVersionText();

// The folder of the running program, with a trailing '/'.
QString GetProgramFolder();

// The help page for a program in programFolder (with its trailing '/'):
// beside the program as in the build tree, else where an installation keeps
// it. The first candidate when neither exists.
QString HelpPagePath(const QString& programFolder);

}  // namespace zorv
