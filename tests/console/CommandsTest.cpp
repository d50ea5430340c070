// Every console button end to end against a printer on loopback: the bytes on
// each port, and the message boxes in order, in English and in Chinese.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

#include "Gbk.h"
#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "MessageBoxRecorder.h"
#include "MyEdit.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "Transport.h"

using testsupport::MessageBoxRecorder;
using testsupport::TestPrinter;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kWaitMs = 5000;

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

class Commands : public ::testing::Test {
protected:
  std::string Address(int host) const { return testsupport::TestAddress(host); }
  // A console on its own, pointed at `target` before anything is sent.
  std::unique_ptr<CPrinterTestDlg> OpenConsole(res::Language language, const std::string& target) {
    SetInterfaceLanguage(language);
    auto dlg = std::make_unique<CPrinterTestDlg>(nullptr, library);
    EXPECT_TRUE(dlg->Create());
    Ip(*dlg, IDC_IP_TARGET)->SetText(QString::fromStdString(target));
    return dlg;
  }
  static Ipv4FieldWidget* Ip(CPrinterTestDlg& dlg, int id) {
    return qobject_cast<Ipv4FieldWidget*>(dlg.GetDlgItem(id));
  }
  static QLineEdit* Mac(CPrinterTestDlg& dlg) { return qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_MAC)); }
  // Radio 1011 without a sweep: its question is answered Cancel.
  static void ChooseListMode(CPrinterTestDlg& dlg) {
    MessageBoxRecorder boxes;
    boxes.answers = {IDCANCEL_ANSWER};
    Click(dlg, IDC_RADIO_AUTO);
  }
  static void Click(CPrinterTestDlg& dlg, int id) {
    auto* button = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(id));
    ASSERT_NE(button, nullptr) << "control " << id;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  void TearDown() override {
    SetInterfaceLanguage(std::nullopt);
    EXPECT_EQ(library.opened, library.closed);
  }

  testsupport::LoopbackOnlyLibrary library;
};

struct CommandCase {
  const char* name;
  std::function<void(CPrinterTestDlg&, const QString& printer)> prepare;
  int button;
  std::vector<Bytes> frames9100;  // one connection each
  std::vector<Bytes> jobs4000;
  QStringList english;
  QStringList chinese;
};

TEST_F(Commands, EachButtonSendsItsBytesAndSaysWhatHappened) {
  // Boxes that name the printer's address say "here"; each run has its own printer.
  const QString here = QStringLiteral("here");
  const Bytes fourteen = {0x1B, 0x40, 0x1B, 0x61, 0x01, 0x48, 0x45, 0x4C, 0x4C, 0x4F, 0x0A, 0x1D, 0x56, 0x00};
  const std::vector<CommandCase> cases = {
      {"Other Test: fourteen values reach the printer whole",
       [](CPrinterTestDlg& d, const QString&) {
         qobject_cast<QLineEdit*>(d.GetDlgItem(IDC_OTHER_HEX))->setText("1B,40,1B,61,01,48,45,4C,4C,4F,0A,1D,56,00");
       },
       IDC_OTHER_SET,
       {fourteen},
       {},
       {},
       {}},
      {"Set IP to another address",
       [](CPrinterTestDlg& d, const QString&) { Ip(d, IDC_IP_NEW)->SetText("10.0.0.7"); },
       IDC_SET_IP,
       {{0x1D, 0x44, 0x0A, 0x00, 0x00, 0x07, 0x11}},
       {},
       {"Set IP Success!"},
       {"设置IP成功!"}},
      {"Set IP to the address it has: nothing sent",
       [](CPrinterTestDlg& d, const QString& printer) { Ip(d, IDC_IP_NEW)->SetText(printer); },
       IDC_SET_IP,
       {},
       {},
       {"The Current IP is" + here},
       {"当前IP已是" + here}},
      {"Set Mac",
       [](CPrinterTestDlg& d, const QString&) { Mac(d)->setText("001122334455"); },
       IDC_SET_MAC,
       {{0x1D, 0x45, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0xFF}},
       {},
       {"Set Mac Success"},
       {"Set Mac Success"}},
      {"Set Mac with eleven characters: nothing sent",
       [](CPrinterTestDlg& d, const QString&) { Mac(d)->setText("00112233445"); },
       IDC_SET_MAC,
       {},
       {},
       {"The Length of the Mac must be 12."},
       {"物理地址必须为12位的十六进制数"}},
      {"Test", {}, IDC_TEST_CONNECTION, {}, {Bytes{}}, {"Connect ok!"}, {"网络连接正常"}},
      {"Print: the page as GBK and one line feed",
       [](CPrinterTestDlg& d, const QString&) {
         qobject_cast<QPlainTextEdit*>(d.GetDlgItem(IDC_TEST_PAGE))->setPlainText("Line one\n测试");
       },
       IDC_PRINT,
       {},
       {B("Line one\n\xB2\xE2\xCA\xD4\n")},
       {},
       {}},
  };
  int host = 10;
  for (const CommandCase& c : cases) {
    for (const res::Language language : {res::Language::English, res::Language::Chinese}) {
      SCOPED_TRACE(std::string(c.name) + (language == res::Language::English ? " (English)" : " (Chinese)"));
      TestPrinter printer(Address(host));
      ++host;
      auto dlg = OpenConsole(language, printer.Address());
      if (c.prepare) c.prepare(*dlg, QString::fromStdString(printer.Address()));
      MessageBoxRecorder boxes;
      Click(*dlg, c.button);
      ASSERT_TRUE(printer.WaitForClosedConnections(c.frames9100.size() + c.jobs4000.size(), kWaitMs));
      std::vector<Bytes> seen9100, seen4000;
      for (const auto& conn : printer.ConnectionsOn(printerlink::kFramePort)) seen9100.push_back(conn.bytes);
      for (const auto& conn : printer.ConnectionsOn(printerlink::kReplyPort)) seen4000.push_back(conn.bytes);
      EXPECT_EQ(seen9100, c.frames9100);
      EXPECT_EQ(seen4000, c.jobs4000);
      QStringList expected = language == res::Language::English ? c.english : c.chinese;
      expected.replaceInStrings(here, QString::fromStdString(printer.Address()));
      EXPECT_EQ(boxes.Texts(), expected);
    }
  }
}

TEST_F(Commands, AnUnreachablePrinterIsReportedOncePerFrame) {
  struct Case {
    const char* name;
    int button;
    QStringList english;
    QStringList chinese;
  };
  const Case cases[] = {
      {"Set IP", IDC_SET_IP, {"Can't Connect Net!", "Set IP Failed!"}, {"无法连接网络", "设置IP失败!"}},
      {"Set Mac", IDC_SET_MAC, {"Can't Connect Net!", "Set Mac Error"}, {"无法连接网络", "Set Mac Error"}},
      {"Cut Paper: twice, nothing else",
       IDC_CUT_PAPER,
       {"Can't Connect Net!", "Can't Connect Net!"},
       {"无法连接网络", "无法连接网络"}},
      {"Initi", IDC_INIT_PRINTER, {"Can't Connect Net!"}, {"无法连接网络"}},
      {"Test", IDC_TEST_CONNECTION, {"Can't Connect Net!"}, {"无法连接网络"}},
      {"Print says nothing", IDC_PRINT, {}, {}},
  };
  for (const Case& c : cases) {
    for (const res::Language language : {res::Language::English, res::Language::Chinese}) {
      SCOPED_TRACE(c.name);
      auto dlg = OpenConsole(language, Address(2));  // nothing listens there
      Ip(*dlg, IDC_IP_NEW)->SetText("10.0.0.7");
      Mac(*dlg)->setText("001122334455");
      MessageBoxRecorder boxes;
      Click(*dlg, c.button);
      EXPECT_EQ(boxes.Texts(), language == res::Language::English ? c.english : c.chinese);
    }
  }
  EXPECT_EQ(library.sendCalls, 0) << "bytes were sent without a connection";
}

TEST_F(Commands, PrintTwiceSendsTheSameTextWithOneLineFeedEach) {
  TestPrinter printer(Address(1));
  auto dlg = OpenConsole(res::Language::English, printer.Address());
  const QString page = qobject_cast<QPlainTextEdit*>(dlg->GetDlgItem(IDC_TEST_PAGE))->toPlainText();
  Click(*dlg, IDC_PRINT);
  Click(*dlg, IDC_PRINT);
  ASSERT_TRUE(printer.WaitForClosedConnections(2, kWaitMs));
  const auto jobs = printer.ConnectionsOn(printerlink::kTextJobPort);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].bytes, B(ToGbk(page) + "\n"));
  EXPECT_EQ(jobs[1].bytes, jobs[0].bytes);
  EXPECT_EQ(qobject_cast<QPlainTextEdit*>(dlg->GetDlgItem(IDC_TEST_PAGE))->toPlainText(), page)
      << "the line feed piled up in the field";
}

TEST_F(Commands, TestProbesTheTypedAddressEvenInListMode) {
  TestPrinter printer(Address(1));
  auto dlg = OpenConsole(res::Language::English, printer.Address());
  auto* list = qobject_cast<QComboBox*>(dlg->GetDlgItem(IDC_PRINTER_LIST));
  list->addItem(QString::fromStdString(Address(2)));  // nothing listens there
  list->setCurrentIndex(0);
  ChooseListMode(*dlg);
  MessageBoxRecorder boxes;
  Click(*dlg, IDC_TEST_CONNECTION);
  EXPECT_EQ(boxes.Texts(), QStringList{"Connect ok!"});
}

TEST_F(Commands, AfterSetIpTheNextCommandStillGoesToTheOldAddress) {
  TestPrinter printer(Address(1));
  auto dlg = OpenConsole(res::Language::English, printer.Address());
  Ip(*dlg, IDC_IP_NEW)->SetText(QString::fromStdString(Address(2)));
  MessageBoxRecorder boxes;
  Click(*dlg, IDC_SET_IP);
  Click(*dlg, IDC_INIT_PRINTER);
  ASSERT_TRUE(printer.WaitForClosedConnections(2, kWaitMs));
  const auto frames = printer.ConnectionsOn(printerlink::kFramePort);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].bytes, (Bytes{0x1B, 0x40}));
  EXPECT_EQ(Ip(*dlg, IDC_IP_TARGET)->Text(), QString::fromStdString(printer.Address()));
}

TEST_F(Commands, SetIpInListModeWithAnEmptyListComparesWithTheTypedTarget) {
  auto dlg = OpenConsole(res::Language::English, Address(1));
  Ip(*dlg, IDC_IP_NEW)->SetText(QString::fromStdString(Address(1)));
  ChooseListMode(*dlg);
  MessageBoxRecorder boxes;
  Click(*dlg, IDC_SET_IP);
  EXPECT_EQ(boxes.Texts(), QStringList{QString::fromStdString("The Current IP is" + Address(1))});
  EXPECT_EQ(library.connectCalls, 0);
}

// ---------------------------------------------------------------------------
// Settings that would strand a printer, and printers the technician cannot see.

enum class Way { Type, OneKeyEvent, MenuPaste, ShiftInsert, MiddleClick };

TEST_F(Commands, MacFieldKeepsOnlyTheHexDigitsOfWhatIsTypedOrPasted) {
  struct Case {
    const char* catches;
    Way way;
    QString input;
    QString shown;
    Bytes frame;  // empty: refused with the length message
  };
  const Bytes label = {0x1D, 0x45, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0xFF};
  const Case cases[] = {
      {"typed colons taken as digits", Way::Type, "00:11:22:33:44:55", "001122334455", label},
      {"one key event's text filtered by its first character only", Way::OneKeyEvent, "00:11-22:33:44:55",
       "001122334455", label},
      {"menu paste unfiltered", Way::MenuPaste, "00:11:22:33:44:55", "001122334455", label},
      {"Shift+Insert unfiltered, dashes and lower case",
       Way::ShiftInsert,
       "66-77-88-99-aa-bb",
       "66778899AABB",
       {0x1D, 0x45, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0x63}},
      {"middle click unfiltered", Way::MiddleClick, "00:11:22:33:44:55", "001122334455", label},
      {"paste cut at twelve characters, not twelve digits", Way::MenuPaste, " 00-11-22-33-44-55-66\n", "001122334455",
       label},
      {"half a MAC sent padded", Way::Type, "00:11:22", "001122", {}},
      {"a paste without digits leaves nothing to send", Way::MenuPaste, "xyz: -", "", {}},
  };
  int host = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.catches);
    TestPrinter printer(Address(host++));
    auto dlg = OpenConsole(res::Language::English, printer.Address());
    QLineEdit* field = Mac(*dlg);
    field->clear();
    field->setFocus();
    switch (c.way) {
      case Way::Type: QTest::keyClicks(field, c.input); break;
      case Way::OneKeyEvent: {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, c.input);
        QApplication::sendEvent(field, &key);
        break;
      }
      case Way::MenuPaste: {
        QGuiApplication::clipboard()->setText(c.input);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), field->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(field, &menuEvent);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
          if (action->text().startsWith("&Paste")) action->trigger();
        }
        menu->close();
        break;
      }
      case Way::ShiftInsert:
        QGuiApplication::clipboard()->setText(c.input);
        QTest::keyClick(field, Qt::Key_Insert, Qt::ShiftModifier);
        break;
      case Way::MiddleClick: {
        // The offscreen platform has no selection of its own: the row gives one.
        const SelectionSource desktop = SetMyEditSelectionSource([&c] { return std::optional(c.input); });
        QTest::mouseClick(field, Qt::MiddleButton);
        SetMyEditSelectionSource(desktop);
        break;
      }
    }
    EXPECT_EQ(field->text(), c.shown);
    MessageBoxRecorder boxes;
    Click(*dlg, IDC_SET_MAC);
    if (c.frame.empty()) {
      EXPECT_EQ(boxes.Texts(), QStringList{"The Length of the Mac must be 12."});
      EXPECT_EQ(printer.AcceptedCount(), 0u);
      continue;
    }
    EXPECT_EQ(boxes.Texts(), QStringList{"Set Mac Success"});
    ASSERT_TRUE(printer.WaitForClosedConnections(1, kWaitMs));
    EXPECT_EQ(printer.ConnectionsOn(printerlink::kFramePort).at(0).bytes, c.frame);
  }
}

TEST_F(Commands, SettingsNoStationMayHaveAreRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* catches;
    std::function<void(CPrinterTestDlg&)> prepare;
    int button;
    QString english;
    QString chinese;
  };
  const QString macEnglish = "The Mac must not be a multicast address (first byte odd) or all zeros.";
  const QString macChinese = "物理地址不能是组播地址（首字节为奇数）或全零";
  const QString ipEnglish = "The new IP needs all four parts, the first from 1 to 223.";
  const QString ipChinese = "新IP的四段都必须填写，且第一段为1到223";
  auto newIp = [](const char* text) { return [text](CPrinterTestDlg& d) { Ip(d, IDC_IP_NEW)->SetText(text); }; };
  auto mac = [](const char* text) { return [text](CPrinterTestDlg& d) { Mac(d)->setText(text); }; };
  const Case cases[] = {
      {"the default MAC text is a group address", {}, IDC_SET_MAC, macEnglish, macChinese},
      {"all-zero MAC", mac("000000000000"), IDC_SET_MAC, macEnglish, macChinese},
      {"half-typed new IP sent as 192.168.1.0", newIp("192.168.1."), IDC_SET_IP, ipEnglish, ipChinese},
      {"cleared new IP sent as 0.0.0.0", [](CPrinterTestDlg& d) { Ip(d, IDC_IP_NEW)->ClearAddress(); }, IDC_SET_IP,
       ipEnglish, ipChinese},
      {"broadcast new IP", newIp("255.255.255.255"), IDC_SET_IP, ipEnglish, ipChinese},
  };
  for (const Case& c : cases) {
    for (const res::Language language : {res::Language::English, res::Language::Chinese}) {
      SCOPED_TRACE(c.catches);
      auto dlg = OpenConsole(language, Address(2));
      if (c.prepare) c.prepare(*dlg);
      MessageBoxRecorder boxes;
      Click(*dlg, c.button);
      EXPECT_EQ(boxes.Texts(), QStringList{language == res::Language::English ? c.english : c.chinese});
    }
  }
  EXPECT_EQ(library.connectCalls, 0) << "a refused setting was sent";
}

TEST_F(Commands, AnEmptyListSendsToTheTypedTargetNotToAnUnseenPrinter) {
  // The default printer is no loopback address: the library would abort on it.
  TestPrinter printer(Address(1));
  auto dlg = OpenConsole(res::Language::English, printer.Address());
  Ip(*dlg, IDC_IP_NEW)->SetText("10.0.0.7");
  Mac(*dlg)->setText("001122334455");
  ChooseListMode(*dlg);
  MessageBoxRecorder boxes;
  for (int button : {IDC_INIT_PRINTER, IDC_SET_MAC, IDC_SET_IP}) Click(*dlg, button);
  EXPECT_EQ(boxes.Texts(), (QStringList{"Set Mac Success", "Set IP Success!"}));
  ASSERT_TRUE(printer.WaitForClosedConnections(3, kWaitMs));
  EXPECT_EQ(printer.ConnectionsOn(printerlink::kFramePort).size(), 3u);
}

TEST_F(Commands, ATargetIn0Slash8IsNoPrinter) {
  // On Linux 0.x reaches this machine, where anything listening would pass for the printer.
  for (const char* target : {"0.0.0.0", "0.1.2.3"}) {
    SCOPED_TRACE(target);
    auto dlg = OpenConsole(res::Language::English, target);
    struct : printerlink::ExchangeObserver {
      void OnExchange(const printerlink::ExchangeRecord& r) override { outcomes.push_back(OutcomeName(r.outcome)); }
      std::vector<std::string> outcomes;
    } log;
    dlg->m_pExchangeObserver = &log;
    MessageBoxRecorder boxes;
    boxes.answers = {IDOK_ANSWER, IDOK_ANSWER, IDOK_ANSWER};
    Click(*dlg, IDC_TEST_CONNECTION);
    Click(*dlg, IDC_INIT_PRINTER);
    Click(*dlg, IDC_RADIO_AUTO);  // the sweep of 0.x.y.0/24 says nothing, as any empty sweep
    EXPECT_EQ(boxes.Texts(), (QStringList{"Can't Connect Net!", "Can't Connect Net!", "Search Start?"}));
    EXPECT_EQ(log.outcomes, (std::vector<std::string>(3, "bad-address"))) << "a sweep of 0.x read as 254 silent";
  }
  EXPECT_EQ(library.connectCalls, 0);
}

}  // namespace

TEST_F(Commands, APrinterThatThrowsTheBytesAwayUnreadIsNoSuccess) {
  const struct {
    const char* fault;
    int button;
    QStringList english;
  } cases[] = {
      {"Set IP says success for an address the printer never read",
       IDC_SET_IP,
       {"Can't Connect Net!", "Set IP Failed!"}},
      {"Set Mac says success for a MAC the printer never read", IDC_SET_MAC, {"Can't Connect Net!", "Set Mac Error"}},
      {"the drawer stays shut without a word", IDC_CASH_DRAWER, {"Can't Connect Net!"}},
  };
  int host = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    // Its TCP acknowledges the frame, then it hangs up with the frame unread.
    TestPrinter printer(Address(host++), {testsupport::PortMode::Discard, {}, 200});
    auto dlg = OpenConsole(res::Language::English, printer.Address());
    Ip(*dlg, IDC_IP_NEW)->SetText("10.0.0.7");
    qobject_cast<QLineEdit*>(dlg->GetDlgItem(IDC_MAC))->setText("001122334455");  // a station's MAC
    MessageBoxRecorder boxes;
    Click(*dlg, c.button);
    EXPECT_EQ(boxes.Texts(), c.english);
  }
}
