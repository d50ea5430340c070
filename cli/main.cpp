// printertest: every command of the console from a shell, for scripts and for
// work over SSH. Arguments are checked before anything goes on the wire; a
// bad one is one line on standard error and exit status 2.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "CliInput.h"
#include "Commands.h"
#include "ExchangeLog.h"
#include "Settings.h"
#include "SocketLibrary.h"
#include "Transport.h"
#include "Version.h"

namespace {

using namespace printercli;

volatile std::sig_atomic_t g_stop = 0;
extern "C" void OnInterrupt(int) { g_stop = 1; }

constexpr char kFooter[] =
    "Exit status:\n"
    "  0  done; for status: no condition needs attention\n"
    "  1  status: cover open, paper end, over temperature, paused or busy\n"
    "  2  usage error (bad address, argument, file or text); nothing was sent\n"
    "  3  the printer could not be reached or refused the connection\n"
    "  4  the exchange failed part-way: not every byte taken, no reply or a short one\n"
    "\n"
    "Environment: PRINTERTEST_PRINTER replaces the default printer 192.168.1.10.\n"
    "Output follows the locale's language: Chinese when LC_ALL, LC_MESSAGES or LANG names zh.";

int Usage(const std::string& what) {
  std::cerr << "printertest: " << what << '\n';
  return kExitUsage;
}

// The whole of a file, or of standard input for "-".
bool ReadAll(const std::string& path, std::string& text, std::string& error) {
  std::FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rbe");
  if (!f) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  char buf[65536];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const bool failed = std::ferror(f);
  const int cause = errno;
  if (f != stdin) std::fclose(f);
  if (failed) {
    error = "cannot read " + (path == "-" ? std::string("standard input") : path) + ": " + std::strerror(cause);
    return false;
  }
  return true;
}

// The commands in the order --help lists them: "test, status, ... or sweep".
std::string CommandNames(const CLI::App& app) {
  const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
  std::string names;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    if (i > 0) names += i + 1 < commands.size() ? ", " : " or ";
    names += commands[i]->get_name();
  }
  return names;
}

// The first word that stands where the command belongs but names none; CLI11
// reads such a word as a missing command.
const char* UnknownCommand(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a(argv[i]);
    if (a.starts_with("-")) {
      const CLI::Option* option = app.get_option_no_throw(a);
      if (option && option->get_expected_min() > 0) ++i;  // its value
      continue;
    }
    const auto named = [&](const CLI::App* command) { return command->check_name(a); };
    return app.get_subcommands(named).empty() ? argv[i] : nullptr;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  // A printer or a pipe that went away is a failure to report, never a kill.
  std::signal(SIGPIPE, SIG_IGN);

  const Language language = res::LanguageOfEnvironment();
  CLI::App app{"Tests and sets up network receipt printers over TCP ports 9100 and 4000.", "printertest"};
  app.footer(kFooter);
  app.set_version_flag("--version", "printertest " PRINTERTEST_VERSION);
  app.require_subcommand(1);

  const char* fromEnvironment = std::getenv("PRINTERTEST_PRINTER");
  std::string printer = fromEnvironment && *fromEnvironment ? fromEnvironment : printerlink::kDefaultPrinterAddress;
  bool json = false;
  std::string logPath;
  app.add_option("--printer", printer, "the printer's IPv4 address (default 192.168.1.10, or PRINTERTEST_PRINTER)")
      ->option_text("ADDRESS");
  app.add_flag("--json", json, "one JSON object per command on standard output (per change for status --watch)");
  app.add_option("--log", logPath, "append every exchange to FILE as one JSON line")->option_text("FILE");

  app.add_subcommand("test", "can a connection be opened? (port 4000, 300 ms)");

  auto* status = app.add_subcommand("status", "the six states with the raw status bytes (ESC v on port 4000)");
  // Read as text: CLI11 leaves a number 0 when the value is left out.
  std::string watchText;
  auto* watch = status->add_option("--watch", watchText, "poll every 2 s (or SECONDS), a line per change, until Ctrl-C")
                    ->expected(0, 1)
                    ->option_text("[SECONDS]");

  auto* print =
      app.add_subcommand("print", "print FILE, standard input (-), or the test page (UTF-8 text, sent as GBK)");
  std::string printFile;
  print->add_option("FILE", printFile, "the text to print; - for standard input")->option_text("[FILE|-]");

  app.add_subcommand("drawer", "open the cash drawer (ESC p, port 9100)");
  app.add_subcommand("cut", "print \"Testing the cut\", feed and cut");
  app.add_subcommand("init", "initialise the printer (ESC @, port 9100)");

  auto* hex = app.add_subcommand("hex", "send bytes written in hex, e.g. 1B,64,10 (port 9100)");
  std::string hexList;
  hex->add_option("LIST", hexList, "comma-separated bytes of one or two hex digits")->required();

  auto* setIp = app.add_subcommand("set-ip", "give the printer a new address (GS D, port 9100)");
  std::string newAddress;
  setIp->add_option("NEW", newAddress, "the new IPv4 address")->required();

  auto* setMac = app.add_subcommand("set-mac", "give the printer a new MAC (GS E, port 9100)");
  std::string macText;
  setMac->add_option("MAC", macText, "12 hex digits, bare or in pairs joined by : or -")->required();

  auto* sweep = app.add_subcommand("sweep", "find the printers of a /24 (port 4000, 500 ms)");
  std::string subnetText;
  bool sweepStatus = false;
  sweep->add_option("A.B.C", subnetText, "the /24 to sweep (default: the printer's)");
  sweep->add_flag("--status", sweepStatus, "each found printer's status too");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (const char* word = UnknownCommand(app, argc, argv)) {
      return Usage("unknown command \"" + std::string(word) + "\" (see printertest --help)");
    }
    if (app.get_subcommands().empty() && dynamic_cast<const CLI::RequiredError*>(&e)) {
      return Usage("no command given: " + CommandNames(app));
    }
    return Usage(std::string(e.what()) + " (see printertest --help)");
  }

  // Everything is checked before the first byte goes out.
  if (!ParseAddress(printer)) {
    const std::string source = app.count("--printer") ? "--printer" : "PRINTERTEST_PRINTER";
    return Usage(source + ": \"" + printer + "\" is not an IPv4 address like 192.168.1.50");
  }

  std::unique_ptr<printerlink::JsonLineLog> log;
  if (!logPath.empty()) {
    std::string error;
    log = printerlink::JsonLineLog::Open(logPath, error);
    if (!log) return Usage("--log: " + error);
  }

  Session session{printerlink::SystemSocketLibrary(), printer, json, language, log.get(), std::cout, std::cerr};

  if (app.got_subcommand("test")) return RunTest(session);
  if (app.got_subcommand("drawer")) return RunDrawer(session);
  if (app.got_subcommand("cut")) return RunCut(session);
  if (app.got_subcommand("init")) return RunInit(session);

  if (app.got_subcommand(status)) {
    if (watch->count() == 0) return RunStatus(session);
    const auto seconds = ParseWatchSeconds(watchText);
    if (!seconds) return Usage("--watch: \"" + watchText + "\" is not a number of seconds from 1 to 86400");
    struct sigaction on {};
    on.sa_handler = OnInterrupt;
    on.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
    sigaction(SIGINT, &on, nullptr);
    sigaction(SIGTERM, &on, nullptr);
    session.stopRequested = [] { return g_stop != 0; };
    return RunWatch(session, *seconds);
  }

  if (app.got_subcommand(print)) {
    if (printFile.empty()) return RunPrint(session, TestPageNow());
    std::string text;
    std::string error;
    if (!ReadAll(printFile, text, error)) return Usage(error);
    const GbkText gbk = Utf8ToGbk(text);
    if (!gbk.ok()) return Usage((printFile == "-" ? std::string("standard input") : printFile) + ", " + gbk.error);
    if (gbk.bytes.empty())  // a byte-order mark alone is no text either
      return Usage((printFile == "-" ? std::string("standard input") : printFile) + " is empty: nothing to print");
    return RunPrint(session, gbk.bytes);
  }

  if (app.got_subcommand(hex)) {
    const HexList list = ParseHexBytes(hexList);
    if (list.badPiece) {
      return Usage("hex: \"" + *list.badPiece + "\" is not a byte: write one or two hex digits, e.g. 1B,64,10");
    }
    return RunHex(session, list.bytes);
  }

  if (app.got_subcommand(setIp)) {
    const auto next = ParseAddress(newAddress);
    if (!next) return Usage("set-ip: \"" + newAddress + "\" is not an IPv4 address like 192.168.1.50");
    if (const auto problem = printerlink::CheckNewAddress(*next))
      return Usage("set-ip: \"" + newAddress + "\": " + Tr(res::SettingProblemTextId(*problem), language));
    if (*next == *ParseAddress(printer)) {
      return Usage(std::string(Tr(IDS_CURRENT_IP, language)) + " " + newAddress);
    }
    return RunSetIp(session, *next);
  }

  if (app.got_subcommand(setMac)) {
    const auto mac = ParseMac(macText);
    if (!mac) {
      return Usage("set-mac: \"" + macText + "\" is not a MAC: write 12 hex digits, e.g. 00:12:AB:34:CD:56");
    }
    if (const auto problem = printerlink::CheckMac(*mac))
      return Usage("set-mac: \"" + macText + "\": " + Tr(res::SettingProblemTextId(*problem), language));
    return RunSetMac(session, *mac);
  }

  if (app.got_subcommand(sweep)) {
    std::array<std::uint8_t, 3> subnet{};
    if (subnetText.empty()) {
      const auto own = *ParseAddress(printer);
      subnet = {own[0], own[1], own[2]};
    } else if (const auto given = ParseSubnet(subnetText)) {
      subnet = *given;
    } else {
      return Usage("sweep: \"" + subnetText + "\" is not the first three numbers of an address, like 192.168.1");
    }
    return RunSweep(session, subnet, sweepStatus);
  }
  return Usage("no command given (see printertest --help)");
}
