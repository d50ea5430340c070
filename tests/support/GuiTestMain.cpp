// The main of every test binary that needs widgets: one QApplication on Qt's
// offscreen platform, named like the program so message boxes carry its name.
// A message box that no test expected fails the test and is answered Cancel,
// so no test can hang on a modal box.
#include <gtest/gtest.h>

#include <QApplication>

#include "MessageBox.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("OrvanePrinterTest"));
  ::testing::InitGoogleTest(&argc, argv);
  SetMessageBoxHook([](const MessageBoxRecord& box) {
    ADD_FAILURE() << "unexpected message box: " << box.text.toStdString();
    return IDCANCEL_ANSWER;
  });
  return RUN_ALL_TESTS();
}
