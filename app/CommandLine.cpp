#include "CommandLine.h"

#include "SocketLibrary.h"

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  for (std::size_t i = 0; i < args.size() && cl.error.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (a == "--printer" || a.starts_with("--printer=")) {
      std::string value;
      if (a == "--printer") {
        if (i + 1 >= args.size()) {
          cl.error = "--printer needs an IPv4 address, e.g. --printer 192.168.1.50";
          break;
        }
        value = args[++i];
      } else {
        value = a.substr(std::string("--printer=").size());
      }
      if (!printerlink::ParseDottedQuad(value)) {
        cl.error = "--printer: \"" + value + "\" is not an IPv4 address like 192.168.1.50";
      } else {
        cl.printer = value;
      }
    } else if (a == "--log" || a.starts_with("--log=")) {
      if (a == "--log" && i + 1 >= args.size()) {
        cl.error = "--log needs a file name, e.g. --log exchanges.jsonl";
        break;
      }
      const std::string value = a == "--log" ? args[++i] : a.substr(std::string("--log=").size());
      if (value.empty()) {
        cl.error = "--log needs a file name, e.g. --log exchanges.jsonl";
      } else {
        cl.logFile = value;
      }
    } else {
      cl.error = "unknown option \"" + a + "\" (see --help)";
    }
  }
  return cl;
}

std::string UsageText(const std::string& program) {
  return "Usage: " + program +
         " [--printer ADDRESS] [--log FILE] [--help] [--version]\n"
         "Opens the console for testing and setting up network receipt printers\n"
         "(TCP ports 9100 and 4000).\n"
         "\n"
         "  --printer ADDRESS  start with ADDRESS (e.g. 192.168.1.50) in both address\n"
         "                     fields instead of 192.168.1.10\n"
         "  --log FILE         append every exchange with a printer to FILE, one JSON\n"
         "                     object per line (the format is in the README)\n"
         "  --help             show this text\n"
         "  --version          show the version\n"
         "\n"
         "The interface is in Chinese or English, chosen as message catalogues are:\n"
         "the locale is LC_ALL, else LC_MESSAGES, else LANG. Unset, C or POSIX: English.\n"
         "Otherwise the first entry of LANGUAGE (a list such as zh_CN:en) naming zh or\n"
         "en decides, and without one the locale: zh is Chinese, anything else English.\n";
}

std::optional<std::string> MissingGraphicalSession(const char* display, const char* waylandDisplay,
                                                   const char* qtPlatform) {
  const auto set = [](const char* value) { return value && *value; };
  if (set(display) || set(waylandDisplay) || set(qtPlatform)) return std::nullopt;
  return "no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set); start it from the desktop, "
         "or over SSH with ssh -X";
}
