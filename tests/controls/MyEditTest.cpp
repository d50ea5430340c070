#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include "MyEdit.h"

namespace {

TEST(MyEditFilter, LetsThroughHexDigitsAndBackspaceOnly) {
  struct Case {
    unsigned code;
    bool accepted;
    const char* catches;
  };
  const Case cases[] = {
      {0x08, true, "backspace"},
      {0x30, true, "0"},
      {0x39, true, "9"},
      {0x3A, false, ": between 9 and A, the separator of a MAC's label"},
      {0x3F, false, "? between 9 and A"},
      {0x40, false, "@ between 9 and A"},
      {0x41, true, "A"},
      {0x46, true, "F"},
      {0x47, false, "G"},
      {0x61, true, "a"},
      {0x66, true, "f"},
      {0x67, false, "g"},
      {0x2F, false, "/ below 0"},
      {0x20, false, "blank"},
      {0x2C, false, "comma"},
      {0x2D, false, "minus, the separator some labels use"},
      {0x16, false, "Ctrl+V's character"},
      {0x03, false, "Ctrl+C's character"},
      {0x1B, false, "Escape's character"},
      {0x7F, false, "DEL"},
      {0x80, false, "first byte above ASCII"},
      {0x6D4B, false, "a Chinese character"},
  };
  for (const Case& c : cases) EXPECT_EQ(MyEditAcceptsChar(c.code), c.accepted) << c.catches;
  EXPECT_EQ(HexDigitsOf(QStringLiteral("00:11:22-aa.BB \t\bcc\n")), "001122aaBBcc") << "backspace is no digit";
}

// The filter on a real field: typed characters; keys and text set by the program pass.
TEST(MyEdit, FiltersTypingButNotKeysOrSetText) {
  QDialog dialog;
  auto* field = new QLineEdit(&dialog);
  CMyEdit edit;
  edit.Attach(field);
  dialog.show();
  field->setFocus();

  QTest::keyClicks(field, "0aG g-,:@F");
  EXPECT_EQ(field->text(), "0aF");
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "0a");
  QTest::keyClick(field, Qt::Key_Home);
  QTest::keyClick(field, Qt::Key_Delete);
  EXPECT_EQ(field->text(), "a") << "Home and Delete make no character and still work";

  QApplication::clipboard()->setText("12");
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(field->text(), "a") << "Ctrl+V types 0x16, which the field drops";
  field->setText("554433221100");
  EXPECT_EQ(field->text(), "554433221100") << "text set by the program is not filtered";

  bool returned = false;
  QObject::connect(field, &QLineEdit::returnPressed, [&] { returned = true; });
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_TRUE(returned) << "Return still reaches the field and the dialog";
}

}  // namespace
