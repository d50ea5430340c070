// The program's entry: options, then the console.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "PrinterTestApp.h"
#include "Resources.h"

namespace {

void PrintHelp(const char* self) {
  std::printf(
      "Usage: %s [--help] [--version]\n"
      "Opens the console for testing and setting up network receipt printers\n"
      "(TCP ports 9100 and 4000). The interface follows the user's language:\n"
      "Chinese when LANGUAGE, LC_ALL, LC_MESSAGES or LANG names zh, English otherwise.\n",
      self);
}

}  // namespace

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp(argv[0]);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%.*s %.*s\n", static_cast<int>(res::kProductName.size()), res::kProductName.data(),
                  static_cast<int>(res::kVersion.size()), res::kVersion.data());
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(res::kProductName.data(), res::kProductName.size()));
  CPrinterTestApp theApp;
  theApp.InitInstance();
  return 0;
}
