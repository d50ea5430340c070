#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "Gbk.h"
#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "MessageBoxRecorder.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "TargetAddress.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "Transport.h"

using testsupport::MessageBoxRecorder;

namespace {

TEST(TargetAddress, FollowsTheRadioChoiceAndTheList) {
  struct Case {
    const char* catches;
    int mode;
    std::array<std::uint8_t, 4> fields;
    int listCount;
    std::string listText;
    std::string expected;
  };
  const Case cases[] = {
      {"typed address", 0, {10, 1, 2, 3}, 2, "192.168.5.7", "10.1.2.3"},
      {"blank fields read as 0", 0, {10, 0, 0, 0}, 0, "", "10.0.0.0"},
      {"found printer", 1, {10, 1, 2, 3}, 2, "192.168.5.7", "192.168.5.7"},
      {"empty list: an unseen default printer instead of the typed one", 1, {10, 1, 2, 3}, 0, "", "10.1.2.3"},
      {"no radio selected reads the list", -1, {10, 1, 2, 3}, 1, "192.168.5.9", "192.168.5.9"},
      {"no radio, empty list: the typed address too", -1, {10, 1, 2, 3}, 0, "", "10.1.2.3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TargetAddressFor(c.mode, c.fields, c.listCount, c.listText), c.expected) << c.catches;
  }
}

class Console : public ::testing::Test {
protected:
  void SetUp() override {
    SetInterfaceLanguage(res::Language::English);
    ASSERT_TRUE(dlg.Create());
  }
  void TearDown() override {
    dlg.DestroyWindow();
    SetInterfaceLanguage(std::nullopt);
    EXPECT_EQ(library.opened, library.closed);
  }
  std::string Address(int host = 1) const { return testsupport::TestAddress(host); }
  template <typename W>
  W* Item(int id) {
    auto* w = qobject_cast<W*>(dlg.GetDlgItem(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
  }
  // Points the console at a loopback printer before anything is sent.
  void Target(const std::string& address) {
    Item<Ipv4FieldWidget>(IDC_IP_TARGET)->SetText(QString::fromStdString(address));
  }
  // Radio 1011 without a sweep: its question is answered Cancel.
  void ChooseListMode() {
    MessageBoxRecorder boxes;
    boxes.answers = {IDCANCEL_ANSWER};
    QTest::mouseClick(Item<QRadioButton>(IDC_RADIO_AUTO), Qt::LeftButton);
    EXPECT_EQ(boxes.Texts(), QStringList{"Search Start?"});
  }
  CString Resolve() {
    dlg.UpdateData(TRUE);
    return dlg.ResolveTargetAddress();
  }

  testsupport::LoopbackOnlyLibrary library;
  CPrinterTestDlg dlg{nullptr, library};
};

TEST_F(Console, StartsWithItsDefaultsInPlace) {
  EXPECT_TRUE(Item<QRadioButton>(IDC_RADIO_MANUAL)->isChecked());
  EXPECT_FALSE(Item<QRadioButton>(IDC_RADIO_AUTO)->isChecked());
  EXPECT_EQ(Item<Ipv4FieldWidget>(IDC_IP_TARGET)->Text(), "192.168.1.10");
  EXPECT_EQ(Item<Ipv4FieldWidget>(IDC_IP_NEW)->Text(), "192.168.1.10");
  EXPECT_EQ(Item<QLineEdit>(IDC_OTHER_HEX)->text(), "1B,64,10");
  EXPECT_EQ(Item<QLineEdit>(IDC_MAC)->text(), "554433221100");
  EXPECT_EQ(Item<QComboBox>(IDC_PRINTER_LIST)->count(), 0);
  EXPECT_TRUE(Item<QProgressBar>(IDC_PROGRESS)->isHidden());
  const QString page = Item<QPlainTextEdit>(IDC_TEST_PAGE)->toPlainText();
  EXPECT_TRUE(page.startsWith(QStringLiteral("时间:"))) << page.toStdString();
  EXPECT_TRUE(page.endsWith(QStringLiteral("\nBrenholt\n\n"))) << page.toStdString();
  EXPECT_EQ(Resolve(), "192.168.1.10");

  const CMenu* menu = dlg.GetSystemMenu(FALSE);
  ASSERT_NE(menu, nullptr);
  ASSERT_GE(menu->Items().size(), 2u);
  const CMenu::Item& about = menu->Items().back();
  EXPECT_EQ(about.id, static_cast<UINT>(IDM_ABOUTBOX));
  EXPECT_EQ(about.text, QStringLiteral("About OrvanePrinterTest(&A)..."));
  EXPECT_TRUE(menu->Items()[menu->Items().size() - 2].flags & MF_SEPARATOR);
}

TEST_F(Console, APickedPrinterIsCopiedToTheTargetAndStaysThere) {
  auto* list = Item<QComboBox>(IDC_PRINTER_LIST);
  list->addItems({"127.9.9.3", "127.9.9.7"});
  ChooseListMode();
  list->setCurrentIndex(1);
  emit list->activated(1);  // the user's pick
  EXPECT_EQ(Item<Ipv4FieldWidget>(IDC_IP_TARGET)->Text(), "127.9.9.7");
  EXPECT_EQ(Resolve(), "127.9.9.7");
  QTest::mouseClick(Item<QRadioButton>(IDC_RADIO_MANUAL), Qt::LeftButton);
  EXPECT_EQ(Resolve(), "127.9.9.7") << "back on the typed address, the pick is still the target";
}

TEST_F(Console, ListModeWithAnEmptyListGoesToTheTypedTarget) {
  Target("10.1.2.3");
  ChooseListMode();
  EXPECT_EQ(Resolve(), "10.1.2.3");
}

TEST_F(Console, BlankAddressFieldsReadAsZero) {
  auto* target = Item<Ipv4FieldWidget>(IDC_IP_TARGET);
  target->ClearAddress();
  target->Field(0)->setFocus();
  QTest::keyClicks(target->Field(0), "10");
  EXPECT_EQ(Resolve(), "10.0.0.0");
}

TEST_F(Console, MacFieldTakesTwelveCharactersAndCapitals) {
  auto* mac = Item<QLineEdit>(IDC_MAC);
  mac->clear();
  mac->setFocus();
  QTest::keyClicks(mac, "aabbccddeeff9");
  EXPECT_EQ(mac->text(), "AABBCCDDEEFF");
  auto* hex = Item<QLineEdit>(IDC_OTHER_HEX);
  hex->clear();
  QTest::keyClicks(hex, "1b,0a,1b,40,1b,40,1b,40,1b,40,1b,40");
  EXPECT_EQ(hex->text(), "1B,0A,1B,40,1B,40,1B,40,1B,40,1B,40") << "the hex field has no length limit";
}

TEST_F(Console, EnterAddsALineInTheTestPageButClosesElsewhere) {
  auto* page = Item<QPlainTextEdit>(IDC_TEST_PAGE);
  const int lines = page->blockCount();
  page->setFocus();
  QTest::keyClick(page, Qt::Key_Return);
  EXPECT_EQ(page->blockCount(), lines + 1);
  EXPECT_EQ(dlg.GetModalResult(), -1) << "Enter in the test page closed the console";

  auto* target = Item<Ipv4FieldWidget>(IDC_IP_TARGET);
  target->Field(0)->setFocus();
  QTest::keyClick(target->Field(0), Qt::Key_Return);
  EXPECT_EQ(dlg.GetModalResult(), IDOK);
}

TEST_F(Console, EscapeExitAndTheCloseBoxCancel) {
  QTest::keyClick(Item<QLineEdit>(IDC_MAC), Qt::Key_Escape);
  EXPECT_EQ(dlg.GetModalResult(), IDCANCEL);
  dlg.DestroyWindow();
  ASSERT_TRUE(dlg.Create());
  QTest::mouseClick(Item<QPushButton>(IDCANCEL), Qt::LeftButton);
  EXPECT_EQ(dlg.GetModalResult(), IDCANCEL);
  dlg.DestroyWindow();
  ASSERT_TRUE(dlg.Create());
  dlg.SendSysCommand(SC_CLOSE);
  EXPECT_EQ(dlg.GetModalResult(), IDCANCEL);
}

TEST_F(Console, CommandFrameAndTextJobReachTheTargetPrinter) {
  testsupport::TestPrinter printer(Address());
  Target(printer.Address());
  // Typed bytes leave nine in the CommandFrame; ESC @ clears it before it writes its two.
  Item<QLineEdit>(IDC_OTHER_HEX)->setText("11,22,33,44,55,66,77,88,99");
  QTest::mouseClick(Item<QPushButton>(IDC_OTHER_SET), Qt::LeftButton);
  QTest::mouseClick(Item<QPushButton>(IDC_INIT_PRINTER), Qt::LeftButton);
  EXPECT_EQ(dlg.SendCommandFrame(9, false), 1);
  dlg.SendTextJob("\xB2\xE2\xCA\xD4\n");
  ASSERT_TRUE(printer.WaitForClosedConnections(4, 5000));
  EXPECT_EQ(printer.ConnectionsOn(printerlink::kFramePort).at(2).bytes,
            (std::vector<std::uint8_t>{0x1B, 0x40, 0, 0, 0, 0, 0, 0, 0}))
      << "ESC @ left the typed bytes behind it";
  EXPECT_EQ(printer.ConnectionsOn(printerlink::kTextJobPort).at(0).bytes,
            (std::vector<std::uint8_t>{0xB2, 0xE2, 0xCA, 0xD4, 0x0A}));
}

TEST_F(Console, AFailedSendSaysSoInTheInterfaceLanguage) {
  Target(Address());  // nothing listens there
  for (const auto& [language, text] : {std::pair{res::Language::English, QStringLiteral("Can't Connect Net!")},
                                       std::pair{res::Language::Chinese, QStringLiteral("无法连接网络")}}) {
    SetInterfaceLanguage(language);
    MessageBoxRecorder boxes;
    EXPECT_EQ(dlg.SendCommandFrame(2, false), 0);
    dlg.SendTextJob("silent");
    EXPECT_EQ(boxes.Texts(), QStringList{text}) << "one box for the frame, none for the text job";
    EXPECT_EQ(boxes.boxes.at(0).caption, QStringLiteral("OrvanePrinterTest"));
  }
}

}  // namespace
