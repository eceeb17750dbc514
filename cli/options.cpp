#include "cli/options.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace zorv::cli {
namespace {

constexpr double kMinLevelDb = -30.0;
constexpr double kMaxLevelDb = 0.0;

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

class TParser {
 public:
  explicit TParser(const std::vector<std::string>& args) : Args_(args) {}

  TParseResult Run() {
    bool optionsEnded = false;
    for (Index_ = 0; Index_ < Args_.size() && Result_.Ok(); ++Index_) {
      const std::string& word = Args_[Index_];
      if (optionsEnded || word.size() < 2 || word[0] != '-') {
        Result_.Options.Inputs.push_back(word);
      } else if (word == "--") {
        optionsEnded = true;
      } else if (word.starts_with("--")) {
        Long(word.substr(2));
      } else {
        Short(word);
      }
    }
    if (Result_.Ok()) CheckCombination();
    return Result_;
  }

 private:
  void Fail(std::string message) {
    if (Result_.Ok()) Result_.Error = std::move(message);
  }

  // The value of an option: attached, or the next word.
  std::optional<std::string> Value(const std::string& option, std::optional<std::string> attached) {
    if (attached) return attached;
    if (Index_ + 1 >= Args_.size()) {
      Fail("option " + option + " needs a value");
      return std::nullopt;
    }
    return Args_[++Index_];
  }

  void Long(const std::string& body) {
    const std::size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    std::optional<std::string> attached;
    if (equals != std::string::npos) attached = body.substr(equals + 1);
    const std::string option = "--" + name;

    if (name == "output" || name == "level" || name == "debug-band" || name == "jobs" ||
        name == "meter-log") {
      if (const auto value = Value(option, attached)) Apply(option, *value);
      return;
    }
    if (attached) {
      Fail("option " + option + " takes no value");
      return;
    }
    if (name == "force") {
      Result_.Options.Force = true;
    } else if (name == "exact") {
      Result_.Options.Exact = true;
    } else if (name == "quiet") {
      Result_.Options.Quiet = true;
    } else if (name == "help") {
      Result_.Options.Help = true;
    } else if (name == "version") {
      Result_.Options.Version = true;
    } else {
      Fail("unknown option: " + option);
    }
  }

  // Short options may be grouped ("-fq"); one that takes a value ends the
  // group and takes its rest ("-j2") or the next word.
  void Short(const std::string& word) {
    for (std::size_t i = 1; i < word.size() && Result_.Ok(); ++i) {
      const char letter = word[i];
      const std::string option = std::string("-") + letter;
      switch (letter) {
        case 'o':
        case 'l':
        case 'j': {
          std::optional<std::string> attached;
          if (i + 1 < word.size()) attached = word.substr(i + 1);
          if (const auto value = Value(option, attached)) Apply(option, *value);
          return;
        }
        case 'f':
          Result_.Options.Force = true;
          break;
        case 'q':
          Result_.Options.Quiet = true;
          break;
        case 'h':
          Result_.Options.Help = true;
          break;
        case 'V':
          Result_.Options.Version = true;
          break;
        default:
          Fail("unknown option: " + option);
      }
    }
  }

  void Apply(const std::string& option, const std::string& value) {
    TCliOptions& o = Result_.Options;
    if (option == "-o" || option == "--output") {
      if (value.empty()) return Fail("option " + option + " needs a file name");
      o.Output = value;
    } else if (option == "-l" || option == "--level") {
      const auto level = ParseLevel(value);
      if (!level) return Fail("level must be -30.0 .. 0.0 dB in steps of 0.1: " + value);
      o.LevelDb = *level;
    } else if (option == "--debug-band") {
      if (value.size() != 1 || value.find_first_of("ABCDabcd") != 0) {
        return Fail("debug band must be A, B, C or D: " + value);
      }
      o.DebugBand = static_cast<std::uint32_t>((value[0] | 0x20) - 'a' + 1);
    } else if (option == "-j" || option == "--jobs") {
      unsigned jobs = 0;
      if (!ParseNumber(value, jobs) || jobs == 0) {
        return Fail("jobs must be a whole number of at least 1: " + value);
      }
      o.Jobs = jobs;
    } else if (option == "--meter-log") {
      if (value.empty()) return Fail("option " + option + " needs a file name");
      o.MeterLog = value;
    }
  }

  void CheckCombination() {
    const TCliOptions& o = Result_.Options;
    if (o.Help || o.Version) return;
    if (o.Inputs.empty()) return Fail("no input file given");
    if (o.Output && o.Inputs.size() > 1) return Fail("--output needs exactly one input file");
    if (o.MeterLog && o.Inputs.size() > 1) return Fail("--meter-log needs exactly one input file");
  }

  const std::vector<std::string>& Args_;
  std::size_t Index_ = 0;
  TParseResult Result_;
};

}  // namespace

TParseResult ParseCommandLine(const std::vector<std::string>& args) {
  return TParser(args).Run();
}

std::string UsageText() {
  return R"(Usage: zorv-decode [options] INPUT...
Decodes four-band compander recordings (WAV) into WAV files of the same format.

  -o, --output FILE     output file (one INPUT only); default: INPUT with "_dec"
                        before the extension ("output.wav" for paths of 240+ characters)
  -l, --level DB        reference level, -30.0 .. 0.0 dB in steps of 0.1 (default -10.0)
      --debug-band B    A, B, C or D: channel 2 of the output carries channel 1's
                        control signal of that band (stereo input only)
  -f, --force           overwrite an existing output file
  -j, --jobs N          decode up to N inputs at once (default: number of cores)
      --meter-log FILE  write the band meters' updates as CSV (one INPUT only)
      --exact           decode with the extended-precision reference arithmetic
                        (several times slower; the default fastest path writes
                        the same output files)
  -q, --quiet           no progress display
  -h, --help            show this text
  -V, --version         show the program's version

Exit status: 0 when every input was decoded, 1 when any was refused, failed or
was interrupted, 2 for a usage error.
)";
}

}  // namespace zorv::cli
