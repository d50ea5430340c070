// What the desktop's accessibility layer (screen readers, automation tools)
// reads from the three dialogs, through Qt's own accessibility interfaces on
// the real dialogs, in both interface languages.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <memory>

#include "AboutDlg.h"
#include "Ipv4FieldWidget.h"
#include "MessageBoxRecorder.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StatusDlg.h"
#include "StringTable.h"

namespace {

using res::Language;
using testsupport::MessageBoxRecorder;

QString Describe(QWidget* widget) {
  static const QHash<int, QString> kRoles{
      {QAccessible::PushButton, "button"},        {QAccessible::RadioButton, "radio button"},
      {QAccessible::StaticText, "label"},         {QAccessible::Grouping, "group"},
      {QAccessible::EditableText, "text"},        {QAccessible::ComboBox, "list"},
      {QAccessible::ProgressBar, "progress bar"}, {QAccessible::Graphic, "image"}};
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
  if (!a) return QString("no interface: ") + widget->metaObject()->className();
  return kRoles.value(a->role(), QString("role %1").arg(a->role())) + ": " + a->text(QAccessible::Name);
}

// "role: name" of every control of the dialog, sorted.
QStringList ControlsOf(const CDialog& dialog) {
  QStringList seen;
  for (QWidget* w : dialog.GetDialogWindow()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) seen << Describe(w);
  seen.sort();
  return seen;
}

struct Shown {
  explicit Shown(Language language, std::unique_ptr<CDialog> d) : dialog(std::move(d)) {
    SetInterfaceLanguage(language);
    EXPECT_TRUE(dialog->Create());
  }
  ~Shown() {
    dialog->DestroyWindow();
    SetInterfaceLanguage(std::nullopt);
  }
  std::unique_ptr<CDialog> dialog;
};

TEST(Accessibility, EveryControlOfTheThreeDialogsHasItsRoleAndName) {
  // Literal names: renaming a label, losing a name to a missing label, or a
  // radio button reported as a check box each fails a row.
  const struct {
    const char* dialog;
    Language language;
    std::function<std::unique_ptr<CDialog>()> make;
    QStringList expected;
  } cases[] = {
      {"console",
       Language::English,
       [] { return std::make_unique<CPrinterTestDlg>(); },
       {"button: Exit",
        "button: Set IP",
        "button: Print",
        "button: Cash Drawer",
        "button: Cut Paper",
        "button: Set Mac",
        "button: Initi",
        "button: Set",
        "button: Get Status",
        "button: Test",
        "radio button: Setting IP Connection",
        "radio button: Auto Get Printer IP Address",
        "group: Setting IP Connection",
        "group: Setting New IP Address",
        "label: Setting New IP Address",
        "label: Set New Mac ID",
        "text: Set New Mac ID",
        "group: Printer Test",
        "text: Printer Test",
        "group: Other Test",
        "text: Other Test",
        "list: Auto Get Printer IP Address",
        "progress bar: Auto Get Printer IP Address"}},
      {"console",
       Language::Chinese,
       [] { return std::make_unique<CPrinterTestDlg>(); },
       {"button: 退出",
        "button: 设置IP",
        "button: 打印",
        "button: 钱箱",
        "button: 切刀",
        "button: 设置 Mac",
        "button: 初始化(I)",
        "button: 设置",
        "button: 打印机状态",
        "button: 测试",
        "radio button: 指定连接的IP地址",
        "radio button: 自动获取打印机IP地址",
        "group: 指定连接的IP地址",
        "group: 设置新的IP地址",
        "label: 设置新的IP地址",
        "label: 设置新的物理地址",
        "text: 设置新的物理地址",
        "group: 打印机测试",
        "text: 打印机测试",
        "group: 其他测试(十六进制之间请用,间隔)",
        "text: 其他测试(十六进制之间请用,间隔)",
        "list: 自动获取打印机IP地址",
        "progress bar: 自动获取打印机IP地址"}},
      {"status monitor",
       Language::English,
       [] { return std::make_unique<CStatusDlg>(); },
       {"button: Close", "button: Printer is off-line", "button: Printer is busy", "button: Paper end", "button: Pause",
        "button: Cover is open", "button: Tmp Over", "button: Monitor Status", "label: Not polled yet"}},
      {"status monitor",
       Language::Chinese,
       [] { return std::make_unique<CStatusDlg>(); },
       {"button: 关闭", "button: 连接", "button: 忙", "button: 缺纸", "button: 暂停", "button: 盖子打开",
        "button: 超温", "button: 检测状态", "label: 尚未检测"}},
      {"About box",
       Language::English,
       [] { return std::make_unique<CAboutDlg>(); },
       {"image: OrvanePrinterTest", "label: OrvanePrinterTest V1.3", "label: Network printer test tool",
        "button: 确定"}},
      {"About box",
       Language::Chinese,
       [] { return std::make_unique<CAboutDlg>(); },
       {"image: OrvanePrinterTest", "label: OrvanePrinterTest 1.3 版", "label: 网络票据打印机测试工具",
        "button: 确定"}},
  };
  for (const auto& c : cases) {
    Shown shown(c.language, c.make());
    QStringList expected = c.expected;
    expected.sort();
    EXPECT_EQ(ControlsOf(*shown.dialog), expected)
        << c.dialog << (c.language == Language::Chinese ? " in Chinese" : " in English");
  }
}

TEST(Accessibility, EachPartOfAnAddressFieldSaysItsPlaceAndWhichFieldItBelongsTo) {
  const struct {
    Language language;
    int id;
    QString name;
    QString part;  // %1: the part's place
  } cases[] = {
      {Language::English, IDC_IP_TARGET, "Setting IP Connection", "%1 of 4"},
      {Language::English, IDC_IP_NEW, "Setting New IP Address", "%1 of 4"},
      {Language::Chinese, IDC_IP_TARGET, "指定连接的IP地址", "第 %1 段，共 4 段"},
      {Language::Chinese, IDC_IP_NEW, "设置新的IP地址", "第 %1 段，共 4 段"},
  };
  for (const auto& c : cases) {
    Shown shown(c.language, std::make_unique<CPrinterTestDlg>());
    auto* box = qobject_cast<Ipv4FieldWidget*>(shown.dialog->GetDlgItem(c.id));
    ASSERT_NE(box, nullptr);
    for (int i = 0; i < 4; ++i) {
      QAccessibleInterface* part = QAccessible::queryAccessibleInterface(box->Field(i));
      EXPECT_EQ(part->role(), QAccessible::EditableText);
      EXPECT_EQ(part->text(QAccessible::Name), c.part.arg(i + 1)) << c.name.toStdString();
      EXPECT_EQ(part->text(QAccessible::Description), c.name) << "part " << i;
      EXPECT_EQ(part->parent()->object(), box) << "the part sits inside its field";
    }
  }
}

// Radio buttons as the desktop has them: a click or an arrow key moves the one
// selection, and the accessibility layer sees radio buttons with that state.
TEST(Accessibility, RadioGroupMovesItsSelectionByClickAndArrowKeys) {
  Shown shown(Language::English, std::make_unique<CPrinterTestDlg>());
  QWidget* window = shown.dialog->GetDialogWindow();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  auto* manual = qobject_cast<QRadioButton*>(shown.dialog->GetDlgItem(IDC_RADIO_MANUAL));
  auto* automatic = qobject_cast<QRadioButton*>(shown.dialog->GetDlgItem(IDC_RADIO_AUTO));
  ASSERT_TRUE(manual && automatic);
  auto checked = [](QRadioButton* r) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(r);
    EXPECT_EQ(a->role(), QAccessible::RadioButton);
    EXPECT_TRUE(a->state().checkable);
    return a->state().checked != 0;
  };
  EXPECT_TRUE(checked(manual));
  EXPECT_FALSE(checked(automatic));

  MessageBoxRecorder boxes;
  boxes.answers = {IDCANCEL_ANSWER, IDCANCEL_ANSWER};
  QTest::mouseClick(automatic, Qt::LeftButton);
  EXPECT_FALSE(checked(manual)) << "a click moves the selection";
  EXPECT_TRUE(checked(automatic));
  EXPECT_EQ(boxes.Texts(), QStringList{"Search Start?"}) << "the click on 1011 still offers the sweep";

  automatic->setFocus();
  QTest::keyClick(automatic, Qt::Key_Up);
  EXPECT_TRUE(checked(manual)) << "an arrow key selects the neighbour";
  EXPECT_FALSE(checked(automatic));
  QTest::keyClick(manual, Qt::Key_Down);
  EXPECT_TRUE(checked(automatic));
  EXPECT_FALSE(checked(manual));
  EXPECT_EQ(boxes.Texts(), (QStringList{"Search Start?", "Search Start?"})) << "selected by key, 1011 offers the sweep";
}

TEST(Accessibility, AButtonsNameFollowsItsCaption) {
  Shown shown(Language::Chinese, std::make_unique<CStatusDlg>());
  auto* toggle = qobject_cast<QPushButton*>(shown.dialog->GetDlgItem(IDC_GET_STATUS));
  ASSERT_NE(toggle, nullptr);
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(toggle);
  toggle->click();  // polling on: the caption becomes "关闭检测状态(&M)"
  EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("关闭检测状态"));
  toggle->click();
  EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("检测状态"));
}

}  // namespace
