// Writes the application icon, as the program draws it, to PNG files for the
// desktop's icon theme: app-icon SIZE FILE [SIZE FILE]... Runs headless on
// Qt's offscreen platform.
#include <QGuiApplication>
#include <QPixmap>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "ResourceIds.h"
#include "Resources.h"

namespace {

constexpr int kLargestSize = 1024;

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: %s SIZE FILE [SIZE FILE]...\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  for (int i = 1; i + 1 < argc; i += 2) {
    char* end = nullptr;
    const long size = std::strtol(argv[i], &end, 10);
    if (end == argv[i] || *end != '\0' || size < 1 || size > kLargestSize) {
      std::fprintf(stderr, "%s: size '%s' is not a number of pixels from 1 to %d\n", argv[0], argv[i], kLargestSize);
      return 2;
    }
    const QPixmap icon = res::IconPixmap(IDR_MAINFRAME, static_cast<int>(size));
    if (icon.isNull() || !icon.save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
      std::fprintf(stderr, "%s: could not write %s\n", argv[0], argv[i + 1]);
      return 1;
    }
  }
  return 0;
}
