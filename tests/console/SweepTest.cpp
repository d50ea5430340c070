#include <gtest/gtest.h>

#include <QComboBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "ExchangeLogFormat.h"
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
    std::filesystem::remove_all(tablesDir);
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

  // A neighbour table that knows the card of the printer at `address`, and a
  // registry that names the card's maker, for the console's sweep to read.
  void KnowCard(const std::string& address, const char* mac) {
    std::filesystem::create_directories(tablesDir + "/ieee");
    std::ofstream(tablesDir + "/arp")
        << "IP address       HW type     Flags       HW address            Mask     Device\n"
        << address << "     0x1         0x2         " << mac << "     *        eth0\n";
    // The documentation range, assigned to no maker: a made-up one.
    std::ofstream(tablesDir + "/ieee/oui36.csv") << "Registry,Assignment,Organization Name,Organization Address\r\n"
                                                    "MA-S,00005E005,Example Printer Cards,Documentation Range 1 \r\n";
    dlg.m_localTables = {tablesDir + "/arp", tablesDir + "/ieee"};
  }

  testsupport::LoopbackOnlyLibrary library;
  CPrinterTestDlg dlg{nullptr, library};
  const std::string tablesDir = ::testing::TempDir() + "/sweep-tables-" + std::to_string(::getpid());
};

TEST_F(Sweep, FindsThePrintersOfTheTargetSubnetInHostOrder) {
  TestPrinter twenty(Address(20));
  TestPrinter seven(Address(7));
  KnowCard(seven.Address(), "00:00:5e:00:53:07");  // .20 stays what loopback is: this computer
  struct : printerlink::ExchangeObserver {
    std::vector<printerlink::ExchangeRecord> records;
    void OnExchange(const printerlink::ExchangeRecord& r) override { records.push_back(r); }
  } log;
  dlg.m_pExchangeObserver = &log;
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
  // The cards cost no byte on the wire: hosts 1 to 254 probed, nothing sent.
  EXPECT_EQ(library.connectCalls, 254);
  EXPECT_EQ(library.sendCalls, 0);

  const QString card = QStringLiteral("MAC 00:00:5E:00:53:07, Example Printer Cards");
  const struct {
    const char* fault;
    int entry;
    QString tooltip;
  } entries[] = {
      {"the entry's card from the neighbour table is not in its tooltip", 0, card},
      {"a printer on this computer gets another's card", 1, "an address of this computer"},
  };
  for (const auto& e : entries) EXPECT_EQ(List()->itemData(e.entry, Qt::ToolTipRole).toString(), e.tooltip) << e.fault;
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(LogCellText(log.records[0], LogColumn::Reply, {}), "found: " + QString::fromStdString(seven.Address()) +
                                                                   " (" + card + "), " +
                                                                   QString::fromStdString(twenty.Address()))
      << "the log's cell lacks the card, or names one for this computer";
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
