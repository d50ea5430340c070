// The virtual printer as a technician runs it: the built program on a
// terminal of its own (a pseudo-terminal), keys pressed there, and the status
// bytes it then answers to ESC v on loopback.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "Frames.h"
#include "LoopbackOnlyLibrary.h"
#include "TestAddress.h"
#include "Transport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kWaitMs = 5000;  // the most a test waits for the program to answer

// Runs a program on a fresh pseudo-terminal, as if started from a shell:
// in a session of its own with the terminal as its controlling one, or as a
// job of this process's session, which job control can stop and continue.
class OnTerminal {
public:
  enum class As { OwnSession, Job };
  explicit OnTerminal(std::vector<std::string> args, As as = As::OwnSession) {
    int slave = -1;
    if (as == As::Job && ::openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) return;
    pid_ = as == As::Job ? ::fork() : ::forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      if (as == As::Job) {
        ::setpgid(0, 0);
        for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(slave, fd);
      }
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    if (slave >= 0) ::close(slave);
  }
  ~OnTerminal() {
    if (pid_ > 0 && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }
  bool started() const { return pid_ > 0 && master_ >= 0; }
  const std::string& output() const { return output_; }

  void Type(const std::string& keys) { [[maybe_unused]] const ssize_t n = ::write(master_, keys.data(), keys.size()); }

  // Reads what the program writes until `text` shows after the last text
  // waited for, or the bound passes.
  bool WaitFor(const std::string& text, int timeoutMs = kWaitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (const std::size_t at = output_.find(text, seen_); at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[512];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) return false;  // the program has gone
      output_.append(buf, static_cast<std::size_t>(n));
    }
  }

  // The exit status once the program has ended within the bound; 128 + the
  // signal when a signal ended it.
  std::optional<int> WaitExit(int timeoutMs = kWaitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!status_ && Clock::now() < deadline) {
      int raw = 0;
      if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      } else {
        WaitFor("\x01never", 20);  // drains the output meanwhile
      }
    }
    return status_;
  }

  // Whether the program stopped (as on Ctrl-Z) within the bound.
  bool WaitStopped(int timeoutMs = kWaitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
      int raw = 0;
      if (::waitpid(pid_, &raw, WNOHANG | WUNTRACED) == pid_ && WIFSTOPPED(raw)) return true;
      WaitFor("\x01never", 20);
    }
    return false;
  }
  void Signal(int signo) const { ::kill(pid_, signo); }

  // Whether the terminal is back in line mode with echo, as the shell left it.
  bool TerminalRestored() const {
    termios t{};
    return ::tcgetattr(master_, &t) == 0 && (t.c_lflag & ICANON) && (t.c_lflag & ECHO);
  }

private:
  pid_t pid_ = -1;
  int master_ = -1;
  std::string output_;
  std::size_t seen_ = 0;  // where the next WaitFor starts looking
  std::optional<int> status_;
};

class VirtualPrinterTerminal : public ::testing::Test {
protected:
  void TearDown() override {
    EXPECT_EQ(library.startups, library.cleanups);
    EXPECT_EQ(library.opened, library.closed);
  }
  Bytes Status(const std::string& address) {
    printerlink::CommandFrame frame;
    printerlink::ReplyBuffer reply{};
    const printerlink::LinkResult r = printerlink::ExchangeFrame(
        library, address, std::span(frame.data(), printerlink::BuildStatusQueryFrame(frame)), true, reply);
    if (!r.ok() || r.received < 3) return {};
    return Bytes(reply.begin(), reply.begin() + 3);
  }
  testsupport::LoopbackOnlyLibrary library;
};

TEST_F(VirtualPrinterTerminal, EachKeyTogglesItsConditionInTheStatusBytes) {
  const std::string address = testsupport::TestAddress();
  OnTerminal printer({VIRTUAL_PRINTER_BINARY, "--address", address});
  ASSERT_TRUE(printer.started());
  ASSERT_TRUE(printer.WaitFor("keys: c cover open")) << "the key help shows on a terminal:\n" << printer.output();
  EXPECT_EQ(Status(address), (Bytes{0x00, 0x00, 0x00}));

  const struct {
    const char* catches;
    char key;
    Bytes status;
  } cases[] = {
      {"c opens the cover: byte 0 bit 0x20", 'c', {0x20, 0x00, 0x00}},
      {"b adds busy: byte 0 bit 0x08", 'b', {0x28, 0x00, 0x00}},
      {"t adds over temperature: byte 1 bit 0x40", 't', {0x28, 0x40, 0x00}},
      {"p adds paused: byte 1 bit 0x10", 'p', {0x28, 0x50, 0x00}},
      {"e adds paper end: byte 2 bits 0x0C", 'e', {0x28, 0x50, 0x0C}},
      {"c again closes the cover, the rest stay", 'c', {0x08, 0x50, 0x0C}},
  };
  for (const auto& c : cases) {
    printer.Type(std::string(1, c.key));
    // The printer notes each key before it answers with the new bytes.
    ASSERT_TRUE(printer.WaitFor(std::string("key ") + c.key + ": ")) << c.catches << "\n" << printer.output();
    EXPECT_EQ(Status(address), c.status) << c.catches;
  }
  printer.Type("q");
  EXPECT_EQ(printer.WaitExit(), 0);
}

TEST_F(VirtualPrinterTerminal, EveryWayOutEndsCleanlyAndGivesTheTerminalBack) {
  const struct {
    const char* catches;
    std::string keys;
    std::string note;
    bool startedWithCtrlCIgnored;  // as `make demo` starts it, so that Ctrl-C ends only the printer
  } cases[] = {
      {"q quits", "q", "key q: stopping", false},
      {"Ctrl-C quits with status 0, not by the signal", "\x03", "signal INT: stopping", false},
      {"Ctrl-C quits though the shell that started it ignores Ctrl-C", "\x03", "signal INT: stopping", true},
      {"Ctrl-D quits", "\x04", "key q: stopping", false},
  };
  int host = 1;
  for (const auto& c : cases) {
    const std::string address = testsupport::TestAddress(host++);
    OnTerminal printer(c.startedWithCtrlCIgnored
                           ? std::vector<std::string>{"/bin/sh", "-c",
                                                      std::string("trap '' INT; exec ") + VIRTUAL_PRINTER_BINARY +
                                                          " --address " + address}
                           : std::vector<std::string>{VIRTUAL_PRINTER_BINARY, "--address", address});
    ASSERT_TRUE(printer.started());
    ASSERT_TRUE(printer.WaitFor("keys: ")) << c.catches;
    printer.Type(c.keys);
    EXPECT_TRUE(printer.WaitFor(c.note)) << c.catches << "\n" << printer.output();
    EXPECT_EQ(printer.WaitExit(), 0) << c.catches;
    EXPECT_TRUE(printer.TerminalRestored()) << c.catches << ": the terminal is left without echo";
  }
}

TEST_F(VirtualPrinterTerminal, CtrlZStopsWithTheTerminalGivenBackAndContinuedItTakesKeysAgain) {
  // A job of a shell with job control; the shell's terminal turns Ctrl-Z into
  // SIGTSTP for it.
  const std::string address = testsupport::TestAddress();
  OnTerminal printer({VIRTUAL_PRINTER_BINARY, "--address", address}, OnTerminal::As::Job);
  ASSERT_TRUE(printer.started());
  ASSERT_TRUE(printer.WaitFor("keys: "));
  printer.Signal(SIGTSTP);
  ASSERT_TRUE(printer.WaitStopped()) << "Ctrl-Z stops it like any program\n" << printer.output();
  EXPECT_TRUE(printer.TerminalRestored()) << "the shell gets its terminal back while the printer is stopped";
  printer.Signal(SIGCONT);
  printer.Type("c");
  EXPECT_TRUE(printer.WaitFor("key c: cover open on")) << "continued, it takes keys again\n" << printer.output();
  EXPECT_EQ(Status(address), (Bytes{0x20, 0x00, 0x00}));
  printer.Type("q");
  EXPECT_EQ(printer.WaitExit(), 0);
}

TEST_F(VirtualPrinterTerminal, BadOptionEndsWithOneLineNamingItAndStatusTwo) {
  const struct {
    const char* fault;
    std::vector<std::string> args;
    const char* named;
  } cases[] = {
      {"a hexadecimal number taken", {"--slow", "0x10"}, "--slow: takes milliseconds from 0 to 600000, not '0x10'"},
      {"a missing value taken from the next option", {"--slow", "--busy"}, "--slow"},
      {"a missing value at the end", {"--idle-timeout"}, "--idle-timeout"},
      {"a negative time taken", {"--idle-timeout", "-1"}, "--idle-timeout: takes seconds"},
      {"a paper width between the two", {"--paper", "70"}, "--paper: takes 58 or 80 (mm), not '70'"},
      {"a flag given a value", {"--busy=1"}, "busy"},
      {"a stray word ignored", {"printer"}, "printer"},
      {"an unknown option ignored", {"--fast"}, "--fast"},
      {"receipts promised to a folder that cannot take them",
       {"--receipts", "/nonexistent/receipts"},
       "--receipts: cannot write to '/nonexistent/receipts'"},
      {"a discard time of 0: hanging up at once is another failure", {"--discard", "0"}, "--discard"},
      {"process 0 watched: the printer's own group", {"--stop-with", "0"}, "--stop-with: takes a process id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    std::vector<std::string> args = {VIRTUAL_PRINTER_BINARY};
    args.insert(args.end(), c.args.begin(), c.args.end());
    OnTerminal printer(args);
    ASSERT_TRUE(printer.started());
    EXPECT_EQ(printer.WaitExit(), 2);
    const std::string& out = printer.output();
    EXPECT_EQ(out.rfind("virtual-printer: ", 0), 0u) << out;
    EXPECT_NE(out.substr(0, out.find('\n')).find(c.named), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << "the error, then where to look:\n" << out;
  }
}

TEST_F(VirtualPrinterTerminal, NumbersAreDecimalWithLeadingZerosAndTheLastOfARepeatCounts) {
  const std::string address = testsupport::TestAddress();
  OnTerminal printer({VIRTUAL_PRINTER_BINARY, "--address", address, "--slow", "9", "--slow", "0500"});
  ASSERT_TRUE(printer.started());
  EXPECT_TRUE(printer.WaitFor("answering ESC v after 500 ms")) << "0500 read as octal 320\n" << printer.output();
  printer.Type("q");
  EXPECT_EQ(printer.WaitExit(), 0);
}

TEST_F(VirtualPrinterTerminal, StopsWhenTheProcessItWatchesEnds) {
  // The console's place in `make demo`: a process the printer ends with.
  const pid_t console = ::fork();
  ASSERT_GE(console, 0);
  if (console == 0) {
    ::pause();
    ::_exit(0);
  }
  OnTerminal printer(
      {VIRTUAL_PRINTER_BINARY, "--address", testsupport::TestAddress(), "--stop-with", std::to_string(console)});
  ASSERT_TRUE(printer.started());
  ASSERT_TRUE(printer.WaitFor("keys: "));
  EXPECT_FALSE(printer.WaitExit(200)) << "it keeps serving while the process runs";
  ::kill(console, SIGTERM);
  ::waitpid(console, nullptr, 0);
  EXPECT_TRUE(printer.WaitFor("ended: stopping")) << printer.output();
  EXPECT_EQ(printer.WaitExit(), 0);

  OnTerminal gone(
      {VIRTUAL_PRINTER_BINARY, "--address", testsupport::TestAddress(2), "--stop-with", std::to_string(console)});
  EXPECT_EQ(gone.WaitExit(), 0) << "a process already gone stops it at once";
}

}  // namespace
