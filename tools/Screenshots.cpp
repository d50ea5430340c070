// Renders the program's dialogs, as they look right after they open, to PNG
// files in both interface languages: screenshots DIR. Runs headless on Qt's
// offscreen platform and sends nothing to any printer.
#include <QApplication>
#include <QDateTime>
#include <cerrno>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTextDocument>
#include <cstdio>
#include <ctime>
#include <vector>

#include "AboutDlg.h"
#include "ExchangeLogModel.h"
#include "ExchangeLogWnd.h"
#include "PrinterDecoder.h"
#include "PrinterTestDlg.h"
#include "Receipt.h"
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

// A morning's service call: the printers found, a drawer opened, the status
// read, a Set IP the printer hung up on, and a page to a printer switched off.
void FillSampleLog(CExchangeLogModel& log) {
  using printerlink::ExchangeKind;
  using printerlink::Outcome;
  const std::int64_t start = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53, 589)).toMSecsSinceEpoch();
  auto record = [&](int atMs, ExchangeKind kind, const char* address, std::uint16_t port,
                    std::vector<std::uint8_t> sent, Outcome outcome, int ms) {
    printerlink::ExchangeRecord r;
    r.startMs = start + atMs;
    r.kind = kind;
    r.address = address;
    r.port = port;
    r.sent = std::move(sent);
    r.taken = outcome == Outcome::Ok ? r.sent.size() : 0;
    r.outcome = outcome;
    r.durationMs = ms;
    r.waitMs = kind == ExchangeKind::Sweep ? 500 : 3000;
    return r;
  };
  auto sweep = record(0, ExchangeKind::Sweep, "192.168.1.0/24", 4000, {}, Outcome::Ok, 503);
  sweep.answering = 2;
  sweep.refusing = 3;
  sweep.silent = 249;
  sweep.found = {"192.168.1.50", "192.168.1.87"};
  log.OnExchange(sweep);
  log.OnExchange(record(4100, ExchangeKind::Probe, "192.168.1.50", 4000, {}, Outcome::Ok, 1));
  log.OnExchange(
      record(6020, ExchangeKind::Frame, "192.168.1.50", 9100, {0x1B, 0x70, 0x00, 0x08, 0x08}, Outcome::Ok, 2));
  auto status = record(9310, ExchangeKind::Status, "192.168.1.50", 4000, {0x1B, 0x76}, Outcome::Ok, 104);
  status.received = {0x14, 0x00, 0x00};
  log.OnExchange(status);
  auto setIp = record(15880, ExchangeKind::Frame, "192.168.1.87", 9100, {0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCD},
                      Outcome::Closed, 1);
  setIp.sysError = EPIPE;
  log.OnExchange(setIp);
  auto page = record(21400, ExchangeKind::Text, "192.168.1.60", 4000,
                     {'T', 'e', 's', 't', 'i', 'n', 'g', ' ', 't', 'h', 'e', ' ', 'c', 'u', 't'}, Outcome::Refused, 0);
  page.sysError = ECONNREFUSED;
  log.OnExchange(page);
}

bool SaveLog(const QString& path) {
  CExchangeLogModel log;
  FillSampleLog(log);
  CExchangeLogWnd window(log);
  window.show();
  QApplication::processEvents();
  const bool ok = window.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// A till's receipt as the virtual printer writes it with --receipts, drawn
// by Qt's rich text (which shows the layout, if not every detail of the page).
bool SaveReceipt(const QString& path) {
  // Each escape ends its literal, so that no text after it reads as more hex digits.
  const std::string title = std::string("\x1B\x40\x1B\x61\x01\x1B\x45\x01\x1D\x21\x11") + "CORNER CAFE\n" + "\x1D\x21" +
                            std::string(1, '\0') + "\x1B\x45" + std::string(1, '\0') + "12 Market Street\n" +
                            "\x1B\x61" + std::string(1, '\0') +
                            "Flat white            3.20\nCroissant             2.10\n"
                            "------------------------------\n" +
                            "\x1B\x45\x01" + "TOTAL                 5.30\n" + "\x1B\x45" + std::string(1, '\0') +
                            "\x1B\x64\x01\x1B\x61\x01";
  std::vector<std::uint8_t> job(title.begin(), title.end());
  const std::string url = "https://example.com/r/1042";
  const std::uint16_t pl = static_cast<std::uint16_t>(url.size() + 3);
  for (std::uint8_t b : {0x1D, 0x28, 0x6B, pl & 0xFF, pl >> 8, 0x31, 0x50, 0x30}) job.push_back(b);
  job.insert(job.end(), url.begin(), url.end());
  for (std::uint8_t b : {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30}) job.push_back(b);
  const std::string thanks =
      std::string("Thank you!\n") + "\x1B\x70" + std::string(1, '\0') + "\x19\xFA\x1D\x56\x42\x03";
  job.insert(job.end(), thanks.begin(), thanks.end());

  vprinter::Receipt receipt(80);
  for (const auto& command : printerlink::DecodeStream(job)) receipt.Add(command);
  QTextDocument page;
  page.setHtml(QString::fromStdString(receipt.Html()));
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
  for (const auto& [language, suffix] :
       {std::pair{res::Language::English, "en"}, std::pair{res::Language::Chinese, "zh"}}) {
    SetInterfaceLanguage(language);
    CPrinterTestDlg console;
    console.m_testPageTime = PictureTime();
    ok &= Save(console, dir.filePath(QStringLiteral("console-%1.png").arg(suffix)));
    CAboutDlg about;
    ok &= Save(about, dir.filePath(QStringLiteral("about-%1.png").arg(suffix)));
    CStatusDlg monitor;
    ok &= Save(monitor, dir.filePath(QStringLiteral("monitor-%1.png").arg(suffix)));
    ok &= SaveLog(dir.filePath(QStringLiteral("exchange-log-%1.png").arg(suffix)));
  }
  ok &= SaveReceipt(dir.filePath(QStringLiteral("receipt.png")));
  return ok ? 0 : 1;
}
