// Renders the program's dialogs, as they look right after they open, to PNG
// files in both interface languages: screenshots DIR. Runs headless on Qt's
// offscreen platform and sends nothing to any printer.
#include <QApplication>
#include <QDateTime>
#include <cerrno>
#include <QDir>
#include <QImage>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <sstream>
#include <vector>

#include "AboutDlg.h"
#include "ExchangeLogModel.h"
#include "ExchangeLogWnd.h"
#include "PageShot.h"
#include "PrinterDecoder.h"
#include "PrinterTestDlg.h"
#include "SocketLibrary.h"
#include "VirtualPrinter.h"
#include "ResourceIds.h"
#include "StatusDlg.h"
#include "StringTable.h"

namespace {

constexpr int kChromiumSeconds = 90;  // the most headless Chromium takes for the receipt's picture

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

// A till's job: a title, a table set by absolute positions, a rule of
// box-drawing characters, a barcode, a QR code and a small picture.
std::vector<std::uint8_t> TillJob() {
  std::vector<std::uint8_t> job;
  auto add = [&](std::initializer_list<int> bytes) {
    for (int b : bytes) job.push_back(static_cast<std::uint8_t>(b));
  };
  auto text = [&](const std::string& s) { job.insert(job.end(), s.begin(), s.end()); };
  // An item at the left edge and its price at dot 456, as a till sets its columns.
  auto row = [&](const std::string& item, const std::string& price) {
    text(item);
    add({0x1B, 0x24, 0xC8, 0x01});
    text(price + "\n");
  };
  add({0x1B, 0x40, 0x1B, 0x74, 0x00, 0x1B, 0x61, 0x01, 0x1B, 0x45, 0x01, 0x1D, 0x21, 0x11});
  text("CORNER CAFE\n");
  add({0x1D, 0x21, 0x00, 0x1B, 0x45, 0x00});
  text("12 Market Street\n");
  add({0x1D, 0x42, 0x01});
  text(" TABLE 7 \n");
  add({0x1D, 0x42, 0x00, 0x1B, 0x61, 0x00});
  job.insert(job.end(), 48, 0xC4);
  text("\n");
  row("Flat white", "3.20");
  row("Croissant", "2.10");
  row("Orange juice", "2.75");
  job.insert(job.end(), 48, 0xCD);
  add({0x0A, 0x1B, 0x45, 0x01});
  row("TOTAL", "8.05");
  add({0x1B, 0x45, 0x00, 0x1B, 0x2D, 0x01});
  text("Paid by card\n");
  add({0x1B, 0x2D, 0x00, 0x1B, 0x64, 0x01, 0x1B, 0x61, 0x01});
  // EAN-13, 60 dots high, 3-dot modules, its digits below.
  add({0x1D, 0x68, 0x3C, 0x1D, 0x77, 0x03, 0x1D, 0x48, 0x02, 0x1D, 0x6B, 0x02});
  text("400638133393");
  add({0x00});
  const std::string url = "https://example.com/r/1042";
  const int pl = static_cast<int>(url.size()) + 3;
  add({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x06, 0x1D, 0x28, 0x6B, pl & 0xFF, pl >> 8, 0x31, 0x50, 0x30});
  text(url);
  add({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});
  // A 48 x 48 cup, as a till's logo would come: GS v 0, one bit a dot.
  add({0x1D, 0x76, 0x30, 0x00, 6, 0, 48, 0});
  for (int y = 0; y < 48; ++y) {
    for (int xb = 0; xb < 6; ++xb) {
      std::uint8_t bits = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const int x = xb * 8 + bit;
        const bool cup = y >= 14 && y < 42 && x >= 8 && x < 36 && (x < 11 || x >= 33 || y >= 39 || y < 17);
        const bool handle = x >= 36 && x < 44 && y >= 20 && y < 32 && (x >= 41 || y < 23 || y >= 29);
        const bool steam = y < 11 && (x == 16 + (y % 4 < 2 ? 0 : 1) || x == 26 + (y % 4 < 2 ? 1 : 0));
        if (cup || handle || steam) bits |= static_cast<std::uint8_t>(0x80 >> bit);
      }
      job.push_back(bits);
    }
  }
  text("Thank you!\n");
  add({0x1D, 0x56, 0x42, 0x03});
  return job;
}

// The till's job printed to the virtual printer, which writes it as a
// receipt, and that page taken by headless Chromium as the README shows it.
bool SaveReceipt(const QString& path) {
  QTemporaryDir dir;
  std::ostringstream transcript;
  vprinter::VirtualPrinterOptions options;
  options.address = "127.27.0.1";
  options.receiptsDir = dir.path().toStdString();
  vprinter::VirtualPrinter printer(options, transcript);
  std::string error;
  bool ok = dir.isValid() && printer.Start(error);
  if (ok) {
    const std::vector<std::uint8_t> job = TillJob();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(printerlink::kFramePort);
    ::inet_pton(AF_INET, options.address.c_str(), &to.sin_addr);
    ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
         ::send(fd, job.data(), job.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(job.size());
    if (fd >= 0) ::close(fd);
    ok = ok && printer.WaitForConnections(1, 5000);
    printer.Stop();
  }
  const QString page = dir.filePath(QStringLiteral("receipt-0001-1.html"));
  std::string shotError = error;
  ok = ok && QFile::exists(page) &&
       vprinter::ShootPage(page.toStdString(), QFileInfo(path).absoluteFilePath().toStdString(), 700, 780,
                           kChromiumSeconds, shotError);
  std::printf("%s %s%s\n", ok ? "wrote" : "FAILED", qPrintable(path),
              ok ? " (headless Chromium, from the virtual printer's receipt)" : (": " + shotError).c_str());
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
