#include <gtest/gtest.h>

#include <QComboBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>

#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "MessageBoxRecorder.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "Sweep.h"
#include "TestAddress.h"
#include "TestPrinter.h"

using testsupport::MessageBoxRecorder;
using testsupport::TestPrinter;

namespace {

TEST(SweepProgress, RoundsHostTimesHundredOver254) {
  const std::pair<int, int> cases[] = {{1, 0}, {2, 1}, {3, 1}, {127, 50}, {128, 50}, {253, 100}, {254, 100}};
  for (const auto& [host, position] : cases) EXPECT_EQ(SweepProgress(host), position) << "host " << host;
  for (int host = 2; host <= kSweepLastHost; ++host) {
    EXPECT_LE(SweepProgress(host - 1), SweepProgress(host)) << "the bar went back at host " << host;
  }
}

class Sweep : public ::testing::Test {
protected:
  std::string Address(int host, const char* net = "") const { return testsupport::TestAddress(host, net); }
  void SetUp() override {
    SetInterfaceLanguage(res::Language::English);
    ASSERT_TRUE(dlg.Create());
  }
  void TearDown() override {
    dlg.DestroyWindow();
    SetInterfaceLanguage(std::nullopt);
    EXPECT_EQ(library.opened, library.closed);
  }
  Ipv4FieldWidget* Target() { return qobject_cast<Ipv4FieldWidget*>(dlg.GetDlgItem(IDC_IP_TARGET)); }
  QComboBox* List() { return qobject_cast<QComboBox*>(dlg.GetDlgItem(IDC_PRINTER_LIST)); }
  QWidget* Bar() { return dlg.GetDlgItem(IDC_PROGRESS); }
  QStringList Entries() {
    QStringList entries;
    for (int i = 0; i < List()->count(); ++i) entries << List()->itemText(i);
    return entries;
  }
  // Clicks "Auto Get Printer IP Address" and answers its question.
  QStringList ClickAuto(int answer) {
    MessageBoxRecorder boxes;
    boxes.answers = {answer};
    QTest::mouseClick(qobject_cast<QRadioButton*>(dlg.GetDlgItem(IDC_RADIO_AUTO)), Qt::LeftButton);
    return boxes.Texts();
  }

  testsupport::LoopbackOnlyLibrary library;
  CPrinterTestDlg dlg{nullptr, library};
};

TEST_F(Sweep, FindsThePrintersOfTheTargetSubnetInHostOrder) {
  TestPrinter twenty(Address(20));
  TestPrinter seven(Address(7));
  const QString target = QString::fromStdString(Address(99));  // its fourth field plays no part
  Target()->SetText(target);
  EXPECT_TRUE(Bar()->isHidden());

  EXPECT_EQ(ClickAuto(IDOK_ANSWER), QStringList{"Search Start?"});
  EXPECT_EQ(Entries(),
            (QStringList{QString::fromStdString(seven.Address()), QString::fromStdString(twenty.Address())}));
  EXPECT_EQ(List()->currentIndex(), 0);
  EXPECT_EQ(Target()->Text(), target) << "the selection was copied into the target field";
  EXPECT_TRUE(Bar()->isHidden());
  dlg.UpdateData(TRUE);
  EXPECT_EQ(dlg.ResolveTargetAddress(), seven.Address());
  EXPECT_EQ(library.connectCalls, 254) << "hosts 1 to 254, no more: the cards cost no byte on the wire";
  EXPECT_EQ(List()->itemData(0, Qt::ToolTipRole).toString(), "an address of this computer")
      << "the entry's card from the neighbour table is not in its tooltip";
}

TEST_F(Sweep, CancelKeepsTheListAndANewSweepStartsEmptyFromTheTargetField) {
  TestPrinter a(Address(3));
  TestPrinter b(Address(4));
  Target()->SetText(QString::fromStdString(Address(1)));
  ClickAuto(IDOK_ANSWER);
  ASSERT_EQ(List()->count(), 2);
  List()->setCurrentIndex(1);

  ClickAuto(IDCANCEL_ANSWER);
  EXPECT_EQ(List()->count(), 2);
  EXPECT_EQ(List()->currentIndex(), 1);
  EXPECT_TRUE(qobject_cast<QRadioButton*>(dlg.GetDlgItem(IDC_RADIO_AUTO))->isChecked());
  EXPECT_EQ(library.connectCalls, 254) << "Cancel probed";

  TestPrinter other(Address(200, "/other"));
  Target()->SetText(QString::fromStdString(Address(1, "/other")));
  ClickAuto(IDOK_ANSWER);
  EXPECT_EQ(Entries(), QStringList{QString::fromStdString(other.Address())});
}

TEST_F(Sweep, NothingFoundLeavesTheListEmptyAndSaysNothing) {
  Target()->SetText(QString::fromStdString(Address(1)));
  EXPECT_EQ(ClickAuto(IDOK_ANSWER), QStringList{"Search Start?"}) << "no box after the question";
  EXPECT_EQ(List()->count(), 0);
  EXPECT_EQ(List()->currentIndex(), -1);
  dlg.UpdateData(TRUE);
  EXPECT_EQ(dlg.ResolveTargetAddress(), Address(1)) << "list mode with an empty list: the typed target";
}

}  // namespace
