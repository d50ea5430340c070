// printertest: every command of the console from a shell, for scripts and for
// work over SSH. Arguments are checked before anything goes on the wire; a
// bad one is one line on standard error and exit status 2.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "Check.h"
#include "CliInput.h"
#include "Commands.h"
#include "DrawerCheck.h"
#include "Identity.h"
#include "ExchangeLog.h"
#include "Metrics.h"
#include "PrinterStatus.h"
#include "Settings.h"
#include "SocketLibrary.h"
#include "TestPage.h"
#include "Transport.h"
#include "Version.h"

namespace {

using namespace printercli;

volatile std::sig_atomic_t g_stop = 0;
extern "C" void OnInterrupt(int) { g_stop = 1; }

const std::string kFooter = std::string(
                                "Exit status:\n"
                                "  0  done; for status: no condition needs attention\n") +
                            "  1  status: " + ConditionWords(" or ") + "\n" +
                            std::string(
                                "  2  usage error (bad address, argument, file or text); nothing was sent\n"
                                "  3  the printer could not be reached or refused the connection, or its\n"
                                "     address is in 0.0.0.0/8\n"
                                "  4  the exchange failed part-way: not every byte taken, the bytes thrown away\n"
                                "     unread (reset), no reply or a short one\n"
                                "\n"
                                "Environment: PRINTERTEST_PRINTER replaces the default printer ") +
                            printerlink::kDefaultPrinterAddress +
                            ".\n"
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
  std::vector<std::string> names;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    names.push_back(command->get_name());
  }
  return Joined(names, " or ");
}

// The word that stands where the command belongs (after the global options
// and their values), if any.
const char* CommandWord(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a(argv[i]);
    if (!a.starts_with("-")) return argv[i];
    const CLI::Option* option = app.get_option_no_throw(std::string(a));
    if (option && option->get_expected_min() > 0) ++i;  // its value
  }
  return nullptr;
}

// The word at the command's place when it names none; CLI11 reads such a
// word as a missing command.
const char* UnknownCommand(const CLI::App& app, int argc, char** argv) {
  const char* word = CommandWord(app, argc, argv);
  const auto named = [&](const CLI::App* command) { return command->check_name(word); };
  return word && app.get_subcommands(named).empty() ? word : nullptr;
}

// Every value a command's arguments and options may carry.
struct Args {
  std::string watchText;  // read as text: CLI11 leaves a number 0 when the value is left out
  CLI::Option* watch = nullptr;
  std::string printFile;
  std::string hexList;
  std::string newAddress;
  std::string macText;
  std::string subnetText;
  bool sweepStatus = false;
  bool sweepDetails = false;
  std::string followText;  // as --watch: text, so that a left-out value is told from 0
  CLI::Option* follow = nullptr;
  bool drawerCheck = false;
  bool sensorInverted = false;
  CheckArgs check;
  MetricsArgs metrics;
};

std::string InputName(const std::string& path) { return path == "-" ? std::string("standard input") : path; }

int RunStatusCommand(Session& session, const Args& a) {
  if (a.watch->count() == 0) return RunStatus(session);
  const auto seconds = ParseWatchSeconds(a.watchText);
  if (!seconds) return Usage("--watch: \"" + a.watchText + "\" is not a number of seconds from 1 to 86400");
  struct sigaction on {};
  on.sa_handler = OnInterrupt;
  on.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
  sigaction(SIGINT, &on, nullptr);
  sigaction(SIGTERM, &on, nullptr);
  session.stopRequested = [] { return g_stop != 0; };
  return RunWatch(session, *seconds);
}

int RunPrintCommand(Session& session, const Args& a) {
  if (a.printFile.empty()) return RunOperation(session, "print", printerlink::TestPagePlan(TestPageNow()));
  std::string text;
  std::string error;
  if (!ReadAll(a.printFile, text, error)) return Usage(error);
  const GbkText gbk = Utf8ToGbk(text);
  if (!gbk.ok()) return Usage(InputName(a.printFile) + ", " + gbk.error);
  // A byte-order mark alone is no text either.
  if (gbk.bytes.empty()) return Usage(InputName(a.printFile) + " is empty: nothing to print");
  return RunOperation(session, "print", printerlink::PrintPlan(gbk.bytes));
}

int RunHexCommand(Session& session, const Args& a) {
  const HexList list = ParseHexBytes(a.hexList);
  if (list.badPiece) {
    return Usage("hex: \"" + *list.badPiece + "\" is not a byte: write one or two hex digits, e.g. 1B,64,10");
  }
  return RunHex(session, list.bytes);
}

int RunSetIpCommand(Session& session, const Args& a) {
  const auto next = ParseAddress(a.newAddress);
  if (!next) return Usage("set-ip: \"" + a.newAddress + "\" is not an IPv4 address like 192.168.1.50");
  if (const auto problem = printerlink::CheckNewAddress(*next)) {
    return Usage("set-ip: \"" + a.newAddress +
                 "\": " + Tr(printerlink::SettingProblemTextId(*problem), session.language));
  }
  if (*next == *ParseAddress(session.printer)) {
    return Usage(std::string(Tr(IDS_CURRENT_IP, session.language)) + " " + a.newAddress);
  }
  if (a.follow->count() == 0) return RunSetIp(session, *next);
  const auto seconds = ParseFollowSeconds(a.followText);
  if (!seconds) return Usage("--follow: \"" + a.followText + "\" is not a number of seconds from 1 to 3600");
  session.progress = ::isatty(STDERR_FILENO) != 0;
  return RunSetIpFollow(session, *next, *seconds);
}

int RunDrawerCommand(Session& session, const Args& a) {
  if (!a.drawerCheck) {
    if (a.sensorInverted) return Usage("drawer: --sensor-inverted goes with --check");
    return RunOperation(session, "drawer", printerlink::DrawerPlan());
  }
  return RunDrawerCheck(session, a.sensorInverted);
}

int RunSetMacCommand(Session& session, const Args& a) {
  const auto mac = ParseMac(a.macText);
  if (!mac) return Usage("set-mac: \"" + a.macText + "\" is not a MAC: write 12 hex digits, e.g. 00:12:AB:34:CD:56");
  if (const auto problem = printerlink::CheckMac(*mac)) {
    return Usage("set-mac: \"" + a.macText +
                 "\": " + Tr(printerlink::SettingProblemTextId(*problem), session.language));
  }
  return RunSetMac(session, *mac);
}

int RunSweepCommand(Session& session, const Args& a) {
  std::array<std::uint8_t, 3> subnet{};
  if (a.subnetText.empty()) {
    const auto own = *ParseAddress(session.printer);
    subnet = {own[0], own[1], own[2]};
  } else if (const auto given = ParseSubnet(a.subnetText)) {
    subnet = *given;
  } else {
    return Usage("sweep: \"" + a.subnetText + "\" is not the first three numbers of an address, like 192.168.1");
  }
  return RunSweep(session, subnet, a.sweepStatus, a.sweepDetails);
}

// The commands, in the order --help lists them: each its name, its line of
// help, its arguments and options, and what it does once everything it was
// given has been checked.
struct Command {
  const char* name;
  std::string help;
  void (*options)(CLI::App& command, Args& a);
  int (*run)(Session& session, const Args& a);
  // Whether the run, with these arguments, leaves the global printer alone:
  // its address is then not checked. Without it, every run uses it.
  bool (*ownPrinters)(const Args& a) = nullptr;
};

void NoOptions(CLI::App&, Args&) {}

std::string Number(int n) { return std::to_string(n); }
std::string Ms(int ms) { return std::to_string(ms) + " ms"; }

const Command kCommands[] = {
    {"test",
     "can a connection be opened? (port " + Number(printerlink::kReplyPort) + ", " + Ms(printerlink::kProbeWaitMs) +
         ")",
     NoOptions, [](Session& s, const Args&) { return RunTest(s); }},
    {"status",
     "the states " + ConditionNames(" and ") + " with the raw status bytes (ESC v on port " +
         Number(printerlink::kReplyPort) + ")",
     [](CLI::App& c, Args& a) {
       a.watch = c.add_option("--watch", a.watchText,
                              "poll every " + Number(kWatchIntervalSeconds) +
                                  " s (or SECONDS), a line per change, until Ctrl-C")
                     ->expected(0, 1)
                     ->option_text("[SECONDS]");
     },
     RunStatusCommand},
    {"print", "print FILE, standard input (-), or the test page (UTF-8 text, sent as GBK)",
     [](CLI::App& c, Args& a) {
       c.add_option("FILE", a.printFile, "the text to print; - for standard input")->option_text("[FILE|-]");
     },
     RunPrintCommand},
    {"drawer", "open the cash drawer (ESC p, port " + Number(printerlink::kFramePort) + ")",
     [](CLI::App& c, Args& a) {
       c.add_flag("--check", a.drawerCheck,
                  "read the drawer sensor (DLE EOT 1, pin 3) before the pulse and " + Ms(printerlink::kDrawerSettleMs) +
                      " after: exit 0 opened, 1 no change");
       c.add_flag("--sensor-inverted", a.sensorInverted, "pin 3 high means open (default: high means closed)");
     },
     RunDrawerCommand},
    {"cut", std::string("print \"") + printerlink::kCutTestLine + "\", feed and cut", NoOptions,
     [](Session& s, const Args&) { return RunOperation(s, "cut", printerlink::CutPlan()); }},
    {"init", "initialise the printer (ESC @, port " + Number(printerlink::kFramePort) + ")", NoOptions,
     [](Session& s, const Args&) { return RunOperation(s, "init", printerlink::InitPlan()); }},
    {"hex", "send bytes written in hex, e.g. 1B,64,10 (port " + Number(printerlink::kFramePort) + ")",
     [](CLI::App& c, Args& a) {
       c.add_option("LIST", a.hexList, "comma-separated bytes of one or two hex digits")->required();
     },
     RunHexCommand},
    {"set-ip", "give the printer a new address (GS D, port " + Number(printerlink::kFramePort) + ")",
     [](CLI::App& c, Args& a) {
       c.add_option("NEW", a.newAddress, "the new IPv4 address")->required();
       a.follow = c.add_option("--follow", a.followText,
                               "then probe NEW once a second for up to " + Number(kFollowSeconds) +
                                   " s (or SECONDS) and tell whether the same printer answers there: exit 0 the "
                                   "same, 1 another one (an address clash), 4 nothing")
                      ->expected(0, 1)
                      ->option_text("[SECONDS]");
     },
     RunSetIpCommand},
    {"set-mac", "give the printer a new MAC (GS E, port " + Number(printerlink::kFramePort) + ")",
     [](CLI::App& c, Args& a) {
       c.add_option("MAC", a.macText, "12 hex digits, bare or in pairs joined by : or -")->required();
     },
     RunSetMacCommand},
    {"sweep",
     "find the printers of a /24 (port " + Number(printerlink::kReplyPort) + ", " + Ms(printerlink::kSweepProbeWaitMs) +
         ")",
     [](CLI::App& c, Args& a) {
       c.add_option("A.B.C", a.subnetText, "the /24 to sweep (default: the printer's)");
       c.add_flag("--status", a.sweepStatus, "each found printer's status too");
       c.add_flag("--details", a.sweepDetails,
                  "each found printer's MAC, vendor, maker, model and serial (GS I, port " +
                      Number(printerlink::kFramePort) + ")");
     },
     RunSweepCommand},
    {"identify",
     "the printer's maker, model, serial and firmware (GS I, port " + Number(printerlink::kFramePort) + ", " +
         Ms(printerlink::kIdentityBudgetMs) + " in all), its MAC and the MAC's vendor",
     NoOptions, [](Session& s, const Args&) { return RunIdentify(s); }},
    {"check", "a monitoring plugin: exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN, with performance data",
     [](CLI::App& c, Args& a) {
       c.add_option("-H,--hostname", a.check.hostname, "the printer's IPv4 address")->option_text("ADDRESS");
       c.add_option("-t,--timeout", a.check.timeout, "the whole check, in seconds (default 10)")
           ->option_text("SECONDS");
       c.add_option("-w,--warning", a.check.warning, "WARNING when the status read's seconds fall outside RANGE")
           ->option_text("RANGE");
       c.add_option("-c,--critical", a.check.critical, "CRITICAL when they fall outside RANGE")->option_text("RANGE");
       c.add_flag("-V,--version", a.check.version, "the plugin's version");
       c.footer(CheckHelpFooter());
     },
     [](Session& s, const Args& a) { return RunCheckCommand(s, a.check); }, [](const Args&) { return true; }},
    {"metrics", "the status of one printer or many in the Prometheus text format, read concurrently",
     [](CLI::App& c, Args& a) {
       c.add_option("--printer", a.metrics.printers, "a printer's IPv4 address; as often as needed")
           ->option_text("ADDRESS");
       c.add_option("--printers", a.metrics.printersFile, "one address a line, a name after it, # comments")
           ->option_text("FILE");
       c.add_option("--output", a.metrics.output, "write FILE whole, then rename it into place")->option_text("FILE");
       c.add_option("--parallel", a.metrics.parallel,
                    "status reads at a time (default " + Number(kDefaultParallelReads) + ")")
           ->option_text("N");
     },
     [](Session& s, const Args& a) { return RunMetricsCommand(s, a.metrics); },
     [](const Args& a) { return !a.metrics.printers.empty() || !a.metrics.printersFile.empty(); }},
};

}  // namespace

int main(int argc, char** argv) {
  // A printer or a pipe that went away is a failure to report, never a kill.
  std::signal(SIGPIPE, SIG_IGN);
  // Started as check_printer, it is the check; help and every usage error of
  // the check are then UNKNOWN (3), as the engines read a plugin's status.
  const std::vector<std::string> arguments = PluginArguments(argc, argv);
  std::vector<char*> pointers;
  for (const std::string& a : arguments) pointers.push_back(const_cast<char*>(a.c_str()));
  argc = static_cast<int>(pointers.size());
  argv = pointers.data();

  const Language language = res::LanguageOfEnvironment();
  CLI::App app{"Tests and sets up network receipt printers over TCP ports 9100 and 4000.", "printertest"};
  app.footer(kFooter);
  app.set_version_flag("--version", "printertest " PRINTERTEST_VERSION);
  app.require_subcommand(1);

  const char* fromEnvironment = std::getenv("PRINTERTEST_PRINTER");
  std::string printer = fromEnvironment && *fromEnvironment ? fromEnvironment : printerlink::kDefaultPrinterAddress;
  bool json = false;
  std::string logPath;
  app.add_option("--printer", printer,
                 std::string("the printer's IPv4 address (default ") + printerlink::kDefaultPrinterAddress +
                     ", or PRINTERTEST_PRINTER)")
      ->option_text("ADDRESS");
  app.add_flag("--json", json, "one JSON object per command on standard output (per change for status --watch)");
  app.add_option("--log", logPath, "append every exchange to FILE as one JSON line")->option_text("FILE");

  Args args;
  for (const Command& command : kCommands) command.options(*app.add_subcommand(command.name, command.help), args);
  // Whatever stands before it, the check answers an engine: every argument
  // it cannot use is UNKNOWN (3) and one line on standard output.
  const char* word = CommandWord(app, argc, argv);
  const bool plugin = word && std::string_view(word) == "check";
  const auto refuse = [plugin](const std::string& what) {
    if (!plugin) return Usage(what);
    std::cout << BadArguments(what).output;
    return static_cast<int>(PluginState::Unknown);
  };

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    if (plugin) {
      // Started as check_printer, its usage line names the plugin.
      const CLI::App* check = app.get_subcommand("check");
      std::cout << (StartedAsPlugin(arguments[0])
                        ? check->get_formatter()->make_help(check, "check_printer", CLI::AppFormatMode::Normal)
                        : app.help());
      return static_cast<int>(PluginState::Unknown);
    }
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (plugin) return refuse(e.what());
    if (const char* word = UnknownCommand(app, argc, argv)) {
      return Usage("unknown command \"" + std::string(word) + "\" (see printertest --help)");
    }
    if (app.get_subcommands().empty() && dynamic_cast<const CLI::RequiredError*>(&e)) {
      return Usage("no command given: " + CommandNames(app));
    }
    return Usage(std::string(e.what()) + " (see printertest --help)");
  }

  const Command* chosen = nullptr;
  for (const Command& command : kCommands) {
    if (app.got_subcommand(command.name)) chosen = &command;
  }
  if (!chosen) return Usage("no command given (see printertest --help)");

  // Everything is checked before the first byte goes out; the global printer
  // only where the command goes to it.
  if ((!chosen->ownPrinters || !chosen->ownPrinters(args)) && !ParseAddress(printer)) {
    const std::string source = app.count("--printer") ? "--printer" : "PRINTERTEST_PRINTER";
    return refuse(source + ": \"" + printer + "\" is not an IPv4 address like 192.168.1.50");
  }

  std::unique_ptr<printerlink::JsonLineLog> log;
  if (!logPath.empty()) {
    std::string error;
    log = printerlink::JsonLineLog::Open(logPath, error);
    if (!log) return refuse("--log: " + error);
  }

  Session session{printerlink::SystemSocketLibrary(), printer, json, language, log.get(), std::cout, std::cerr};
  return chosen->run(session, args);
}
