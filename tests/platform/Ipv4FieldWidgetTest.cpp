#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "Ipv4FieldWidget.h"

using namespace ipfield;

namespace {

constexpr std::nullopt_t kBlank = std::nullopt;

// ---- The rules without a widget ----

TEST(IpFieldRules, ParsingDottedText) {
  struct Case {
    std::string catches;
    QString text;
    FieldValues expected;
  };
  const std::vector<Case> cases = {
      {"a full address", "192.168.1.50", {192, 168, 1, 50}},
      {"surrounding blanks", "  10.0.0.7\n", {10, 0, 0, 7}},
      {"leading zeros are decimal, not octal", "010.001.0.09", {10, 1, 0, 9}},
      {"empty parts stay blank and filling goes on", "10..5.", {10, kBlank, 5, kBlank}},
      {"a value above 255 blanks the rest", "192.168.256.1", {192, 168, kBlank, kBlank}},
      {"four digits are no value", "1.0010.1.1", {1, kBlank, kBlank, kBlank}},
      {"signs are no digits", "-1.2.3.4", {kBlank, kBlank, kBlank, kBlank}},
      {"other scripts' digits are no digits",
       QString::fromUtf8("\xEF\xBC\x91.2.3.4"),
       {kBlank, kBlank, kBlank, kBlank}},
      {"words", "hello", {kBlank, kBlank, kBlank, kBlank}},
      {"a port after the address", "192.168.1.10:9100", {192, 168, 1, 10}},
      {"a prefix length after the address", "192.168.1.0/24", {192, 168, 1, 0}},
      {"parts beyond the fourth", "1.2.3.4.5", {1, 2, 3, 4}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDottedFields(c.text), c.expected) << c.catches;
}

TEST(IpFieldRules, TypedKeys) {
  struct Case {
    std::string catches;
    FieldState field;
    char typed;
    bool hasNextField;
    KeyAction expected;
  };
  const std::vector<Case> cases = {
      {"a digit goes in", {"1", 1}, '2', true, KeyAction::Insert},
      {"the third digit at the end moves on", {"19", 2}, '2', true, KeyAction::InsertAndAdvance},
      {"the third digit in the last field stays", {"19", 2}, '2', false, KeyAction::Insert},
      {"the third digit before the end stays", {"19", 0}, '1', true, KeyAction::Insert},
      {"300 is refused at its third digit", {"30", 2}, '0', true, KeyAction::Refuse},
      {"a digit replaces the selection", {"255", 3, 0, 3}, '3', true, KeyAction::Insert},
      {"a replaced digit may not go above 255", {"205", 2, 1, 1}, '6', true, KeyAction::Refuse},
      {"replacing the last digit completes the field", {"125", 3, 2, 1}, '0', true, KeyAction::InsertAndAdvance},
      {"a dot after a value moves on", {"10", 2}, '.', true, KeyAction::Advance},
      {"a dot in a blank field stays", {"", 0}, '.', true, KeyAction::Refuse},
      {"a dot in the last field stays", {"4", 1}, '.', false, KeyAction::Refuse},
      {"a dot right after a completed field moved here is swallowed",
       {"0", 1, 0, 1, true},
       '.',
       true,
       KeyAction::Refuse},
      {"letters are dropped", {"1", 1}, 'a', true, KeyAction::Refuse},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecideTypedKey(c.field, QChar(c.typed), c.hasNextField), c.expected) << c.catches;
}

TEST(IpFieldRules, KeysThatLeaveAField) {
  struct Case {
    std::string catches;
    int key;
    FieldState field;
    Hop expected;
  };
  const std::vector<Case> cases = {
      {"backspace in a blank field goes back", Qt::Key_Backspace, {"", 0}, Hop::Previous},
      {"backspace at the start goes back", Qt::Key_Backspace, {"12", 0}, Hop::Previous},
      {"backspace deletes a selection from the start", Qt::Key_Backspace, {"12", 0, 0, 2}, Hop::Stay},
      {"left at the start goes back", Qt::Key_Left, {"12", 0}, Hop::Previous},
      {"right at the end goes on", Qt::Key_Right, {"12", 2}, Hop::Next},
      {"right on a selected field drops the selection first", Qt::Key_Right, {"12", 2, 0, 2}, Hop::Stay},
  };
  for (const Case& c : cases) EXPECT_EQ(HopForKey(c.key, c.field), c.expected) << c.catches;
}

// ---- The widget, driven by keys ----

class Ipv4FieldWidgetTest : public ::testing::Test {
protected:
  void SetUp() override {
    auto* column = new QVBoxLayout(&window_);
    before_ = new QLineEdit(&window_);
    edit_ = new Ipv4FieldWidget(&window_);
    after_ = new QLineEdit(&window_);
    auto* ok = new QPushButton("OK", &window_);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &window_, &QDialog::accept);
    for (QWidget* widget : std::initializer_list<QWidget*>{before_, edit_, after_, ok}) column->addWidget(widget);
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    edit_->setFocus();
  }

  // Keys go where the focus is, as they do for a technician.
  static void Type(const char* keys) {
    for (; *keys; ++keys) QTest::keyClick(QApplication::focusWidget(), *keys);
  }
  static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
  // What the four fields show, exactly.
  QString Shown() const {
    QStringList parts;
    for (int i = 0; i < 4; ++i) parts << edit_->Field(i)->text();
    return parts.join('.');
  }
  int FocusedField() const {
    for (int i = 0; i < 4; ++i)
      if (edit_->Field(i)->hasFocus()) return i;
    return -1;
  }

  QDialog window_;
  QLineEdit* before_ = nullptr;
  Ipv4FieldWidget* edit_ = nullptr;
  QLineEdit* after_ = nullptr;
};

TEST_F(Ipv4FieldWidgetTest, Typing) {
  struct Case {
    std::string catches;
    QString before;
    const char* typed;
    QString shown;
    int focusedField;
  };
  const std::vector<Case> cases = {
      {"a dotted address fills all four", "", "192.168.1.50", "192.168.1.50", 3},
      {"typed over an address each number lands in its field", "10.0.0.1", "192.168.1.50", "192.168.1.50", 3},
      {"300 stops at 30", "", "300", "30...", 0},
      {"letters are dropped", "", "1a2 b", "12...", 0},
      {"a dot in a blank field stays put", "", "10..5", "10.5..", 1},
      {"a dot in the last field does not wrap", "", "1.2.3.4.5", "1.2.3.45", 3},
      {"a full field moves on and the next digit goes there", "", "2555", "255.5..", 1},
      {"a field left behind drops its leading zeros", "", "010", "10...", 1},
  };
  for (const Case& c : cases) {
    edit_->SetText(c.before);
    edit_->setFocus();
    edit_->Field(0)->selectAll();
    Type(c.typed);
    EXPECT_EQ(Shown(), c.shown) << c.catches;
    EXPECT_EQ(FocusedField(), c.focusedField) << c.catches;
  }
}

TEST_F(Ipv4FieldWidgetTest, KeysAcrossFields) {
  struct Case {
    std::string catches;
    const char* typed;
    std::vector<Qt::Key> keys;
    QString shown;
    int focusedField, cursor;
  };
  const std::vector<Case> cases = {
      {"backspace in a blank field goes to the previous one's end", "10.", {Qt::Key_Backspace}, "10...", 0, 2},
      {"backspace then deletes there", "10.", {Qt::Key_Backspace, Qt::Key_Backspace}, "1...", 0, 1},
      {"backspace at a field's start goes back without deleting",
       "10.20",
       {Qt::Key_Home, Qt::Key_Backspace},
       "10.20..",
       0,
       2},
      {"left then right at the ends cross over and back",
       "10.2",
       {Qt::Key_Left, Qt::Key_Left, Qt::Key_Right},
       "10.2..",
       1,
       0},
  };
  for (const Case& c : cases) {
    edit_->ClearAddress();
    edit_->setFocus();
    Type(c.typed);
    for (Qt::Key key : c.keys) Press(key);
    EXPECT_EQ(Shown(), c.shown) << c.catches;
    ASSERT_EQ(FocusedField(), c.focusedField) << c.catches;
    EXPECT_EQ(edit_->Field(c.focusedField)->cursorPosition(), c.cursor) << c.catches;
  }
}

TEST_F(Ipv4FieldWidgetTest, PastingWithCtrlV) {
  struct Case {
    std::string catches;
    QString clipboard;
    int field;
    QString shown;
  };
  const std::vector<Case> cases = {
      {"a dotted address fills all four from any field", "10.0.0.7", 2, "10.0.0.7"},
      {"a copied address with its port", " 192.168.1.10:9100\n", 0, "192.168.1.10"},
      {"text that holds no address keeps the address shown", "see 1.2", 1, "1.2.3.4"},
      {"a number replaces the field's selection", "42", 1, "1.42.3.4"},
      {"a number above 255 is refused", "999", 1, "1.2.3.4"},
  };
  for (const Case& c : cases) {
    edit_->SetText("1.2.3.4");
    edit_->Field(c.field)->setFocus();
    edit_->Field(c.field)->selectAll();
    QGuiApplication::clipboard()->setText(c.clipboard);
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Shown(), c.shown) << c.catches;
  }
}

TEST_F(Ipv4FieldWidgetTest, PastingFromTheContextMenu) {
  QGuiApplication::clipboard()->setText("10.0.0.7");
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), edit_->Field(3)->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(edit_->Field(3), &menuEvent);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  QAction* paste = nullptr;
  for (QAction* action : menu->actions())
    if (action->text().startsWith("&Paste")) paste = action;
  ASSERT_NE(paste, nullptr);
  paste->trigger();
  menu->close();
  EXPECT_EQ(Shown(), "10.0.0.7");
}

TEST_F(Ipv4FieldWidgetTest, BlankFieldsReadAsZeroAndAreNotCounted) {
  using Octets = std::array<std::uint8_t, 4>;
  Type("10");
  Octets octets{9, 9, 9, 9};
  EXPECT_EQ(edit_->GetAddress(octets), 1);
  EXPECT_EQ(octets, (Octets{10, 0, 0, 0}));
  EXPECT_EQ(edit_->Text(), "10...");
  EXPECT_FALSE(edit_->IsBlank());

  edit_->ClearAddress();
  EXPECT_EQ(edit_->GetAddress(octets), 0);
  EXPECT_TRUE(edit_->IsBlank());
}

TEST_F(Ipv4FieldWidgetTest, SettingFromCode) {
  QSignalSpy changed(edit_, &Ipv4FieldWidget::addressChanged);
  edit_->SetAddress(0xC0A8010A);
  EXPECT_EQ(Shown(), "192.168.1.10") << "first octet in the high byte";
  EXPECT_EQ(changed.count(), 1) << "one signal for the whole address";

  edit_->SetText("192.168.1.10");
  EXPECT_EQ(changed.count(), 1) << "no signal when nothing changes";

  edit_->SetText("192.168.x.1");
  EXPECT_EQ(Shown(), "192.168..") << "garbage blanks the fields from where it starts";
  edit_->SetText("garbage");
  EXPECT_EQ(Shown(), "...") << "an earlier address must not survive";
  EXPECT_EQ(changed.count(), 3);

  Type("12");
  EXPECT_EQ(changed.count(), 5) << "every typed digit is a change";
}

TEST_F(Ipv4FieldWidgetTest, TabEntersAtTheFirstFieldAndLeavesFromAny) {
  before_->setFocus();
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedField(), 0);
  Press(Qt::Key_Tab);
  EXPECT_TRUE(after_->hasFocus()) << "the other fields are no tab stops";

  QTest::mouseClick(edit_->Field(2), Qt::LeftButton);
  ASSERT_EQ(FocusedField(), 2);
  Press(Qt::Key_Tab);
  EXPECT_TRUE(after_->hasFocus());

  QTest::mouseClick(edit_->Field(2), Qt::LeftButton);
  Press(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_TRUE(before_->hasFocus()) << "shift+tab leaves the box, not stops at its first field";
}

TEST_F(Ipv4FieldWidgetTest, ReturnReachesTheDialogsDefaultButton) {
  QTest::mouseClick(edit_->Field(2), Qt::LeftButton);
  Press(Qt::Key_Return);
  EXPECT_EQ(window_.result(), QDialog::Accepted);
}

}  // namespace
