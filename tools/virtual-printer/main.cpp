// virtual-printer: a network receipt printer on this machine, for demos,
// training and tests. Options, the keys of its terminal, and the signals
// that end it; the printer itself is VirtualPrinter.

#include <CLI/CLI.hpp>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ExchangeRecord.h"
#include "Version.h"
#include "VirtualPrinter.h"

namespace {

constexpr const char* kVersion = "virtual-printer " PRINTERTEST_VERSION;
constexpr int kMaxSlowMs = 600000;      // ten minutes: longer than any client waits
constexpr int kWatchPollMs = 500;       // how often a watched process is checked where no pidfd can tell
constexpr int kMaxIdleSeconds = 86400;  // a day: as long as a trainer leaves it running

constexpr char kDescription[] =
    "Behaves like a network receipt printer: listens on TCP ports 9100 (command\n"
    "frames) and 4000 (ESC v status requests, text jobs, connection probes) and\n"
    "prints a transcript of every connection to stdout: the bytes in hex and the\n"
    "commands by name. It answers ESC v on port 4000 with three status bytes,\n"
    "and DLE EOT 1-4, GS r 1/2, GS a and GS I on either port. It has a cash\n"
    "drawer: closed at the start, opened by every drawer pulse (ESC p, DLE DC4 1).\n"
    "GS D and GS E are shown and checked, but the virtual printer stays on its address.";

// The keys of the terminal, for --help: one per simulated condition, then the rest.
std::string KeysHelp() {
  std::string conditions;
  for (const vprinter::SimulatedCondition& c : vprinter::SimulatedConditions()) {
    conditions += (conditions.empty() ? "  " : "   ") + std::string(1, c.key) + " " + c.words;
  }
  return "Keys, when started from a terminal:\n" + conditions +
         "\n"
         "                 (each toggles its condition)\n"
         "  d close the cash drawer (a drawer pulse opens it)\n"
         "  s show the state   h help   q quit (Ctrl-C works too)";
}

// The same in the one line the terminal shows.
std::string KeysLine() {
  std::string line = "keys: ";
  for (const vprinter::SimulatedCondition& c : vprinter::SimulatedConditions()) {
    if (line.size() > 6) line += ", ";
    line += std::string(1, c.key) + " " + c.words;
  }
  return line + " (toggle); d close the drawer; s state; q quit";
}

// The whole of `text` as a decimal number from `low` to `high`; nothing for
// anything else (blank, a sign where none is allowed, a base prefix, an
// exponent, trailing text).
template <typename Number>
std::optional<Number> NumberIn(std::string_view text, Number low, Number high) {
  Number n{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || n < low || n > high) return std::nullopt;
  return n;
}

// A value that must be such a number; `what` names the numbers the option
// takes in the one line that reports anything else. The number is handed on
// rewritten plainly: CLI11 itself would read "0500" as octal.
template <typename Number>
CLI::Validator DecimalIn(Number low, Number high, const std::string& what) {
  return CLI::Validator(
      [=](std::string& value) {
        const std::optional<Number> n = NumberIn<Number>(value, low, high);
        if (!n) return "takes " + what + ", not '" + value + "'";
        value = std::to_string(*n);
        return std::string();
      },
      "");
}

// A folder this user can write files into; trailing slashes go.
CLI::Validator WritableFolder() {
  return CLI::Validator(
      [](std::string& folder) {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (::access(folder.c_str(), W_OK | X_OK) == 0) return std::string();
        return "cannot write to '" + folder + "': " + std::strerror(errno);
      },
      "");
}

constexpr std::size_t kHelpColumn = 22;  // where --help starts each option's text

// What GS I answers, one option each: as a printer's own, plain ASCII.
constexpr std::size_t kMaxIdentityText = 80;  // a printer's longest answer
struct IdentityFlag {
  const char* name;
  std::string vprinter::PrinterIdentity::*text;
  const char* help;
};
const IdentityFlag kIdentityFlags[] = {
    {"--maker", &vprinter::PrinterIdentity::maker, "the maker GS I answers (default Virtual)"},
    {"--model", &vprinter::PrinterIdentity::model, "the model GS I answers (default VP-80)"},
    {"--serial", &vprinter::PrinterIdentity::serial,
     "the serial number GS I answers (default VP and the\naddress in hex)"},
    {"--firmware", &vprinter::PrinterIdentity::firmware, "the firmware GS I answers (default 1.00)"},
};

CLI::Validator IdentityText() {
  return CLI::Validator(
      [](std::string& text) {
        if (!text.empty() && text.size() <= kMaxIdentityText &&
            std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; })) {
          return std::string();
        }
        return "takes 1 to " + std::to_string(kMaxIdentityText) + " printable ASCII characters";
      },
      "");
}

struct ParsedArgs {
  vprinter::VirtualPrinterOptions options;
  pid_t stopWith = 0;  // 0: none
};

// The options into `parsed`; nothing when the program is to end at once:
// with `exitStatus` 0 after the help or the version, 2 after a usage error,
// each written out already.
std::optional<ParsedArgs> ParseArgs(int argc, char* argv[], int& exitStatus) {
  ParsedArgs parsed;
  auto& o = parsed.options;
  int idleSeconds = o.idleTimeoutMs / 1000;

  CLI::App app{kDescription, "virtual-printer"};
  app.footer(KeysHelp());
  app.get_formatter()->column_width(kHelpColumn);
  app.set_help_flag("-h,--help", "show this and exit");
  app.set_version_flag("--version", kVersion, "show the version and exit");
  // As the shell's own tools: the last of a repeated option counts, and a
  // flag takes no value.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->disable_flag_override();

  app.add_option("--address", o.address, "listen on this IPv4 address only (default 127.0.0.1)")->type_name("A");
  // The conditions it can start in, as --help lists them.
  bool first = true;
  for (const vprinter::SimulatedCondition& c : vprinter::SimulatedConditions()) {
    app.add_flag(c.option, o.flags[c.condition], vprinter::StartHelp(c, std::exchange(first, false)));
  }
  app.add_flag("--refuse", o.refuse, "listen nowhere: every connection is refused");
  app.add_flag("--silent", o.silent,
               "accept, but never answer ESC v; close only when the\n"
               "client does (or the idle time-out ends it)");
  app.add_option("--slow", o.slowMs, "wait MS milliseconds before answering ESC v")
      ->type_name("MS")
      ->transform(DecimalIn(0, kMaxSlowMs, "milliseconds from 0 to " + std::to_string(kMaxSlowMs)));
  app.add_option("--discard", o.discardMs,
                 "accept, never read, and close each connection MS\n"
                 "milliseconds later: the client sees its bytes\n"
                 "acknowledged, then the connection reset with them\n"
                 "unread (a printer busy with another client). The\n"
                 "console and printertest wait 1000 ms for it: from\n"
                 "about 1000 on they have closed by then and read the\n"
                 "bytes as delivered, the connection kept open")
      ->type_name("MS")
      ->transform(DecimalIn(1, kMaxSlowMs, "milliseconds from 1 to " + std::to_string(kMaxSlowMs)));
  app.add_option("--stop-with", parsed.stopWith, "stop when process PID ends (make demo: the console)")
      ->type_name("PID")
      ->transform(DecimalIn<pid_t>(1, std::numeric_limits<pid_t>::max(), "a process id"));
  app.add_option("--idle-timeout", idleSeconds,
                 "close a connection that sends nothing for S seconds\n"
                 "(default 60; 0 never)")
      ->type_name("S")
      ->transform(DecimalIn(0, kMaxIdleSeconds, "seconds from 0 (never) to " + std::to_string(kMaxIdleSeconds)));
  app.add_option("--receipts", o.receiptsDir,
                 "also write each print job (up to a cut or the\n"
                 "connection's end) to DIR as an HTML receipt,\n"
                 "receipt-CONNECTION-JOB.html; a file already there\n"
                 "is never replaced: the page takes the next free name")
      ->type_name("DIR")
      ->transform(WritableFolder());
  app.add_option("--paper", o.paperMm, "the receipts' paper width: 58 or 80 (default 80)")
      ->type_name("MM")
      ->check(CLI::Validator(
          [](std::string& mm) {
            return mm == "58" || mm == "80" ? std::string() : "takes 58 or 80 (mm), not '" + mm + "'";
          },
          ""));
  for (const IdentityFlag& f : kIdentityFlags) {
    app.add_option(f.name, o.identity.*f.text, f.help)->type_name("TEXT")->check(IdentityText());
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help or --version
    exitStatus = app.exit(e);
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "virtual-printer: %s\nTry 'virtual-printer --help'.\n", e.what());
    exitStatus = 2;
    return std::nullopt;
  }
  o.idleTimeoutMs = idleSeconds * 1000;
  return parsed;
}

// The signals that stop or suspend the printer. They are blocked in every
// thread, the service threads included, and the main loop reads them from a
// signalfd: none interrupts a thread, and none can arrive between two looks
// and be missed.
class StopSignals {
public:
  StopSignals() {
    constexpr int kStops[] = {SIGINT, SIGTERM, SIGHUP, SIGTSTP};
    sigemptyset(&set_);
    for (int signo : kStops) sigaddset(&set_, signo);
    if (::pthread_sigmask(SIG_BLOCK, &set_, nullptr) != 0) return;
    // A shell may start the printer with Ctrl-C ignored (`make demo` does, so
    // that Ctrl-C ends only the printer): it takes them all the same, and
    // Ctrl-Z stops it by the default action.
    for (int signo : kStops) ::signal(signo, SIG_DFL);
    fd_ = ::signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
  }
  ~StopSignals() {
    if (fd_ >= 0) ::close(fd_);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  int fd() const { return fd_; }
  // The next signal that came, or 0 when none is waiting.
  int Next() const {
    signalfd_siginfo info{};
    return ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
  }

private:
  sigset_t set_{};
  int fd_ = -1;
};

// Single keys without Enter and without echo; output and Ctrl-C stay as they
// were, so the transcript still reads line by line and Ctrl-C still quits.
class RawTerminal {
public:
  RawTerminal() {
    if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    active_ = true;
    Enter();
  }
  ~RawTerminal() { Restore(); }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

  bool active() const { return active_; }
  void Enter() {
    if (!active_) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  void Restore() {
    if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }

private:
  termios saved_{};
  bool active_ = false;
};

// Hands the terminal back as it was, stops like any program on Ctrl-Z, and
// takes the keys again when continued.
void Suspend(RawTerminal& terminal) {
  terminal.Restore();
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  ::raise(SIGTSTP);                                // waits, blocked
  ::pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);  // stops here until continued
  ::pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  terminal.Enter();
}

// Another process the printer ends with. Its pidfd becomes readable when it
// ends; where the kernel gives none, it is checked every kWatchPollMs.
class ProcessWatch {
public:
  explicit ProcessWatch(pid_t pid) : pid_(pid) {
    // Through syscall(): Debian 12's <sys/pidfd.h> lacks C linkage for C++.
    if (pid_ > 0) fd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  }
  ~ProcessWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;

  pid_t pid() const { return pid_; }
  int fd() const { return fd_; }
  int PollTimeoutMs() const { return pid_ > 0 && fd_ < 0 ? kWatchPollMs : -1; }
  bool Ended() const {
    if (pid_ <= 0) return false;
    if (fd_ >= 0) {
      pollfd p{fd_, POLLIN, 0};
      return ::poll(&p, 1, 0) > 0;
    }
    return ::kill(pid_, 0) != 0 && errno == ESRCH;
  }

private:
  pid_t pid_;
  int fd_ = -1;
};

void Toggle(vprinter::VirtualPrinter& printer, char key) {
  for (const vprinter::SimulatedCondition& c : vprinter::SimulatedConditions()) {
    if (c.key != key) continue;
    vprinter::StatusFlags f = printer.Flags();
    const bool on = f[c.condition] = !f[c.condition];
    printer.SetFlags(f, std::string("key ") + key + ": " + c.words + (on ? " on" : " off"));
    return;
  }
}

// Runs until q, Ctrl-C, SIGTERM, SIGHUP or the end of the watched process.
void Serve(vprinter::VirtualPrinter& printer, RawTerminal& terminal, const StopSignals& signals,
           const ProcessWatch& watch) {
  bool keys = terminal.active();
  for (;;) {
    if (watch.Ended()) {
      printer.Note("process " + std::to_string(watch.pid()) + " ended: stopping");
      return;
    }
    // Woken by a key, a signal or the watched process's end; nothing else to do.
    pollfd fds[3] = {{signals.fd(), POLLIN, 0}, {keys ? STDIN_FILENO : -1, POLLIN, 0}, {watch.fd(), POLLIN, 0}};
    const int ready = ::poll(fds, 3, watch.PollTimeoutMs());
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) {
      while (const int signo = signals.Next()) {
        if (signo == SIGTSTP) {
          Suspend(terminal);
          continue;
        }
        printer.Note(std::string("signal ") + sigabbrev_np(signo) + ": stopping");
        return;
      }
    }
    if (keys && fds[1].revents != 0) {
      char key = 0;
      const ssize_t n = ::read(STDIN_FILENO, &key, 1);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        keys = false;  // the terminal is gone; signals still end the program
        continue;
      }
      if (n != 1) continue;
      switch (key) {
        case 'q':
        case 'Q':
        case 0x04:  // Ctrl-D
          printer.Note("key q: stopping");
          return;
        case 's': printer.Note(printer.StateLine()); break;
        case 'd': printer.SetDrawer(false, "key d: drawer closed"); break;
        case 'h':
        case '?': printer.Note(KeysLine()); break;
        default: Toggle(printer, key);
      }
    }
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  int exitStatus = 0;
  const std::optional<ParsedArgs> parsed = ParseArgs(argc, argv, exitStatus);
  if (!parsed) return exitStatus;
  std::string error;
  // Before the printer starts its threads, so that they block the signals too.
  const StopSignals signals;
  if (signals.fd() < 0) {
    std::fprintf(stderr, "virtual-printer: cannot take signals: %s\n", std::strerror(errno));
    return 1;
  }

  vprinter::VirtualPrinter printer(parsed->options, std::cout);
  if (!printer.Start(error)) {
    std::fprintf(stderr, "virtual-printer: %s\n", error.c_str());
    return 1;
  }
  RawTerminal terminal;
  printer.Note(std::string(kVersion) + " on " + parsed->options.address + ", " + printerlink::LocalTimeNow("%Y-%m-%d") +
               ": port 9100 takes frames, port 4000 answers ESC v and takes text jobs and probes");
  printer.Note(printer.StateLine());
  if (terminal.active()) printer.Note(KeysLine());

  const ProcessWatch watch(parsed->stopWith);
  Serve(printer, terminal, signals, watch);
  printer.Stop();
  terminal.Restore();
  return 0;
}
