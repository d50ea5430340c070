// The console while a printer call waits: the window stays live, the boxes
// and the bytes on the wire come in the same order as ever, clicks made
// meanwhile are dropped, and closing ends the command once its call returns.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "MessageBoxRecorder.h"
#include "PaintCounter.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "Transport.h"
#include "Waiting.h"

using testsupport::MessageBoxRecorder;
using testsupport::PortMode;
using testsupport::TestPrinter;

namespace {

using Bytes = std::vector<std::uint8_t>;

class ConsoleWait : public ::testing::Test {
protected:
  void SetUp() override { SetInterfaceLanguage(res::Language::English); }
  void TearDown() override {
    dlg.DestroyWindow();
    SetInterfaceLanguage(std::nullopt);
    EXPECT_EQ(library.opened, library.closed);
  }
  void Open(const std::string& target) {
    ASSERT_TRUE(dlg.Create());
    qobject_cast<Ipv4FieldWidget*>(dlg.GetDlgItem(IDC_IP_TARGET))->SetText(QString::fromStdString(target));
  }
  QPushButton* Button(int id) { return qobject_cast<QPushButton*>(dlg.GetDlgItem(id)); }
  void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
  // Runs `input` at the first turn of the event loop, which comes while the
  // next command's call waits.
  static void WhileTheCallWaits(std::function<void()> input) { QTimer::singleShot(0, std::move(input)); }

  testsupport::LoopbackOnlyLibrary library;
  CPrinterTestDlg dlg{nullptr, library};
};

TEST_F(ConsoleWait, AFrameToAnUnreachablePrinterLeavesTheWindowLiveAndReportsAfterTheWait) {
  TestPrinter printer(testsupport::TestAddress(), {PortMode::Unreachable});
  Open(printer.Address());
  PaintCounter painted;
  dlg.GetDialogWindow()->installEventFilter(&painted);
  int ticks = 0;
  QTimer timer;
  bool busyCursor = true;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    dlg.GetDialogWindow()->update();
    const QCursor* cursor = QGuiApplication::overrideCursor();
    busyCursor = busyCursor && cursor && cursor->shape() == Qt::WaitCursor;
  });
  timer.start(10);
  struct Seen {
    QString text;
    int ticks;
    int paints;
    bool stillBusy;  // a call in flight or a busy cursor when the box came
  };
  std::vector<Seen> seen;
  const MessageBoxHook previous = SetMessageBoxHook([&](const MessageBoxRecord& box) {
    seen.push_back({box.text, ticks, painted.paints, CallInFlight() || QGuiApplication::overrideCursor()});
    return IDOK_ANSWER;
  });
  Click(IDC_INIT_PRINTER);  // waits out the 3 s connect bound
  SetMessageBoxHook(previous);
  timer.stop();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Can't Connect Net!");
  EXPECT_GE(seen[0].ticks, 2) << "the 10 ms timer stood still while the connect waited";
  EXPECT_GE(seen[0].paints, 1) << "no paint reached the console while the connect waited";
  EXPECT_FALSE(seen[0].stillBusy) << "the box came before the call had ended, or with a busy cursor";
  EXPECT_TRUE(busyCursor) << "no busy cursor while the connect waited";
}

TEST_F(ConsoleWait, ClicksDuringACommandAreDroppedAndCommandsNeverInterleave) {
  TestPrinter printer(testsupport::TestAddress());
  Open(printer.Address());
  // Print sends its page, then pauses a second; the clicks come then.
  WhileTheCallWaits([&] {
    Click(IDC_INIT_PRINTER);
    Click(IDC_CUT_PAPER);
  });
  Click(IDC_PRINT);
  Click(IDC_CASH_DRAWER);  // after Print has returned: runs, and after it
  ASSERT_TRUE(printer.WaitForClosedConnections(2, 5000));
  const auto seen = printer.Connections();
  ASSERT_EQ(seen.size(), 2u) << "a click made while Print waited ran a command";
  EXPECT_EQ(seen[0].port, printerlink::kTextJobPort);
  EXPECT_EQ(seen[1].port, printerlink::kFramePort);
  EXPECT_EQ(seen[1].bytes, (Bytes{0x1B, 0x70, 0x00, 0x08, 0x08})) << "the drawer frame";
}

TEST_F(ConsoleWait, ClosingWhileACommandWaitsEndsItWhenTheCallReturns) {
  // The text job of Cut Paper waits out the 3 s connect bound; Escape comes meanwhile.
  TestPrinter printer(testsupport::TestAddress(), {}, {PortMode::Unreachable});
  Open(printer.Address());
  MessageBoxRecorder boxes;
  bool endedDuringWait = true;
  WhileTheCallWaits([&] {
    QTest::keyClick(dlg.GetDialogWindow(), Qt::Key_Escape);
    endedDuringWait = dlg.IsEnding();
  });
  Click(IDC_CUT_PAPER);
  EXPECT_FALSE(endedDuringWait) << "the console closed in the middle of the call";
  EXPECT_EQ(dlg.GetModalResult(), IDCANCEL) << "the Escape made during the wait was lost";
  EXPECT_EQ(boxes.Texts(), QStringList{}) << "a box followed the close";
  EXPECT_TRUE(printer.ConnectionsOn(printerlink::kFramePort).empty()) << "the feed and cut went after the close";
}

}  // namespace
