// The program's entry: options, then the console.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "ExchangeLog.h"
#include "PrinterTestApp.h"
#include "Resources.h"

int main(int argc, char* argv[]) {
  const CommandLine cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!cl.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", argv[0], cl.error.c_str());
    return 2;
  }
  if (cl.help) {
    std::fputs(UsageText(argv[0]).c_str(), stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("%.*s %.*s\n", static_cast<int>(res::kProductName.size()), res::kProductName.data(),
                static_cast<int>(res::kVersion.size()), res::kVersion.data());
    return 0;
  }
  if (const auto missing = MissingGraphicalSession(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"),
                                                   std::getenv("QT_QPA_PLATFORM"))) {
    std::fprintf(stderr, "%s: %s\n", argv[0], missing->c_str());
    return 1;
  }
  std::unique_ptr<printerlink::JsonLineLog> logFile;
  if (cl.logFile) {
    std::string error;
    logFile = printerlink::JsonLineLog::Open(*cl.logFile, error);
    // Said once; the console is still worth having without its file.
    if (!logFile) std::fprintf(stderr, "%s: --log: %s; running without the log file\n", argv[0], error.c_str());
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(res::kProductName.data(), res::kProductName.size()));
  // Lets the desktop show the menu entry's name and icon for the console's
  // windows (the app id on Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral(PRINTERTEST_APP_ID));
  CPrinterTestApp theApp;
  theApp.m_strStartPrinter = cl.printer.value_or("");
  theApp.m_pLogFile = logFile.get();
  theApp.InitInstance();
  return 0;
}
