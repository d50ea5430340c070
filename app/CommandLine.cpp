#include "CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include "SocketLibrary.h"
#include "Transport.h"

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  const QCommandLineOption printer(QStringLiteral("printer"), QString(), QStringLiteral("ADDRESS"));
  const QCommandLineOption log(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
  parser.addOptions({help, version, printer, log});
  // "-printer ADDRESS" is the option, not seven letters of one-letter options.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  QStringList words{QStringLiteral("OrvanePrinterTest")};  // parse() skips the program's name
  for (const std::string& a : args) words << QString::fromStdString(a);

  CommandLine cl;
  if (!parser.parse(words)) {
    cl.error = parser.errorText().toStdString() + " (see --help)";
    return cl;
  }
  if (!parser.positionalArguments().isEmpty()) {
    cl.error = "unknown argument \"" + parser.positionalArguments().front().toStdString() + "\" (see --help)";
    return cl;
  }
  cl.help = parser.isSet(help);
  cl.version = parser.isSet(version);
  if (parser.isSet(printer)) {
    const std::string value = parser.value(printer).toStdString();
    if (!printerlink::ParseDottedQuad(value)) {
      cl.error = "--printer: \"" + value + "\" is not an IPv4 address like 192.168.1.50";
      return cl;
    }
    cl.printer = value;
  }
  if (parser.isSet(log)) {
    const std::string value = parser.value(log).toStdString();
    if (value.empty()) {
      cl.error = "--log needs a file name, e.g. --log exchanges.jsonl";
      return cl;
    }
    cl.logFile = value;
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
         "                     fields instead of " +
         printerlink::kDefaultPrinterAddress +
         "\n"
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
