#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTest>

#include "AccessibleNames.h"
#include "DataExchange.h"
#include "Dialog.h"
#include "DialogUnits.h"
#include "Gbk.h"
#include "MessageBoxRecorder.h"
#include "ResourceIds.h"
#include "StringTable.h"

namespace {

TEST(AccessibleNames, CaptionsReadWithoutTheirMnemonic) {
  const struct {
    const char* catches;
    QString caption;
    QString name;
  } cases[] = {
      {"the marker goes, the letter stays", "&Close", "Close"},
      {"a marker inside a word", QStringLiteral("设置I&P"), QStringLiteral("设置IP")},
      {"a doubled ampersand is one ampersand", "Print && cut", "Print & cut"},
      {"a bracketed accelerator goes whole", QStringLiteral("退出(&X)"), QStringLiteral("退出")},
      {"an accelerator whose bracket was lost goes whole", QStringLiteral("关闭&X)"), QStringLiteral("关闭")},
      {"brackets without a marker are text", QStringLiteral("初始化(I)"), QStringLiteral("初始化(I)")},
      {"a lone marker at the end marks nothing", "Set &", "Set"},
  };
  for (const auto& c : cases) EXPECT_EQ(accessible::CaptionName(c.caption), c.name) << c.catches;
}

TEST(Gbk, TextBecomesTheBytesThePrinterExpects) {
  struct Case {
    const char* catches;
    QString text;
    std::string gbk;
  };
  const Case cases[] = {
      {"ASCII passes unchanged", QStringLiteral("1B,64,10"), "1B,64,10"},
      {"the time label is CA B1 BC E4 3A", QStringLiteral("时间:"), "\xCA\xB1\xBC\xE4:"},
      {"a character GBK lacks becomes ?", QStringLiteral("a\U0001F600b"), "a?b"},
      {"the empty text stays empty", QString(), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToGbk(c.text), c.gbk) << c.catches;
    if (c.gbk.find('?') == std::string::npos) {
      EXPECT_EQ(FromGbk(c.gbk), c.text) << c.catches << " (back)";
    }
  }
  EXPECT_EQ(FromGbk("a\xCA"), QStringLiteral("a\uFFFD")) << "a cut-off character is shown, not dropped silently";
}

TEST(StringTable, LoadsInTheInterfaceLanguageAndMissingIdsAreEmpty) {
  SetInterfaceLanguage(res::Language::English);
  EXPECT_EQ(LoadText(IDS_CANT_CONNECT), QStringLiteral("Can't Connect Net!"));
  EXPECT_EQ(LoadText(IDS_CURRENT_IP), QStringLiteral("The Current IP is")) << "no blank before the address";
  SetInterfaceLanguage(res::Language::Chinese);
  EXPECT_EQ(LoadText(IDS_CANT_CONNECT), QStringLiteral("无法连接网络"));
  EXPECT_EQ(LoadString(IDS_CANT_CONNECT), ToGbk(QStringLiteral("无法连接网络")));
  EXPECT_TRUE(LoadText(103).isEmpty());
  EXPECT_TRUE(LoadString(9999).empty());
  SetInterfaceLanguage(std::nullopt);
}

TEST(DialogUnits, MapLikeTheDialogManager) {
  // A font of 6 by 12 pixels: a dialog unit is 1.5 pixels each way.
  const DialogBaseUnits base{6, 12};
  EXPECT_EQ(DialogUnitsToPixels(QRect(218, 274, 50, 14), base), QRect(327, 411, 75, 21));
  EXPECT_EQ(DialogUnitsToPixels(QSize(279, 295), base), QSize(419, 443)) << "halves round up";
  // Edges are mapped, not sizes: adjacent controls stay adjacent.
  const QRect a = DialogUnitsToPixels(QRect(12, 211, 50, 14), {7, 13});
  const QRect b = DialogUnitsToPixels(QRect(62, 211, 50, 14), {7, 13});
  EXPECT_EQ(a.right() + 1, b.left());
}

// A console-sized dialog with a radio group and a MAC field, exchanged by hand.
class ExchangeDlg : public CDialog {
public:
  ExchangeDlg() : CDialog(IDD_PRINTERTEST_DIALOG) {}
  int mode = -1;
  CString mac = "554433221100";
  int timerTicks = 0;
  UINT lastTimer = 0;

protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Radio(pDX, IDC_RADIO_MANUAL, mode);
    DDX_Text(pDX, IDC_MAC, mac);
    DDV_MaxChars(pDX, mac, 12);
  }
  void OnTimer(UINT id) override {
    ++timerTicks;
    lastTimer = id;
  }
};

TEST(DataExchange, RadioIndexAndTextGoBothWays) {
  SetInterfaceLanguage(res::Language::English);
  ExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create());
  auto* manual = qobject_cast<QRadioButton*>(dlg.GetDlgItem(IDC_RADIO_MANUAL));
  auto* automatic = qobject_cast<QRadioButton*>(dlg.GetDlgItem(IDC_RADIO_AUTO));
  ASSERT_TRUE(manual && automatic);
  EXPECT_FALSE(manual->isChecked() || automatic->isChecked()) << "-1 selects no radio button";

  QTest::mouseClick(automatic, Qt::LeftButton);
  ASSERT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_EQ(dlg.mode, 1);
  QTest::mouseClick(manual, Qt::LeftButton);
  QTest::mouseClick(manual, Qt::LeftButton);  // clicking the selected one keeps it selected
  dlg.UpdateData(TRUE);
  EXPECT_EQ(dlg.mode, 0);
  EXPECT_FALSE(automatic->isChecked());

  dlg.mac = "ABC";
  dlg.UpdateData(FALSE);
  dlg.mac.clear();
  dlg.UpdateData(TRUE);
  EXPECT_EQ(dlg.mac, "ABC");
}

TEST(WindowTimers, TickByTheirIdUntilKilledAndDieWithTheWindow) {
  SetInterfaceLanguage(res::Language::English);
  ExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.SetTimer(7, 5);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.timerTicks >= 2; }, 5000));
  EXPECT_EQ(dlg.lastTimer, 7u);
  EXPECT_TRUE(dlg.KillTimer(7));
  EXPECT_FALSE(dlg.KillTimer(7)) << "a killed timer is gone";
  const int ticks = dlg.timerTicks;
  dlg.SetTimer(8, 5);
  dlg.DestroyWindow();
  QTest::qWait(30);
  EXPECT_EQ(dlg.timerTicks, ticks) << "a timer outlived its window";
}

}  // namespace
