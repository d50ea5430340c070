// The exchange log: every button's exchanges reach it with the bytes that
// went on the wire, the sweep as one record, the bounded model, the window's
// rows in both languages, copying and the service report.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "ExchangeLogFormat.h"
#include "ExchangeLogModel.h"
#include "ExchangeLogWnd.h"
#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "MessageBoxRecorder.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "Transport.h"

using printerlink::ExchangeKind;
using printerlink::ExchangeRecord;
using printerlink::Outcome;
using testsupport::MessageBoxRecorder;
using testsupport::TestPrinter;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kWaitMs = 5000;

class ExchangeLog : public ::testing::Test {
protected:
  std::unique_ptr<CPrinterTestDlg> OpenConsole(const std::string& target) {
    auto dlg = std::make_unique<CPrinterTestDlg>(nullptr, library);
    dlg->m_pExchangeObserver = &model;
    InstallExchangeLog(*dlg, model);
    EXPECT_TRUE(dlg->Create());
    Ip(*dlg, IDC_IP_TARGET)->SetText(QString::fromStdString(target));
    return dlg;
  }
  static Ipv4FieldWidget* Ip(CPrinterTestDlg& dlg, int id) {
    return qobject_cast<Ipv4FieldWidget*>(dlg.GetDlgItem(id));
  }
  static void Click(CPrinterTestDlg& dlg, int id) {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.GetDlgItem(id)), Qt::LeftButton);
  }
  void TearDown() override { SetInterfaceLanguage(std::nullopt); }

  testsupport::LoopbackOnlyLibrary library;
  CExchangeLogModel model;
};

TEST_F(ExchangeLog, EveryButtonLogsTheBytesThatWentOnTheWire) {
  TestPrinter printer(testsupport::TestAddress(1));
  auto dlg = OpenConsole(printer.Address());
  MessageBoxRecorder boxes;
  qobject_cast<QLineEdit*>(dlg->GetDlgItem(IDC_OTHER_HEX))->setText("ZZ");      // not hex: goes as 00
  qobject_cast<QLineEdit*>(dlg->GetDlgItem(IDC_MAC))->setText("aabbccddeeff");  // lower case read as digits
  Ip(*dlg, IDC_IP_NEW)->SetText("10.0.0.7");
  for (int button : {IDC_PRINT, IDC_CASH_DRAWER, IDC_CUT_PAPER, IDC_INIT_PRINTER, IDC_OTHER_SET, IDC_SET_MAC,
                     IDC_SET_IP, IDC_TEST_CONNECTION}) {
    Click(*dlg, button);
  }
  ASSERT_TRUE(printer.WaitForClosedConnections(10, kWaitMs));

  // Every connection the printer saw has its record with the same bytes, in
  // order on each port (the printer may number the two ports' connections in
  // another order than they were made).
  for (const ExchangeRecord& r : model.Records()) {
    EXPECT_EQ(r.outcome, Outcome::Ok) << OutcomeWords(r).toStdString();
    EXPECT_EQ(r.address, printer.Address());
  }
  std::vector<ExchangeRecord> sent;
  for (std::uint16_t port : {printerlink::kFramePort, printerlink::kReplyPort}) {
    std::vector<Bytes> logged;
    for (const ExchangeRecord& r : model.Records()) {
      if (r.port != port) continue;
      logged.push_back(r.sent);
      if (r.kind != ExchangeKind::Probe) sent.push_back(r);
    }
    std::vector<Bytes> seen;
    for (const auto& c : printer.ConnectionsOn(port)) seen.push_back(c.bytes);
    EXPECT_EQ(logged, seen) << "port " << port << ": the log shows other bytes than the printer got";
  }
  ASSERT_EQ(model.rowCount(), 10);
  ASSERT_EQ(sent.size(), 9u);
  // 9100: drawer, feed, cut, init, other, MAC, IP; 4000: page, cut line.
  sent = {sent[4], sent[5]};
  EXPECT_EQ(model.Records().back().kind, ExchangeKind::Probe);
  // What the technician could not see before: "ZZ" went as 00; the MAC's letters count in either case.
  EXPECT_EQ(sent[0].sent, Bytes{0x00});
  ASSERT_EQ(sent[1].sent.size(), 9u);
  EXPECT_EQ(Bytes(sent[1].sent.begin(), sent[1].sent.begin() + 3), (Bytes{0x1D, 0x45, 0xAA}));
}

TEST_F(ExchangeLog, TextJobThatCannotReachItsPrinterIsLoggedThoughNothingIsShown) {
  auto dlg = OpenConsole(testsupport::TestAddress(1));  // nothing listens: refused
  MessageBoxRecorder boxes;
  Click(*dlg, IDC_PRINT);
  EXPECT_TRUE(boxes.Texts().isEmpty()) << "Print gained a message box";
  ASSERT_EQ(model.rowCount(), 1);
  const ExchangeRecord& r = model.Record(0);
  EXPECT_EQ(r.kind, ExchangeKind::Text);
  EXPECT_EQ(r.outcome, Outcome::Refused);
  EXPECT_FALSE(r.sent.empty()) << "the test page's bytes belong in the record";
  EXPECT_EQ(r.taken, 0u);
}

TEST_F(ExchangeLog, SweepIsOneRecordThatCountsWhatAnswered) {
  TestPrinter printer(testsupport::TestAddress(7));
  auto dlg = OpenConsole(testsupport::TestAddress(1));
  MessageBoxRecorder boxes;
  boxes.answers = {IDOK_ANSWER};
  Click(*dlg, IDC_RADIO_AUTO);
  ASSERT_EQ(model.rowCount(), 1);
  const ExchangeRecord& r = model.Record(0);
  EXPECT_EQ(r.kind, ExchangeKind::Sweep);
  EXPECT_EQ(r.found, std::vector<std::string>{printer.Address()});
  EXPECT_EQ(r.answering + r.refusing + r.silent, 254);
  SetInterfaceLanguage(res::Language::English);
  EXPECT_EQ(LogCellText(r, LogColumn::Reply, {}),
            QStringLiteral("found: ") + QString::fromStdString(printer.Address()));
}

ExchangeRecord Record(Outcome outcome, int n = 0) {
  ExchangeRecord r;
  r.startMs = 1'700'000'000'000 + n;
  r.kind = ExchangeKind::Frame;
  r.address = "192.168.1.10";
  r.port = 9100;
  r.sent = {0x1B, 0x70, 0x00, 0x08, 0x08};
  r.taken = outcome == Outcome::Ok ? 5 : 2;
  r.outcome = outcome;
  r.sysError = outcome == Outcome::Ok ? 0 : ETIMEDOUT;
  r.durationMs = n;
  return r;
}

TEST_F(ExchangeLog, ModelKeepsTheNewestAndTakesRecordsFromOtherThreads) {
  const std::size_t over = 7;
  for (std::size_t i = 0; i < kMaxLogRecords + over; ++i) model.OnExchange(Record(Outcome::Ok, static_cast<int>(i)));
  EXPECT_EQ(model.rowCount(), static_cast<int>(kMaxLogRecords)) << "memory is not bounded";
  EXPECT_EQ(model.Record(0).durationMs, static_cast<std::int64_t>(over)) << "the oldest must fall off first";
  EXPECT_EQ(model.TotalCount(), kMaxLogRecords + over);

  // Long texts are bounded by their size as well; the newest stays whatever its size.
  CExchangeLogModel small(nullptr, kMaxLogRecords, 64 * 1024);
  ExchangeRecord page = Record(Outcome::Ok);
  page.sent.assign(40 * 1024, 'A');
  for (int i = 0; i < 3; ++i) small.OnExchange(page);
  EXPECT_EQ(small.rowCount(), 1);
  page.sent.assign(100 * 1024, 'B');
  small.OnExchange(page);
  EXPECT_EQ(small.rowCount(), 1);
  EXPECT_EQ(small.Record(0).sent.size(), 100u * 1024);

  model.Clear();
  std::thread worker([this] { model.OnExchange(Record(Outcome::Incomplete)); });
  worker.join();
  EXPECT_EQ(model.rowCount(), 0) << "a worker's record changed the table off the GUI thread";
  EXPECT_TRUE(QTest::qWaitFor([this] { return model.rowCount() == 1; }, kWaitMs));
  EXPECT_EQ(model.FailedCount(), 1u);
}

TEST_F(ExchangeLog, WindowRowsReadInTheInterfaceLanguageAndFailuresStandOut) {
  struct Case {
    res::Language language;
    QString header;
    QString okOutcome;
    QString failedOutcome;
    QString failedWord;
  } cases[] = {
      {res::Language::English, "Outcome", "ok, the printer took 5 of 5 bytes",
       "the printer took only 2 of 5 bytes (ETIMEDOUT)", "FAILED"},
      {res::Language::Chinese, "结果", "成功，打印机接收了 5 字节中的 5 字节",
       "打印机只接收了 5 字节中的 2 字节 (ETIMEDOUT)", "失败"},
  };
  for (const Case& c : cases) {
    SetInterfaceLanguage(c.language);
    CExchangeLogModel log;
    log.OnExchange(Record(Outcome::Ok));
    log.OnExchange(Record(Outcome::Incomplete));
    CExchangeLogWnd window(log);
    const int outcome = static_cast<int>(LogColumn::Outcome);
    EXPECT_EQ(log.headerData(outcome, Qt::Horizontal).toString(), c.header);
    const QModelIndex ok = log.index(0, outcome);
    const QModelIndex bad = log.index(1, outcome);
    EXPECT_EQ(ok.data().toString(), c.okOutcome);
    EXPECT_EQ(bad.data().toString(), c.failedOutcome);
    EXPECT_EQ(log.index(1, static_cast<int>(LogColumn::Sent)).data().toString(),
              QStringLiteral("ESC p drawer pulse: pin 2, on 16 ms, off 16 ms"));
    EXPECT_EQ(log.index(1, static_cast<int>(LogColumn::Bytes)).data().toString(), QStringLiteral("1B 70 00 08 08"));
    // Not colour alone: the failed row has the lamp, and its accessible text says so in words.
    EXPECT_FALSE(ok.data(Qt::DecorationRole).isValid());
    EXPECT_TRUE(bad.data(Qt::DecorationRole).isValid());
    EXPECT_TRUE(bad.data(Qt::BackgroundRole).isValid());
    EXPECT_TRUE(bad.data(Qt::AccessibleTextRole).toString().startsWith(c.failedWord));
    // What a screen reader gets for the failed row's outcome cell.
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(window.Table());
    ASSERT_TRUE(table && table->tableInterface());
    QAccessibleInterface* cell = table->tableInterface()->cellAt(1, outcome);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), c.failedWord + QStringLiteral(": ") + c.failedOutcome);
    EXPECT_TRUE(window.StatusText().startsWith(c.language == res::Language::English ? "2 exchanges, 1 failed"
                                                                                    : "共 2 次通信，1 次失败"));
  }
}

TEST_F(ExchangeLog, CopyTakesTheSelectedRowsAsTextAndTheReportHasItsHeader) {
  SetInterfaceLanguage(res::Language::English);
  model.OnExchange(Record(Outcome::Ok, 1));
  model.OnExchange(Record(Outcome::Incomplete, 2));
  CExchangeLogWnd window(model);
  window.m_targetAddress = [] { return QStringLiteral("192.168.1.10"); };
  window.Table()->selectRow(1);
  window.CopySelection();
  const QString copied = QApplication::clipboard()->text();
  EXPECT_EQ(copied.count(QLatin1Char('\n')), 1) << copied.toStdString();
  EXPECT_TRUE(copied.contains("the printer took only 2 of 5 bytes") && copied.contains("FAILED"))
      << copied.toStdString();

  QTemporaryDir dir;
  const QString path = dir.filePath("report.txt");
  ASSERT_TRUE(window.SaveReport(path)) << window.StatusText().toStdString();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
  ASSERT_GE(lines.size(), 10);
  EXPECT_EQ(lines[0], "Service report - OrvanePrinterTest " + QString::fromUtf8(res::kVersion.data()));
  EXPECT_TRUE(lines[1].startsWith("Date: 20")) << lines[1].toStdString();
  EXPECT_EQ(lines[2], "Target printer: 192.168.1.10");
  EXPECT_EQ(lines[3], "Interface language: English");
  EXPECT_EQ(lines[4], "Exchanges: 2");
  const QString report = lines.join('\n');
  EXPECT_TRUE(report.contains("\n#2  ") && report.contains("192.168.1.10:9100  2 ms  FAILED\n"));
  EXPECT_TRUE(report.contains("  Bytes: 1B 70 00 08 08\n"));
  EXPECT_TRUE(report.contains("  Outcome: the printer took only 2 of 5 bytes (ETIMEDOUT)\n"));

  EXPECT_FALSE(window.SaveReport(dir.filePath("missing/report.txt")));
  EXPECT_TRUE(window.StatusText().contains("Cannot write")) << "a failed save must say so, without a box";
}

TEST_F(ExchangeLog, SystemMenuItemAndCtrlLOpenOneWindowWithoutABox) {
  SetInterfaceLanguage(res::Language::English);
  auto dlg = OpenConsole(testsupport::TestAddress(1));
  const auto& items = dlg->GetSystemMenu(FALSE)->Items();
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items.back().id, static_cast<UINT>(IDM_EXCHANGE_LOG));
  EXPECT_EQ(items.back().text, QStringLiteral("Exchange &Log...\tCtrl+L"));
  dlg->GetDialogWindow()->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg->GetDialogWindow()));

  MessageBoxRecorder boxes;
  QTest::keyClick(dlg->GetDialogWindow(), Qt::Key_L, Qt::ControlModifier);
  auto windows = dlg->GetDialogWindow()->findChildren<CExchangeLogWnd*>();
  ASSERT_EQ(windows.size(), 1);
  EXPECT_TRUE(windows[0]->isVisible());
  windows[0]->close();
  dlg->SendSysCommand(IDM_EXCHANGE_LOG);
  windows = dlg->GetDialogWindow()->findChildren<CExchangeLogWnd*>();
  ASSERT_EQ(windows.size(), 1) << "opening again made a second window";
  EXPECT_TRUE(windows[0]->isVisible());
  EXPECT_TRUE(boxes.Texts().isEmpty());
}

}  // namespace
