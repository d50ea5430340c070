#pragma once
// printertest check: one status read as a monitoring plugin reports it, for
// the engines that run such plugins (installed as check_printer). Exit 0 OK,
// 1 WARNING, 2 CRITICAL, 3 UNKNOWN; the first line is the state and a short
// summary, then `|` and the performance data; later lines hold the status
// bytes and every condition.
//
// The pure parts (ranges, performance data, the verdict) are plain functions;
// RunCheck adds the read itself under the plugin's own time-out.

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "PrinterCommands.h"

namespace printercli {

enum class PluginState { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

// "OK", "WARNING", "CRITICAL", "UNKNOWN".
const char* StateWord(PluginState state);
// The state that tells more: OK < UNKNOWN < WARNING < CRITICAL. A printer
// known to be busy is a warning even where another of its bytes is missing.
PluginState Worse(PluginState a, PluginState b);

// A threshold in the plugins' range syntax, [@]start:end: "10" is 0 to 10,
// "10:" is 10 and up, "~:10" is up to 10, "10:20" is 10 to 20, ends included.
// A value outside the range alerts; with "@" a value inside it does.
struct Range {
  double start = 0;
  double end = std::numeric_limits<double>::infinity();  // start may be -infinity (~)
  bool alertInside = false;
  std::string text;  // as given: it goes back into the performance data

  bool Alerts(double value) const;
};
// Nothing for text that is no range, or whose start lies above its end.
std::optional<Range> ParseRange(std::string_view text);

// One value of the performance data: 'label'=value[unit];[warn];[crit];[min];[max].
// A value that could not be read is written as U.
struct PerfValue {
  std::string label;
  std::optional<double> value;
  std::string unit;
  std::string warn, crit;
  std::optional<double> min, max;
};
// The values separated by spaces, each label quoted (a quote in it doubled),
// trailing empty fields left off.
std::string PerfData(std::span<const PerfValue> values);

struct CheckOptions {
  std::string address;         // -H, checked
  double timeoutSeconds = 10;  // -t: the whole check
  std::optional<Range> warning, critical;
};

// What the plugin says of a status read that took `seconds`: its state and
// its whole output, first line and later lines, each ending in a line feed.
struct Verdict {
  PluginState state = PluginState::Unknown;
  std::string output;
};
Verdict Judge(const printerlink::StatusRead& read, double seconds, const CheckOptions& options);

// Where a check was when its own time-out struck, in a few words: "waiting
// for the reply on port 4000".
enum class CheckStage { Starting, Connecting, Sending, Waiting };
std::string StageWords(CheckStage stage, std::uint16_t port);
// The verdict when the plugin's own time-out of `seconds` ran out during
// `stage`: a first line short enough for a pager, the rest after it.
Verdict TimedOut(const std::string& stage, double seconds);
// The verdict on arguments that cannot be used: one line.
Verdict BadArguments(const std::string& error);

// -t's SECONDS: more than 0, at most an hour, decimals allowed.
std::optional<double> ParseTimeoutSeconds(std::string_view text);

// Whether the program was started by the name check_printer (a path's last part).
bool StartedAsPlugin(std::string_view program);
// The arguments printertest runs with: the same, or when it was started by
// the name check_printer, the check command put in front of them.
std::vector<std::string> PluginArguments(int argc, char** argv);

// What check's help ends with: the plugin's own exit codes, not
// printertest's, and the range syntax in a line.
std::string CheckHelpFooter();

// The read under the time-out, then the verdict on standard output. Returns
// the exit status; a time-out ends the process with UNKNOWN at once.
int RunCheck(Session& session, const CheckOptions& options);

// check's arguments as typed; RunCheckCommand reads them, then runs the check.
struct CheckArgs {
  std::string hostname;
  std::string timeout = "10";
  std::string warning, critical;
  bool version = false;
};
int RunCheckCommand(Session& session, const CheckArgs& args);

}  // namespace printercli
