// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <system_error>

#include "dsp/reference_level_range.h"

namespace zorv::cli {
namespace {

// Parses a whole word as a number; false when anything is left over.
template <typename T>
bool ParseNumber(const std::string& word, T& value) {
  const char* end = word.data() + word.size();
  const auto [ptr, error] = std::from_chars(word.data(), end, value);
  return error == std::errc() && ptr == end && !word.empty();
}

// A level in tenths of a dB, as the window's scroll bar holds it.
std::optional<double> ParseLevel(const std::string& word) {
  double value = 0;
  if (!ParseNumber(word, value) || !std::isfinite(value)) return std::nullopt;
  const double tenths = std::round(value * 10.0);
  if (std::fabs(value * 10.0 - tenths) > 1e-6) return std::nullopt;
  const double level = tenths / 10.0;
  if (level < kMinLevelDb || level > kMaxLevelDb) return std::nullopt;
  return level;
}

// The words of one -l: a level for every channel, a list of levels (one per
// channel), or channels set over the rest (N=DB), parted by commas.
std::string ParseLevels(const std::string& word, TCliOptions& o) {
  const std::string bad = "level must be -30.0 .. 0.0 dB in steps of 0.1: ";
  std::vector<std::string> items;
  for (std::size_t begin = 0;;) {
    const std::size_t comma = word.find(',', begin);
    items.push_back(word.substr(begin, comma - begin));
    if (comma == std::string::npos) break;
    begin = comma + 1;
  }
  const bool assignments = word.find('=') != std::string::npos;
  std::vector<double> levels;
  for (const std::string& item : items) {
    const std::size_t equals = item.find('=');
    if (assignments != (equals != std::string::npos)) {
      return "a level list gives either every channel's level or N=DB items, not both: " + word;
    }
    if (!assignments) {
      const auto value = ParseLevel(item);
      if (!value) return bad + item;
      levels.push_back(*value);
      continue;
    }
    std::uint32_t channel = 0;
    const std::string number = item.substr(0, equals);
    if (!ParseNumber(number, channel) || channel == 0 || channel > 64) {
      return "channel must be a number 1 .. 64 before '=': " + item;
    }
    const auto value = ParseLevel(item.substr(equals + 1));
    if (!value) return bad + item.substr(equals + 1);
    o.ChannelLevelOverrides.emplace_back(channel, *value);
  }
  if (levels.size() == 1) {
    o.LevelDb = levels.front();
    o.ChannelLevelsDb.clear();
    o.LevelFromTone = false;
  } else if (levels.size() > 1) {
    o.ChannelLevelsDb = std::move(levels);
    o.LevelFromTone = false;
  }
  return {};
}

// Seconds of the input: a plain number, 0 or more.
std::optional<double> ParseSeconds(const std::string& word) {
  double value = 0;
  if (!ParseNumber(word, value) || !std::isfinite(value) || value < 0) return std::nullopt;
  return value;
}

// The words as given, before CLI11 sees them: a value that looks like a
// negative number ("-l -30") is joined to its option, so that it is never
// taken for an option of its own.
std::vector<std::string> JoinNegativeValues(const std::vector<std::string>& args) {
  std::vector<std::string> words;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") optionsEnded = true;
    const bool takesLevel = !optionsEnded && (word == "-l" || word == "--level");
    if (takesLevel && i + 1 < args.size() && args[i + 1].size() > 1 && args[i + 1][0] == '-' &&
        (std::isdigit(static_cast<unsigned char>(args[i + 1][1])) || args[i + 1][1] == '.')) {
      words.push_back(word == "-l" ? "-l" + args[i + 1] : "--level=" + args[i + 1]);
      ++i;
    } else {
      words.push_back(word);
    }
  }
  return words;
}

// A value given to a flag ("--force=yes"), or an option without its value
// at the end of the words, in the spelling the user typed.
std::string MismatchMessage(const std::vector<std::string>& args, const CLI::App& app) {
  std::string last;
  for (const std::string& word : args) {
    if (word == "--") break;
    if (!word.starts_with("-")) continue;
    const std::string name = word.substr(0, word.find('='));
    const CLI::Option* option = app.get_option_no_throw(name);
    if (option == nullptr) continue;
    if (option->get_expected_max() == 0 && name != word)
      return "option " + name + " takes no value";
    last = name;
  }
  return "option " + last + " needs a value";
}

class TParser {
 public:
  TParseResult Run(const std::vector<std::string>& args) {
    CLI::App app{"", "zorv-decode"};
    app.set_help_flag();
    app.allow_extras();
    TCliOptions& o = Result_.Options;
    const auto text = [&](const std::string& names, std::string& value) {
      return app.add_option(names, value)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    };
    std::vector<std::string> levels;
    std::string output, outputDir, format, fallback, debugBand, jobs, meterLog, report, plot,
        toneStart, toneLength;
    CLI::Option* outputOption = text("-o,--output", output);
    CLI::Option* outputDirOption = text("-d,--output-dir", outputDir);
    CLI::Option* formatOption = text("--format", format);
    // Every -l counts, in order: a later one sets channels over an earlier one.
    app.add_option("-l,--level", levels)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* fallbackOption = text("--fallback", fallback);
    CLI::Option* debugOption = text("--debug-band", debugBand);
    CLI::Option* jobsOption = text("-j,--jobs", jobs);
    CLI::Option* meterLogOption = text("--meter-log", meterLog);
    CLI::Option* reportOption = text("--report", report);
    CLI::Option* plotOption = text("--plot", plot);
    CLI::Option* toneStartOption = text("--tone-start", toneStart);
    CLI::Option* toneLengthOption = text("--tone-length", toneLength);
    for (CLI::Option* flag :
         {app.add_flag("-f,--force", o.Force), app.add_flag("--skip-existing", o.SkipExisting),
          app.add_flag("--exact", o.Exact), app.add_flag("--float", o.Float),
          app.add_flag("--canonical-header", o.CanonicalHeader),
          app.add_flag("--continue", o.Continue), app.add_flag("-q,--quiet", o.Quiet),
          app.add_flag("--strict", o.Strict), app.add_flag("--measure-level", o.MeasureLevel),
          app.add_flag("--per-channel", o.PerChannel), app.add_flag("-h,--help", o.Help),
          app.add_flag("-V,--version", o.Version)}) {
      flag->disable_flag_override();
    }
    app.add_option("INPUT", o.Inputs);

    std::vector<std::string> words = JoinNegativeValues(args);
    std::reverse(words.begin(), words.end());
    try {
      app.parse(words);
    } catch (const CLI::ArgumentMismatch&) {
      return Failed(MismatchMessage(args, app));
    } catch (const CLI::ParseError& e) {
      return Failed(e.what());
    }
    for (const std::string& extra : app.remaining()) {
      // Everything that is not an input is an option CLI11 does not know
      // (or the "--" that ended the options).
      if (extra == "--") continue;
      const std::string name = extra.substr(0, extra.find('='));
      return Failed("unknown option: " + name);
    }

    if (*outputOption) {
      if (output.empty()) return Failed("option -o needs a file name");
      o.Output = output;
    }
    if (*outputDirOption) {
      if (outputDir.empty()) return Failed("option -d needs a folder name");
      o.OutputDir = outputDir;
    }
    if (*formatOption) {
      if (format != "wav" && format != "flac")
        return Failed("format must be wav or flac: " + format);
      o.Format = format;
    }
    // In order: a level, a list or "tone" replaces the one before; N=DB
    // items set their channels whatever else is given.
    for (const std::string& word : levels) {
      if (word == "tone") {
        o.LevelFromTone = true;
        o.ChannelLevelsDb.clear();
      } else if (std::string error = ParseLevels(word, o); !error.empty()) {
        return Failed(error);
      }
    }
    if (*fallbackOption) {
      if (fallback != "mean") return Failed("fallback must be mean: " + fallback);
      o.FallbackMean = true;
    }
    if (*debugOption) {
      if (debugBand.size() != 1 || debugBand.find_first_of("ABCDabcd") != 0) {
        return Failed("debug band must be A, B, C or D: " + debugBand);
      }
      o.DebugBand = static_cast<std::uint32_t>((debugBand[0] | 0x20) - 'a' + 1);
    }
    if (*jobsOption) {
      if (!ParseNumber(jobs, o.Jobs) || o.Jobs == 0) {
        return Failed("jobs must be a whole number of at least 1: " + jobs);
      }
    }
    if (*meterLogOption) {
      if (meterLog.empty()) return Failed("option --meter-log needs a file name");
      o.MeterLog = meterLog;
    }
    if (*reportOption) {
      if (report.empty()) return Failed("option --report needs a file name");
      o.Report = report;
    }
    if (*plotOption) {
      if (plot.empty()) return Failed("option --plot needs a file name");
      o.Plot = plot;
    }
    if (*toneStartOption) {
      const auto value = ParseSeconds(toneStart);
      if (!value) return Failed("tone start must be a number of seconds, 0 or more: " + toneStart);
      o.ToneStartSeconds = *value;
    }
    if (*toneLengthOption) {
      const auto value = ParseSeconds(toneLength);
      if (!value || *value < 2.0) {
        return Failed("tone length must be a number of seconds, 2 or more: " + toneLength);
      }
      o.ToneLengthSeconds = *value;
    }
    CheckCombination();
    return Result_;
  }

 private:
  TParseResult Failed(std::string message) {
    Result_.Error = std::move(message);
    return Result_;
  }

  void CheckCombination() {
    const TCliOptions& o = Result_.Options;
    const auto fail = [&](std::string message) {
      if (Result_.Ok()) Result_.Error = std::move(message);
    };
    if (o.Help || o.Version) return;
    if (o.Inputs.empty()) return fail("no input file given");
    if (o.Output && o.Inputs.size() > 1) return fail("--output needs exactly one input file");
    if (o.Output && o.OutputDir) return fail("--output and --output-dir exclude each other");
    for (const std::string& input : o.Inputs) {
      if (input != kStandardStream) continue;
      // The tone is looked for in a first pass over the input, which a
      // stream gives only once.
      if (o.MeasureLevel)
        return fail("--measure-level cannot take standard input (-): give a file");
      if (o.LevelFromTone) {
        return fail(
            "--level tone reads the input twice and cannot take standard input (-): "
            "give the level in dB");
      }
      if (!o.Output) return fail("standard input (-) needs -o FILE or -o -");
    }
    if (o.Output && *o.Output != kStandardStream && !HasWavExtension(*o.Output) &&
        !HasFlacExtension(*o.Output)) {
      return fail("the output file name must end in .wav or .flac: " + *o.Output);
    }
    if (o.Output && o.Format) {
      const bool flac = *o.Output != kStandardStream && HasFlacExtension(*o.Output);
      if (flac != (*o.Format == "flac")) {
        return fail("--format " + *o.Format + " and the output " + *o.Output + " disagree");
      }
    }
    if (o.MeterLog && o.Inputs.size() > 1) return fail("--meter-log needs exactly one input file");
    if (o.Report && *o.Report == kStandardStream && o.Output && *o.Output == kStandardStream) {
      return fail("--report - and -o - both write to standard output: give one a file");
    }
    if (o.Force && o.SkipExisting) return fail("--force and --skip-existing exclude each other");
    if (o.Plot && o.Inputs.size() > 1) return fail("--plot needs exactly one input file");
    if (o.Plot && !HasExtension(*o.Plot, ".png")) {
      return fail("the plot file name must end in .png: " + *o.Plot);
    }
    if (o.PerChannel && !o.LevelFromTone) return fail("--per-channel needs --level tone");
    if (o.FallbackMean && !o.PerChannel) {
      return fail("--fallback mean needs --level tone --per-channel");
    }
    if (o.MeasureLevel) {
      // A measurement decodes nothing and writes no file.
      const std::pair<bool, const char*> decoding[] = {
          {o.Output.has_value(), "--output"},      {o.OutputDir.has_value(), "--output-dir"},
          {o.MeterLog.has_value(), "--meter-log"}, {o.Plot.has_value(), "--plot"},
          {o.LevelFromTone, "--level tone"},       {o.Strict, "--strict"}};
      for (const auto& [given, name] : decoding) {
        if (given) return fail(std::string("--measure-level decodes nothing: leave out ") + name);
      }
    }
  }

  TParseResult Result_;
};

}  // namespace

TParseResult ParseCommandLine(const std::vector<std::string>& args) {
  return TParser().Run(args);
}

bool HasWavExtension(const std::string& name) {
  return HasExtension(name, ".wav");
}

bool HasFlacExtension(const std::string& name) {
  return HasExtension(name, ".flac");
}

bool HasExtension(const std::string& name, const std::string& extension) {
  if (name.size() < extension.size()) return false;
  std::string end = name.substr(name.size() - extension.size());
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == extension;
}

std::string UsageText() {
  return R"(Usage: zorv-decode [options] INPUT...
Decodes four-band compander recordings (WAV or FLAC) into files of the same
format. Inputs: 1 to 64 channels at 32000, 44100, 48000, 88200, 96000, 176400
or 192000 Hz; 16-, 24- or 32-bit integer or 32-bit float samples.

  -o, --output FILE     output file, a name ending in .wav or .flac (one INPUT
                        only); default: INPUT with "_dec" before the extension
  -d, --output-dir DIR  the outputs go into DIR (created when missing), named as above
      --format F        wav or flac: the outputs named from their inputs (the
                        default name, -d) are of that type
  -l, --level DB        reference level, -30.0 .. 0.0 dB in steps of 0.1 (default -10.0);
                        "tone": each input's own, measured from its reference tone
                        (an input without a usable tone is refused);
                        DB,DB,...: one level per channel (as many as the input has);
                        N=DB[,N=DB...]: channel N at its own level over the rest
                        (repeatable, with any of the forms above)
      --per-channel     with -l tone: each channel at the level of its own tone
                        (an input with a channel without a usable tone is refused)
      --fallback mean   with --per-channel: a channel without a usable tone takes
                        the mean of the channels that have one
      --measure-level   print each input's reference tone and the reference level
                        it suggests, and the levels that keep every band inside
                        its range (and a line per channel for more than two
                        channels); writes no audio (with --report, the findings
                        as JSON objects too); an input that cannot be read in
                        full is refused with the reason, never measured in part
      --tone-start S    look for the reference tone from S seconds on (default 0)
      --tone-length S   ... in S seconds of the input (default 60, at least 2)
      --debug-band B    A, B, C or D: channel 2 of the output carries channel 1's
                        control signal of that band (stereo input only)
  -f, --force           replace an existing output file
      --skip-existing   skip an input whose output exists (not a failure), also
                        one that appears while the input is decoded
  -j, --jobs N          decode up to N inputs at once (default: number of cores)
      --float           write 32-bit float output whatever the input's format
      --meter-log FILE  write the band meters' positions as CSV (one INPUT only)
      --report FILE     write one JSON object per input (JSON Lines): status,
                        warnings, checksums of input and output audio data,
                        sizes, levels, times; "-": to standard output (then
                        nothing else goes there); with --measure-level the
                        measurements; never a name the call writes otherwise
                        (outputs and their partial names, meter log, plot), nor
                        where standard output goes with -o -
      --strict          a decode with a warning (clipped, short input, partial
                        frame, chunk left out, non-finite input, ...) fails,
                        and its output is not kept
      --plot FILE       draw the band gains over the whole input as a PNG picture
                        (one INPUT only; the name ends in .png)
      --exact           decode with the extended-precision reference arithmetic
                        (several times slower; the default path writes the same
                        16- and 24-bit files, and 32-bit and float files that
                        differ in at most 5 samples in 100,000 by one unit in
                        the last place, a float sample below -120 dBFS by at
                        most one unit in the last place of a float at -120
                        dBFS; every processor writes the same bytes)
      --canonical-header  write only the 44-byte header of format and data,
                        without the input's other chunks
      --continue        the inputs are consecutive parts of one tape, cut
                        anywhere: each is decoded, in the order given and one
                        at a time, from the state at the last whole frame of
                        the one before, so that the outputs joined are the
                        whole tape's decode. A part after one that was
                        skipped (--skip-existing), missing, refused, failed
                        or interrupted is refused (where it begins is
                        unknown), and so is a part of another rate, channel
                        count or sample format than the one before. With
                        -l tone, the first part's tone sets every part's level
                        (each channel's with --per-channel). A continued part
                        says so in its CodingHistory line ("continued from the
                        previous part") and its report line ("continued_from":
                        the part before, "continued_from_md5": that part's md5)
  -q, --quiet           only errors and warnings (with the files they concern):
                        no progress, no per-file reports
  -h, --help            show this text
  -V, --version         show the program's version and licence

The output keeps every chunk of the input (bext, iXML, axml, cue, LIST, ...) in
its place, appends a line to the CodingHistory of a bext chunk, recomputes an
MD5 chunk and the frame count of a fact chunk, and is RF64 when the input is
RF64 (BW64 stays BW64) or the output passes 4 GiB. INPUT "-" reads a WAV stream
from standard input, "-o -" writes one to standard output. A data chunk whose
size is 0 (a recorder stopped before it wrote the sizes) runs to the end of the
file or stream, and a warning says so.

A FLAC input is read as the WAV file it was packed from, with the RIFF chunks
the flac tool kept in it; its samples are checked against its MD5 (a mismatch
is a warning: the file is damaged). A FLAC output keeps the output's chunks
the same way, for the flac tool to restore the WAV file; its samples are
encoded and checked, its MD5 set. FLAC holds integer samples of 1 to 8
channels only.

An output is written under a temporary name in its folder and renamed when it
is complete; a name too long to be created is refused before any decode.
Interrupted (Ctrl-C, SIGTERM, SIGHUP, ...), what was decoded is kept as
NAME.partial.wav (NAME.partial.flac), also while the program waits for a pipe
(the input, the output, standard error, a report pipe without a reader); a
NAME.partial.wav that exists is not replaced without -f: the first free name
of NAME.partial-2.wav, NAME.partial-3.wav, ... is taken and said. No input is
ever written: a call in which an input is a name the call may write (an
output, its partial name, the report, the meter log, the plot, their partial
names), under that name or another, is refused before anything is written.

The reference level scales the detectors' input: inside the bands' range (no
band at its -32 dB floor or +10 dB ceiling) another level gives the same output
up to a gain of half the change; each decode names the bands that sat at a
limit ("band D of channel 1 at its +10 dB ceiling for 2.3 s").

Errors name the file: "zorv-decode: FILE: reason". Exit status: 0 when every
input was decoded or skipped (with --measure-level: gave a reference level),
1 when any was refused or failed (with --strict: or warned), 2 for a usage
error, 128 + the signal's number when interrupted.
)";
}

}  // namespace zorv::cli
