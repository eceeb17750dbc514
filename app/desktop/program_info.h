// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program is, which version it is, and the documents it opens.
#pragma once

#include <QString>

namespace zorv {

// The program's name as the window title, message boxes and the about box show it.
inline constexpr auto kProgramTitle = "Zorv Audio Decoder";
inline constexpr auto kHomepageAddress = "https://zorv-audio-decoder.example.org/";
// The licence as the about box names it, and what --version prints after the
// program's name and version: copyright, licence, warranty.
extern const char* const kLicenseLine;
extern const char* const kVersionNotice;
// The help page, relative to the program's folder.
inline constexpr auto kHelpPage = "help/helpnaltZorvaudiodecoder.htm";
// Where an installation keeps the help page, relative to the program's folder
// (the build states it from its installation folders).
#ifndef ZORV_INSTALLED_HELP_PAGE
#define ZORV_INSTALLED_HELP_PAGE "../share/zorv-audio-decoder/help/helpnaltZorvaudiodecoder.htm"
#endif
inline constexpr auto kInstalledHelpPage = ZORV_INSTALLED_HELP_PAGE;

// The program's version as three numbers joined by points: "0.9.1".
QString GetVersionText();

// The folder of the running program, with a trailing '/'.
QString GetProgramFolder();

// The help page for a program in programFolder (with its trailing '/'):
// beside the program as in the build tree, else where an installation keeps
// it. The first candidate when neither exists.
QString HelpPagePath(const QString& programFolder);

}  // namespace zorv
