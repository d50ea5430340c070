// Renders the program's dialogs, as they look right after they open, to PNG
// files in both interface languages: screenshots DIR. Runs headless on Qt's
// offscreen platform and sends nothing to any printer.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTextDocument>
#include <cstdio>
#include <vector>

#include "AboutDlg.h"
#include "PrinterDecoder.h"
#include "PrinterTestDlg.h"
#include "Receipt.h"
#include "ResourceIds.h"
#include "StatusDlg.h"
#include "StringTable.h"

namespace {

bool Save(CDialog& dialog, const QString& path) {
  if (!dialog.Create()) return false;
  QApplication::processEvents();
  const bool ok = dialog.GetDialogWindow()->grab().save(path);
  dialog.DestroyWindow();
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// A till's receipt as the virtual printer writes it with --receipts, drawn
// by Qt's rich text (which shows the layout, if not every detail of the page).
bool SaveReceipt(const QString& path) {
  // Each escape ends its literal, so that no text after it reads as more hex digits.
  const std::string title = std::string("\x1B\x40\x1B\x61\x01\x1B\x45\x01\x1D\x21\x11") + "CORNER CAFE\n" +
                            "\x1D\x21" + std::string(1, '\0') + "\x1B\x45" + std::string(1, '\0') +
                            "12 Market Street\n" + "\x1B\x61" + std::string(1, '\0') +
                            "Flat white            3.20\nCroissant             2.10\n"
                            "------------------------------\n" + "\x1B\x45\x01" + "TOTAL                 5.30\n" +
                            "\x1B\x45" + std::string(1, '\0') + "\x1B\x64\x01\x1B\x61\x01";
  std::vector<std::uint8_t> job(title.begin(), title.end());
  const std::string url = "https://example.com/r/1042";
  const std::uint16_t pl = static_cast<std::uint16_t>(url.size() + 3);
  for (std::uint8_t b : {0x1D, 0x28, 0x6B, pl & 0xFF, pl >> 8, 0x31, 0x50, 0x30}) job.push_back(b);
  job.insert(job.end(), url.begin(), url.end());
  for (std::uint8_t b : {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30}) job.push_back(b);
  const std::string thanks = std::string("Thank you!\n") + "\x1B\x70" + std::string(1, '\0') + "\x19\xFA\x1D\x56\x42\x03";
  job.insert(job.end(), thanks.begin(), thanks.end());

  vprinter::Receipt receipt;
  for (const auto& command : printerlink::DecodeStream(job)) receipt.Add(command);
  QTextDocument page;
  page.setHtml(QString::fromStdString(receipt.Html(80)));
  page.setTextWidth(360);
  QImage image(page.size().toSize(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  page.drawContents(&painter);
  painter.end();
  const bool ok = image.save(path);
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
    ok &= Save(console, dir.filePath(QStringLiteral("console-%1.png").arg(suffix)));
    CAboutDlg about;
    ok &= Save(about, dir.filePath(QStringLiteral("about-%1.png").arg(suffix)));
    CStatusDlg monitor;
    ok &= Save(monitor, dir.filePath(QStringLiteral("monitor-%1.png").arg(suffix)));
  }
  ok &= SaveReceipt(dir.filePath(QStringLiteral("receipt.png")));
  return ok ? 0 : 1;
}
