#include "Check.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <ostream>
#include <thread>

#include "CliInput.h"
#include "OutcomeWords.h"
#include "PrinterDecoder.h"
#include "Version.h"

namespace printercli {
namespace {

using printerlink::ConditionRow;
using printerlink::SocketHandle;
using printerlink::SocketLibrary;
using Clock = std::chrono::steady_clock;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A number as the plugins' ranges and performance data write it: digits, an
// optional sign and decimals; never an exponent, "inf" or "nan".
std::optional<double> Number(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A value as the plugins' grammar allows it, [-0-9.]: plain decimals, never
// an exponent (%g would write 90 us as 9e-05), to the microsecond, trailing
// zeros left off.
std::string Plain(double value) {
  std::string text = Fixed(value, 6);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

// The socket library under a check: it passes every call on and notes what
// is going on, so that a time-out can say where it struck.
class StageNoting final : public SocketLibrary {
public:
  explicit StageNoting(SocketLibrary& inner) : inner_(inner) {}

  std::string Stage() const { return StageWords(doing_.load(), port_.load()); }

  int Startup(printerlink::SocketVersion requested, printerlink::SocketVersion& granted) override {
    return inner_.Startup(requested, granted);
  }
  void Cleanup() override { inner_.Cleanup(); }
  SocketHandle OpenTcp() override { return inner_.OpenTcp(); }
  void Close(SocketHandle socket) override { inner_.Close(socket); }
  int SetSendTimeout(SocketHandle socket, int ms) override { return inner_.SetSendTimeout(socket, ms); }
  int SetNonBlocking(SocketHandle socket, bool on) override { return inner_.SetNonBlocking(socket, on); }
  int StartConnect(SocketHandle socket, const printerlink::Endpoint& to) override {
    port_ = to.port;
    doing_ = CheckStage::Connecting;
    return inner_.StartConnect(socket, to);
  }
  int WaitConnected(std::span<printerlink::ConnectWaitSlot> slots, int ms) override {
    return inner_.WaitConnected(slots, ms);
  }
  int PendingError(SocketHandle socket) override { return inner_.PendingError(socket); }
  printerlink::IoResult Send(SocketHandle socket, const std::uint8_t* data, std::size_t length) override {
    doing_ = CheckStage::Sending;
    return inner_.Send(socket, data, length);
  }
  int WaitAcknowledged(SocketHandle socket, int ms, std::size_t& unacknowledged) override {
    return inner_.WaitAcknowledged(socket, ms, unacknowledged);
  }
  printerlink::IoResult Receive(SocketHandle socket, std::uint8_t* data, std::size_t capacity) override {
    return inner_.Receive(socket, data, capacity);
  }
  int ShutdownSend(SocketHandle socket) override { return inner_.ShutdownSend(socket); }
  int WaitPeerClosed(SocketHandle socket, int ms) override { return inner_.WaitPeerClosed(socket, ms); }
  int WaitReadable(SocketHandle socket, int ms) override {
    doing_ = CheckStage::Waiting;
    return inner_.WaitReadable(socket, ms);
  }
  void Sleep(int ms) override {
    doing_ = CheckStage::Waiting;
    inner_.Sleep(ms);
  }

private:
  SocketLibrary& inner_;
  std::atomic<CheckStage> doing_{CheckStage::Starting};
  std::atomic<std::uint16_t> port_{0};
};

PluginState StateOf(printerlink::Severity severity) {
  return severity == printerlink::Severity::Critical ? PluginState::Critical : PluginState::Warning;
}

}  // namespace

const char* StateWord(PluginState state) {
  switch (state) {
    case PluginState::Ok: return "OK";
    case PluginState::Warning: return "WARNING";
    case PluginState::Critical: return "CRITICAL";
    case PluginState::Unknown: break;
  }
  return "UNKNOWN";
}

PluginState Worse(PluginState a, PluginState b) {
  const auto rank = [](PluginState s) {
    return s == PluginState::Ok ? 0 : s == PluginState::Unknown ? 1 : s == PluginState::Warning ? 2 : 3;
  };
  return rank(a) >= rank(b) ? a : b;
}

bool Range::Alerts(double value) const {
  const bool inside = value >= start && value <= end;
  return alertInside ? inside : !inside;
}

std::optional<Range> ParseRange(std::string_view text) {
  Range r;
  r.text = std::string(text);
  if (text.starts_with('@')) {
    r.alertInside = true;
    text.remove_prefix(1);
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    const auto end = Number(text);
    if (!end) return std::nullopt;
    r.end = *end;
  } else {
    const std::string_view start = text.substr(0, colon);
    const std::string_view end = text.substr(colon + 1);
    if (start.empty() && end.empty()) return std::nullopt;  // a colon alone names no range
    if (start == "~") {
      r.start = -kInfinity;
    } else if (!start.empty()) {
      const auto value = Number(start);
      if (!value) return std::nullopt;
      r.start = *value;
    }
    if (!end.empty()) {
      const auto value = Number(end);
      if (!value) return std::nullopt;
      r.end = *value;
    }
  }
  if (r.start > r.end) return std::nullopt;
  return r;
}

std::string PerfData(std::span<const PerfValue> values) {
  std::string out;
  for (const PerfValue& v : values) {
    if (!out.empty()) out += ' ';
    out += '\'';
    for (char c : v.label) out += c == '\'' ? std::string("''") : std::string(1, c);
    out += "'=";
    out += v.value ? Plain(*v.value) : "U";
    if (v.value) out += v.unit;
    std::string fields[] = {v.warn, v.crit, v.min ? Plain(*v.min) : "", v.max ? Plain(*v.max) : ""};
    std::size_t used = 4;
    while (used > 0 && fields[used - 1].empty()) --used;
    for (std::size_t i = 0; i < used; ++i) out += ';' + fields[i];
  }
  return out;
}

Verdict Judge(const printerlink::StatusRead& read, double seconds, const CheckOptions& options) {
  const printerlink::Done& done = read.done;
  Verdict v{PluginState::Ok, {}};
  std::string summary;
  if (!read.answered) {
    v.state = PluginState::Critical;
    summary = Tr(IDS_OFFLINE, Language::English);
    if (!done.records.empty()) {
      const printerlink::ExchangeRecord& r = done.Deciding();
      summary += ", " + printerlink::FailureCause(r, Language::English) + " on port " + std::to_string(r.port);
    }
  } else {
    std::string faults, all;
    bool unknown = false;
    for (const ConditionRow& row : printerlink::kConditions) {
      all += std::string(all.empty() ? "" : ", ") + Caption(row, read);
      if (!row.byte) continue;
      const auto& set = read.conditions[printerlink::IndexOf(row.condition)];
      unknown = unknown || !set;
      if (!set.value_or(false)) continue;
      faults += std::string(", ") + Caption(row, read);
      v.state = Worse(v.state, StateOf(row.severity));
    }
    summary = Tr(IDS_ONLINE, Language::English) + faults;
    if (unknown) {
      v.state = Worse(v.state, PluginState::Unknown);
      summary += ", only " + std::to_string(done.received) + " of " + std::to_string(printerlink::kStatusByteCount) +
                 " status bytes";
    } else if (faults.empty()) {
      summary = all;
    }
  }
  // The thresholds on the time can only make the state worse.
  const PluginState timed = options.critical && options.critical->Alerts(seconds) ? PluginState::Critical
                            : options.warning && options.warning->Alerts(seconds) ? PluginState::Warning
                                                                                  : PluginState::Ok;
  if (timed != PluginState::Ok) {
    summary += ", status read in " + Fixed(seconds, 3) + " s";
    v.state = Worse(v.state, timed);
  }

  std::vector<PerfValue> perf;
  perf.push_back({"time", seconds, "s", options.warning ? options.warning->text : "",
                  options.critical ? options.critical->text : "", 0.0, std::nullopt});
  for (std::size_t i = 0; i < printerlink::kStatusByteCount; ++i) {
    const std::optional<double> byte =
        read.answered && i < done.received ? std::optional<double>(done.reply[i]) : std::nullopt;
    perf.push_back({"status_byte_" + std::to_string(i + 1), byte, "", "", "", 0.0, 255.0});
  }
  for (const ConditionRow& row : printerlink::kConditions) {
    const auto value = NamedValue(row, read);
    perf.push_back({row.name, value ? std::optional<double>(*value ? 1 : 0) : std::nullopt, "", "", "", 0.0, 1.0});
  }

  v.output = std::string("PRINTER ") + StateWord(v.state) + " - " + summary + " | " + PerfData(perf) + "\n";
  const std::span<const std::uint8_t> bytes(done.reply.data(), read.answered ? done.received : 0);
  v.output += "Status bytes: " + (bytes.empty() ? std::string("none") : printerlink::HexBytes(bytes)) + "\n";
  for (const ConditionRow& row : printerlink::kConditions) {
    v.output += std::string(row.name) + ": " + Caption(row, read) + "\n";
  }
  if (!read.answered && !done.records.empty()) {
    const printerlink::ExchangeRecord& r = done.Deciding();
    v.output += r.address + ":" + std::to_string(r.port) + ": " + OutcomeWords(r, Language::English) + "\n";
  }
  v.output += "Status read: " + Fixed(seconds, 6) + " s\n";
  return v;
}

std::string StageWords(CheckStage stage, std::uint16_t port) {
  const std::string on = std::to_string(port);
  switch (stage) {
    case CheckStage::Connecting: return "connecting to port " + on;
    case CheckStage::Sending: return "sending the query to port " + on;
    case CheckStage::Waiting: return "waiting for the reply on port " + on;
    case CheckStage::Starting: break;
  }
  return "starting the status read";
}

Verdict TimedOut(const std::string& stage, double seconds) {
  return {PluginState::Unknown, "PRINTER UNKNOWN - -t " + Plain(seconds) + " s ran out " + stage +
                                    "\nThe check's own time-out ran out before the status read ended: the "
                                    "printer's state is not known.\n"};
}

Verdict BadArguments(const std::string& error) { return {PluginState::Unknown, "PRINTER UNKNOWN - " + error + "\n"}; }

std::optional<double> ParseTimeoutSeconds(std::string_view text) {
  const auto seconds = Number(text);
  if (!seconds || *seconds <= 0 || *seconds > 3600) return std::nullopt;
  return seconds;
}

bool StartedAsPlugin(std::string_view program) {
  const std::size_t slash = program.rfind('/');
  return program.substr(slash == std::string_view::npos ? 0 : slash + 1) == "check_printer";
}

std::vector<std::string> PluginArguments(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  if (!args.empty() && StartedAsPlugin(args[0])) args.insert(args.begin() + 1, "check");
  return args;
}

std::string CheckHelpFooter() {
  using printerlink::Severity;
  return "Exit status, as monitoring engines read it:\n"
         "  0  OK        on-line, every condition fine\n"
         "  1  WARNING   " +
         ConditionWords(" or ", Severity::Warning) +
         "; or the read's seconds outside -w\n"
         "  2  CRITICAL  off-line (refused, unreachable, closed, no reply),\n"
         "               " +
         ConditionWords(" or ", Severity::Critical) +
         "; or the read's seconds outside -c\n"
         "  3  UNKNOWN   fewer than three status bytes, -t ran out, a bad argument, -h or -V\n"
         "\n"
         "RANGE: [@][START:][END] seconds, ends included, ~ no start; alerts outside, @ inside: 0.5 1: '~:2' @1:2";
}

int RunCheck(Session& s, const CheckOptions& options) {
  StageNoting noting(s.sockets);
  printerlink::Printer printer{noting, options.address, s.timings, s.probeWaitMs, s.log};
  // The printer's own time: the reply is taken the moment its bytes are in.
  printer.timings.replyWait = printerlink::ReplyWait::AsItArrives;

  struct Read {
    printerlink::StatusRead read;
    double seconds = 0;
  };
  std::promise<Read> promise;
  std::future<Read> result = promise.get_future();
  std::thread worker([&] {
    const Clock::time_point start = Clock::now();
    printerlink::StatusRead read = printerlink::ReadStatus(printer);
    promise.set_value({std::move(read), std::chrono::duration<double>(Clock::now() - start).count()});
  });
  if (result.wait_for(std::chrono::duration<double>(options.timeoutSeconds)) != std::future_status::ready) {
    // The read may go on for its own bounds; the engine wants its answer now.
    s.out << TimedOut(noting.Stage(), options.timeoutSeconds).output << std::flush;
    s.err << std::flush;
    std::_Exit(static_cast<int>(PluginState::Unknown));
  }
  worker.join();
  const Read r = result.get();
  const Verdict v = Judge(r.read, r.seconds, options);
  s.out << v.output << std::flush;
  return static_cast<int>(v.state);
}

int RunCheckCommand(Session& s, const CheckArgs& a) {
  const auto refuse = [&s](const std::string& error) {
    const Verdict v = BadArguments(error);
    s.out << v.output;
    return static_cast<int>(v.state);
  };
  if (a.version) {
    s.out << "check_printer (printertest " PRINTERTEST_VERSION ")\n";
    return static_cast<int>(PluginState::Unknown);
  }
  CheckOptions options;
  if (a.hostname.empty()) return refuse("-H: the printer's IPv4 address is missing (check_printer -H ADDRESS)");
  if (!ParseAddress(a.hostname)) return refuse("-H: \"" + a.hostname + "\" is not an IPv4 address like 192.168.1.50");
  options.address = a.hostname;
  const auto timeout = ParseTimeoutSeconds(a.timeout);
  if (!timeout) return refuse("-t: \"" + a.timeout + "\" is not a number of seconds above 0 and up to 3600");
  options.timeoutSeconds = *timeout;
  const std::pair<const std::string&, std::optional<Range>&> thresholds[] = {{a.warning, options.warning},
                                                                             {a.critical, options.critical}};
  for (const auto& [text, range] : thresholds) {
    if (text.empty()) continue;
    range = ParseRange(text);
    if (!range) {
      return refuse(std::string(&text == &a.warning ? "-w" : "-c") + ": \"" + text +
                    "\" is not a range of seconds like 0.5, 1:, ~:2, 1:2 or @1:2");
    }
  }
  return RunCheck(s, options);
}

}  // namespace printercli
