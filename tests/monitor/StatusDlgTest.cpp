#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "Gbk.h"
#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "MessageBoxRecorder.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "ExchangeRecord.h"
#include "StatusDecode.h"
#include "StatusDlg.h"
#include "StringTable.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "Transport.h"
#include "Waiting.h"

using testsupport::MessageBoxRecorder;
using testsupport::PortBehaviour;
using testsupport::PortMode;
using testsupport::TestPrinter;

namespace {

using Looks = std::vector<std::optional<IndicatorLook>>;  // cover, busy, temperature, pause, paper

Looks Decode(printerlink::ReplyBuffer reply, std::size_t received = 3) {
  Looks looks;
  for (const printerlink::ConditionRow& row : printerlink::kConditions) {
    if (row.byte) looks.push_back(DecodeIndicator(row, reply, received));
  }
  return looks;
}

constexpr UINT kGood = IDI_STATE_GOOD;
constexpr UINT kBad = IDI_STATE_BAD;
const IndicatorLook kCoverClosed{IDS_COVER_CLOSED, kGood}, kCoverOpen{IDS_COVER_OPEN, kBad};
const IndicatorLook kIdle{IDS_IDLE, kGood}, kBusy{IDS_BUSY, kBad};
const IndicatorLook kTempOk{IDS_TEMP_OK, kGood}, kTempOver{IDS_TEMP_OVER, kBad};
const IndicatorLook kPrint{IDS_PRINT_ALLOWED, kGood}, kPaused{IDS_PAUSED, kBad};
const IndicatorLook kPaperOk{IDS_PAPER_OK, kGood}, kPaperEnd{IDS_PAPER_END, kBad};

TEST(StatusDecode, EachBitLightsItsOwnIndicator) {
  struct Case {
    const char* catches;
    printerlink::ReplyBuffer reply;
    Looks expected;
  };
  const Case cases[] = {
      {"all clear", {}, {kCoverClosed, kIdle, kTempOk, kPrint, kPaperOk}},
      {"28 00 00: cover open and busy", {0x28}, {kCoverOpen, kBusy, kTempOk, kPrint, kPaperOk}},
      {"00 10 00: paused", {0x00, 0x10}, {kCoverClosed, kIdle, kTempOk, kPaused, kPaperOk}},
      {"00 20 00: paused too", {0x00, 0x20}, {kCoverClosed, kIdle, kTempOk, kPaused, kPaperOk}},
      {"00 40 00: over temperature, still printing", {0x00, 0x40}, {kCoverClosed, kIdle, kTempOver, kPrint, kPaperOk}},
      {"byte 2 = 08 alone is not paper end", {0, 0, 0x08}, {kCoverClosed, kIdle, kTempOk, kPrint, kPaperOk}},
      {"byte 2 = 04 alone is not paper end", {0, 0, 0x04}, {kCoverClosed, kIdle, kTempOk, kPrint, kPaperOk}},
      {"byte 2 = 0C is paper end", {0, 0, 0x0C}, {kCoverClosed, kIdle, kTempOk, kPrint, kPaperEnd}},
      {"bits outside the table and bytes 3 to 9 mean nothing",
       {0xD7, 0x8F, 0xF3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       {kCoverClosed, kIdle, kTempOk, kPrint, kPaperOk}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.reply), c.expected) << c.catches;
}

TEST(StatusDecode, AMissingByteIsUnknownNotFine) {
  const printerlink::ReplyBuffer reply{0x28};
  EXPECT_EQ(Decode(reply, 1), (Looks{kCoverOpen, kBusy, std::nullopt, std::nullopt, std::nullopt}));
  EXPECT_EQ(Decode(reply, 2), (Looks{kCoverOpen, kBusy, kTempOk, kPrint, std::nullopt}));
  EXPECT_EQ(Decode(reply, 0), (Looks(5, std::nullopt)));
}

// Keeps every record the exchange log would get, in order.
struct RecordCollector final : printerlink::ExchangeObserver {
  void OnExchange(const printerlink::ExchangeRecord& r) override { records.push_back(r); }
  std::vector<printerlink::ExchangeRecord> records;
};

class Monitor : public ::testing::Test {
protected:
  std::string Address(int host = 1) const { return testsupport::TestAddress(host); }
  void Open(res::Language language, const std::string& printer) {
    SetInterfaceLanguage(language);
    console = std::make_unique<CPrinterTestDlg>(nullptr, library);
    ASSERT_TRUE(console->Create());
    qobject_cast<Ipv4FieldWidget*>(console->GetDlgItem(IDC_IP_TARGET))->SetText(QString::fromStdString(printer));
    monitor = std::make_unique<CStatusDlg>();
    monitor->m_pChannel = &console->StatusChannel();
    monitor->m_strTargetAddress = printer;
    ASSERT_TRUE(monitor->Create());
  }
  void TearDown() override {
    monitor.reset();
    console.reset();
    SetInterfaceLanguage(std::nullopt);
    EXPECT_EQ(library.opened, library.closed);
  }
  void ClickToggle() {
    QTest::mouseClick(qobject_cast<QPushButton*>(monitor->GetDlgItem(IDC_GET_STATUS)), Qt::LeftButton);
  }
  QString StatusLine() const { return qobject_cast<QLabel*>(monitor->GetDlgItem(IDC_STATUS_LINE))->text(); }
  static QString Tip(const CIndicatorButton& b) { return b.GetSafeHwnd()->toolTip(); }
  QString Toggle() const { return qobject_cast<QPushButton*>(monitor->GetDlgItem(IDC_GET_STATUS))->text(); }
  static QString Caption(const CIndicatorButton& b) { return FromGbk(b.GetWindowText()); }
  // caption|icon of all six, in the dialog's member order
  std::vector<std::pair<QString, UINT>> Lamps() const {
    std::vector<std::pair<QString, UINT>> lamps;
    for (const CIndicatorButton* b : {&monitor->m_btnCover, &monitor->m_btnPause, &monitor->m_btnTemperature,
                                      &monitor->m_btnOnline, &monitor->m_btnPaper, &monitor->m_btnBusy}) {
      lamps.emplace_back(Caption(*b), b->IconIdIn());
    }
    return lamps;
  }

  testsupport::LoopbackOnlyLibrary library;
  std::unique_ptr<CPrinterTestDlg> console;
  std::unique_ptr<CStatusDlg> monitor;
};

TEST_F(Monitor, APollShowsTheSixStatesInTheInterfaceLanguage) {
  struct Case {
    res::Language language;
    std::vector<std::pair<QString, UINT>> lamps;  // cover, pause, temperature, on-line, paper, busy
  };
  const Case cases[] = {
      {res::Language::English,
       {{"Cover Open", kBad},
        {"Pause", kBad},
        {"Temp ok", kGood},
        {"On-line", kGood},
        {"Paper end", kBad},
        {"Wait for Task", kGood}}},
      {res::Language::Chinese,
       {{"门盖打开", kBad}, {"暂停打印", kBad}, {"温度正常", kGood}, {"连接", kGood}, {"缺纸", kBad}, {"空闲", kGood}}},
  };
  int host = 1;
  for (const Case& c : cases) {
    TestPrinter printer(Address(host++), {}, {PortMode::Answer, {0x20, 0x10, 0x0C}});
    Open(c.language, printer.Address());
    monitor->OnTimer(kStatusTimerId);
    EXPECT_EQ(Lamps(), c.lamps);
    const QString line = c.language == res::Language::English ? "^Status 20 10 0C · \\d\\d:\\d\\d:\\d\\d · \\d+ ms$"
                                                              : "^状态 20 10 0C · \\d\\d:\\d\\d:\\d\\d · \\d+ 毫秒$";
    EXPECT_TRUE(QRegularExpression(line).match(StatusLine()).hasMatch()) << StatusLine().toStdString();
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(monitor->GetDlgItem(IDC_STATUS_LINE));
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->text(QAccessible::Name), StatusLine()) << "a screen reader must read the status line";
    EXPECT_EQ(Tip(monitor->m_btnPaper), c.language == res::Language::English
                                            ? "Byte 2 = 0x0C: bits 2–3 (0x0C) paper end sensors = 11"
                                            : "字节 2 = 0x0C：位 2–3 (0x0C) 缺纸传感器 = 11");
    EXPECT_EQ(Tip(monitor->m_btnOnline), StatusLine());
    ASSERT_TRUE(printer.WaitForClosedConnections(2, 5000));
    EXPECT_EQ(printer.ConnectionsOn(printerlink::kFramePort).at(0).bytes, std::vector<std::uint8_t>{})
        << "the probe on 9100 sends nothing";
    EXPECT_EQ(printer.ConnectionsOn(printerlink::kReplyPort).at(0).bytes, (std::vector<std::uint8_t>{0x1B, 0x76}));
  }
}

TEST_F(Monitor, AShortReplyLeavesTheMissingIndicatorsUnknown) {
  TestPrinter printer(Address(), {}, {PortMode::Answer, {0x28}});
  Open(res::Language::English, printer.Address());
  monitor->OnTimer(kStatusTimerId);
  const std::vector<std::pair<QString, UINT>> expected = {{"Cover Open", kBad},          {"Pause", IDI_STATE_IDLE},
                                                          {"Tmp Over", IDI_STATE_IDLE},  {"On-line", kGood},
                                                          {"Paper end", IDI_STATE_IDLE}, {"Busy", kBad}};
  EXPECT_EQ(Lamps(), expected) << "bytes 1 and 2 never arrived: grey, template captions kept";
}

TEST_F(Monitor, APollReachesTheExchangeLogAsAProbeAndAStatusQuery) {
  RecordCollector log;
  TestPrinter printer(Address(), {}, {PortMode::Answer, {0x28}});
  Open(res::Language::English, printer.Address());
  console->m_pExchangeObserver = &log;
  monitor->OnTimer(kStatusTimerId);
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_EQ(log.records[0].kind, printerlink::ExchangeKind::Probe);
  EXPECT_EQ(log.records[0].port, 9100);
  EXPECT_EQ(log.records[1].kind, printerlink::ExchangeKind::Status);
  EXPECT_EQ(log.records[1].sent, (std::vector<std::uint8_t>{0x1B, 0x76}));
  EXPECT_EQ(log.records[1].received, std::vector<std::uint8_t>{0x28});
  EXPECT_EQ(log.records[1].outcome, printerlink::Outcome::Ok);
}

TEST_F(Monitor, AFailedProbeAfterAGoodPollChangesOnlyTheOnlineLamp) {
  auto printer =
      std::make_unique<TestPrinter>(Address(), PortBehaviour{}, PortBehaviour{PortMode::Answer, {0x08, 0x40, 0x00}});
  const std::string address = printer->Address();
  Open(res::Language::English, address);
  RecordCollector log;
  monitor->m_pExchangeObserver = &log;
  auto notes = [&log] {
    QStringList notes;
    for (const auto& r : log.records) notes << QString::fromStdString(r.note);
    return notes;
  };
  ClickToggle();
  monitor->OnTimer(kStatusTimerId);
  EXPECT_TRUE(log.records.empty()) << "the first poll has nothing to compare with";
  auto before = Lamps();
  const QString answeredAt = StatusLine().section(QStringLiteral(" · "), 1, 1);
  const QString coverTip = Tip(monitor->m_btnCover);
  printer.reset();  // the printer goes away: the probe is refused
  monitor->OnTimer(kStatusTimerId);
  before[3] = {"Off-line", kBad};
  EXPECT_EQ(Lamps(), before) << "the other five keep what was read";
  EXPECT_EQ(StatusLine(), "No answer since " + answeredAt + " (refused)") << "dated by the last answer";
  EXPECT_EQ(Tip(monitor->m_btnCover), coverTip) << "the tooltip still shows the bytes the lamp was read from";
  EXPECT_EQ(notes(), QStringList{"printer off-line"});
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0].address, address) << "the record names the monitor's printer";
  EXPECT_EQ(printerlink::RecordSummary(log.records[0]), "printer off-line") << "the file's summary is the note";
}

TEST_F(Monitor, AnUnreachablePrinterLeavesFiveLampsGreyAndOneRed) {
  struct Case {
    const char* catches;
    res::Language language;
    PortBehaviour on9100;
    const char* line;  // the status line, a pattern
  };
  const Case cases[] = {
      {"refused", res::Language::English, PortBehaviour{PortMode::Refuse},
       "^No answer since \\d\\d:\\d\\d:\\d\\d \\(refused\\)$"},
      {"silent: the connection is never answered", res::Language::English, PortBehaviour{PortMode::Unreachable},
       "^No answer since \\d\\d:\\d\\d:\\d\\d \\(no answer\\)$"},
      {"refused, in Chinese", res::Language::Chinese, PortBehaviour{PortMode::Refuse},
       "^自 \\d\\d:\\d\\d:\\d\\d 起无应答（连接被拒绝）$"},
  };
  int host = 1;
  for (const Case& c : cases) {
    TestPrinter printer(Address(host++), c.on9100, {PortMode::Refuse});
    Open(c.language, printer.Address());
    const auto templateLamps = Lamps();
    ClickToggle();
    monitor->OnTimer(kStatusTimerId);
    auto expected = templateLamps;
    expected[3] = {c.language == res::Language::English ? "Off-line" : "未连接", kBad};
    EXPECT_EQ(Lamps(), expected) << c.catches << ": nothing was read, so nothing may look fine";
    EXPECT_TRUE(QRegularExpression(QString::fromUtf8(c.line)).match(StatusLine()).hasMatch())
        << c.catches << ": " << StatusLine().toStdString();
  }
}

TEST_F(Monitor, ARefusedQueryIsReportedBeforeTheLampGoesOffline) {
  TestPrinter printer(Address(), {}, {PortMode::Refuse});
  Open(res::Language::English, printer.Address());
  QStringList seen;
  int connectsDuringBox = -1;
  const MessageBoxHook previous = SetMessageBoxHook([&](const MessageBoxRecord& box) {
    seen << box.text + " / online: " + Caption(monitor->m_btnOnline);
    // Ticks that arrive while the box is open must not start another poll.
    const int before = library.connectCalls;
    monitor->OnTimer(kStatusTimerId);
    connectsDuringBox = library.connectCalls - before;
    return IDOK_ANSWER;
  });
  monitor->OnTimer(kStatusTimerId);
  SetMessageBoxHook(previous);
  EXPECT_EQ(seen, QStringList{"Can't Connect Net! / online: Printer is off-line"});
  EXPECT_EQ(connectsDuringBox, 0) << "a poll nested inside another";
  EXPECT_EQ(Caption(monitor->m_btnOnline), "Off-line");
  EXPECT_EQ(monitor->m_btnOnline.IconIdIn(), kBad);
}

TEST_F(Monitor, TheToggleStartsAndStopsPollingInBothLanguages) {
  for (const auto& [language, start, stop] : {std::tuple{res::Language::English, "&Monitor Status", "Stop &Monitor"},
                                              std::tuple{res::Language::Chinese, "检测状态(&M)", "关闭检测状态(&M)"}}) {
    Open(language, Address());  // nothing listens: no poll may reach it anyway
    const auto idle = Lamps();
    for (const auto& [caption, icon] : idle)
      EXPECT_EQ(icon, static_cast<UINT>(IDI_STATE_IDLE)) << caption.toStdString();
    EXPECT_EQ(Toggle(), QString::fromUtf8(start));
    EXPECT_EQ(StatusLine(), LoadText(IDS_STATUS_NOT_POLLED));
    ClickToggle();
    EXPECT_EQ(Toggle(), QString::fromUtf8(stop));
    EXPECT_EQ(Lamps(), idle) << "green before any answer: a state nobody has read shown as fine";
    ClickToggle();  // within 2 s: no poll has run
    EXPECT_EQ(Toggle(), QString::fromUtf8(start));
    EXPECT_EQ(Lamps(), idle) << "grey again, captions unchanged";
    EXPECT_FALSE(monitor->KillTimer(kStatusTimerId)) << "the poll timer still runs";
    EXPECT_EQ(library.connectCalls, 0);
  }
}

TEST_F(Monitor, OnlyTimerOnePolls) {
  TestPrinter printer(Address());
  Open(res::Language::English, printer.Address());
  monitor->OnTimer(2);
  EXPECT_EQ(library.connectCalls, 0);
}

TEST_F(Monitor, ClosingWhilePollingStopsTheTimerAndANewMonitorStartsIdle) {
  TestPrinter printer(Address(), {}, {PortMode::Answer, {0x28, 0x00, 0x00}});
  Open(res::Language::English, printer.Address());
  ClickToggle();
  // The tick arrives through the event loop, so wait while processing events.
  ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->m_btnCover.GetWindowText() == "Cover Open"; }, 6000))
      << "the first tick comes 2 s after the click";
  monitor->DestroyWindow();
  EXPECT_FALSE(monitor->KillTimer(kStatusTimerId)) << "the timer outlived the dialog";

  CStatusDlg next;
  next.m_pChannel = &console->StatusChannel();
  next.m_strTargetAddress = printer.Address();
  ASSERT_TRUE(next.Create());
  EXPECT_EQ(FromGbk(next.m_btnCover.GetWindowText()), "Cover is open") << "the template's caption";
  EXPECT_EQ(next.m_btnCover.IconIdIn(), static_cast<UINT>(IDI_STATE_IDLE));
  EXPECT_EQ(qobject_cast<QPushButton*>(next.GetDlgItem(IDC_GET_STATUS))->text(), "&Monitor Status");
}

TEST_F(Monitor, CloseMadeWhileTheProbeWaitsEndsTheMonitorAndNothingFollows) {
  TestPrinter printer(Address(), {PortMode::Unreachable});  // the probe waits its 300 ms
  Open(res::Language::English, printer.Address());
  const auto lamps = Lamps();
  MessageBoxRecorder boxes;
  QTimer::singleShot(0, [&] { QTest::keyClick(monitor->GetDialogWindow(), Qt::Key_Escape); });
  monitor->OnTimer(kStatusTimerId);
  EXPECT_EQ(monitor->GetModalResult(), IDCANCEL) << "the Escape made during the wait was lost";
  EXPECT_EQ(Lamps(), lamps) << "the dropped result still lit a lamp";
  const int connects = library.connectCalls;
  monitor->OnTimer(kStatusTimerId);
  EXPECT_EQ(library.connectCalls, connects) << "a poll followed the close";
  EXPECT_EQ(boxes.Texts(), QStringList{});
}

TEST_F(Monitor, ClosingWhileTheQueryWaitsForItsConnectShowsNoBox) {
  // Port 9100 answers the probe, port 4000 drops the query's connect: 3 s.
  TestPrinter printer(Address(), {}, {PortMode::Unreachable});
  Open(res::Language::English, printer.Address());
  MessageBoxRecorder boxes;
  auto* close = qobject_cast<QPushButton*>(monitor->GetDlgItem(IDOK));
  QTimer clicker;
  QElapsedTimer sinceProbe;
  QObject::connect(&clicker, &QTimer::timeout, [&] {
    // A while after the probe has closed its connection, the wait is the query's.
    const auto probes = printer.ConnectionsOn(printerlink::kFramePort);
    if (probes.empty() || !probes[0].closed) return;
    if (!sinceProbe.isValid()) sinceProbe.start();
    if (sinceProbe.elapsed() < 200 || !CallInFlight()) return;
    clicker.stop();
    QTest::mouseClick(close, Qt::LeftButton);
  });
  clicker.start(10);
  monitor->OnTimer(kStatusTimerId);
  clicker.stop();
  EXPECT_EQ(library.connectCalls, 2) << "the close did not come while the query waited";
  EXPECT_EQ(monitor->GetModalResult(), IDOK) << "the click on Close was lost";
  EXPECT_EQ(boxes.Texts(), QStringList{}) << "the failed query's box came after the close";
  EXPECT_EQ(Caption(monitor->m_btnOnline), "Printer is off-line") << "the template's caption, untouched";
}

}  // namespace
