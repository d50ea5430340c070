// Renders the program's dialogs, as they look right after they open, to PNG
// files in both interface languages: screenshots DIR. Runs headless on Qt's
// offscreen platform and sends nothing to any printer.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <ctime>

#include "AboutDlg.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StatusDlg.h"
#include "StringTable.h"

namespace {

// The time line of the console's test page in every picture, so a second run
// rewrites no file: 2024-05-01 09:30:00.
std::tm PictureTime() {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 4;
  t.tm_mday = 1;
  t.tm_hour = 9;
  t.tm_min = 30;
  return t;
}

bool Save(CDialog& dialog, const QString& path) {
  if (!dialog.Create()) return false;
  QApplication::processEvents();
  const bool ok = dialog.GetDialogWindow()->grab().save(path);
  dialog.DestroyWindow();
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("OrvanePrinterTest"));
  const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs"));
  if (!QDir().mkpath(dir.path())) return 1;

  bool ok = true;
  for (const auto& [language, suffix] : {std::pair{res::Language::English, "en"}, std::pair{res::Language::Chinese, "zh"}}) {
    SetInterfaceLanguage(language);
    CPrinterTestDlg console;
    console.m_testPageTime = PictureTime();
    ok &= Save(console, dir.filePath(QStringLiteral("console-%1.png").arg(suffix)));
    CAboutDlg about;
    ok &= Save(about, dir.filePath(QStringLiteral("about-%1.png").arg(suffix)));
    CStatusDlg monitor;
    ok &= Save(monitor, dir.filePath(QStringLiteral("monitor-%1.png").arg(suffix)));
  }
  return ok ? 0 : 1;
}
