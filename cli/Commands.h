#pragma once
// Every command of the command-line program: each takes its already checked
// arguments, talks to the printer through the link layer, writes what
// happened (words or one JSON object) and returns the exit status.

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "CliText.h"
#include "ExchangeRecord.h"
#include "Frames.h"
#include "PrinterCommands.h"
#include "SocketLibrary.h"
#include "SweepHosts.h"
#include "Transport.h"

namespace printercli {

// The exit statuses, as --help and the manual page list them.
inline constexpr int kExitOk = 0;           // done; for status: no condition needs attention
inline constexpr int kExitAttention = 1;    // status: cover open, paper end, over temperature, paused or busy
inline constexpr int kExitUsage = 2;        // the command line or its input was wrong; nothing was sent
inline constexpr int kExitUnreachable = 3;  // the printer could not be reached or refused the connection
inline constexpr int kExitPartial = 4;      // the exchange failed part-way: not every byte taken, no reply

// The exit status of an exchange that ended so.
int ExitFor(printerlink::Outcome outcome);

// What one status query found, and the exit status it gives. The printer is
// on-line when it accepted the connection on the frame port and answered
// ESC v on the reply port.
struct StatusReading {
  printerlink::StatusRead read;
  int exit = kExitOk;

  // Equal when a technician watching the lamps would see no difference.
  bool SameLamps(const StatusReading& other) const;
};

struct Session {
  printerlink::SocketLibrary& sockets;
  std::string printer;  // dotted quad, already checked
  bool json = false;
  Language language = Language::English;
  printerlink::ExchangeObserver* log = nullptr;  // the --log file, when there is one
  std::ostream& out;
  std::ostream& err;
  printerlink::LinkTimings timings{};
  int probeWaitMs = printerlink::kProbeWaitMs;
  int sweepWaitMs = printerlink::kSweepProbeWaitMs;
  bool progress = false;  // standard error is a terminal: a progress line may be rewritten in place
  // Asked between polls of status --watch; true ends the watch (Ctrl-C).
  std::function<bool()> stopRequested = [] { return false; };

  // The printer at `address` as the command layer takes it.
  printerlink::Printer At(const std::string& address) const { return {sockets, address, timings, probeWaitMs, log}; }
};

StatusReading ReadStatus(Session& session, const std::string& address);

// Whether the condition holds as its name says ("online" is true when the
// printer answered, "cover_open" when the cover is open); nothing while it
// is unknown. What the JSON states, the plugin's performance data and the
// metrics report.
std::optional<bool> NamedValue(const printerlink::ConditionRow& row, const printerlink::StatusRead& read);
// The condition's lamp caption after that read: the fault's ("Cover Open"),
// the fine state's, or "Cover ?" while it is unknown. English for the
// monitoring output unless told.
const char* Caption(const printerlink::ConditionRow& row, const printerlink::StatusRead& read,
                    Language language = Language::English);

// "a, b or c": the words joined, `last` before the last one.
std::string Joined(const std::vector<std::string>& words, const char* last);
// The conditions as JSON names them ("online, cover_open, ..."), in the table's order.
std::string ConditionNames(const char* last);
// The conditions a status byte tells, in words ("cover open, busy, ..."), in
// the table's order; only those of `severity` when one is given.
std::string ConditionWords(const char* last, std::optional<printerlink::Severity> severity = std::nullopt);

int RunTest(Session& session);
int RunStatus(Session& session);
int RunWatch(Session& session, int intervalSeconds);
// Makes an operation's exchanges with the printer, one after another until
// one fails, and says how they went.
int RunOperation(Session& session, const char* command, const printerlink::Plan& plan);
int RunHex(Session& session, const std::vector<std::uint8_t>& bytes);
int RunSetIp(Session& session, const printerlink::Ipv4Octets& next);
int RunSetMac(Session& session, const printerlink::MacBytes& mac);
// With details, each found printer's MAC, vendor and identity, asked of all at once.
int RunSweep(Session& session, const std::array<std::uint8_t, 3>& subnet, bool withStatus, bool withDetails = false);
// The printer's maker, model, serial number, firmware, MAC and vendor.
int RunIdentify(Session& session);
// Set IP, then a probe of the new address once a second for up to `seconds`:
// 0 when the same printer answers there, 1 another one, 4 nothing.
int RunSetIpFollow(Session& session, const printerlink::Ipv4Octets& next, int seconds);
// The drawer sensor before the pulse and after it: 0 opened, 1 no change.
int RunDrawerCheck(Session& session, bool sensorInverted);

// The console's test page with its time line, as TestPagePlan takes it.
std::string TestPageNow();

}  // namespace printercli
