#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <utility>

#include "Gbk.h"

namespace {
MessageBoxHook g_hook;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return std::exchange(g_hook, std::move(hook)); }

int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, UINT type) {
  if (g_hook) return g_hook({text, caption, type});
  if (!owner) owner = QApplication::activeModalWidget();
  if (!owner) owner = QApplication::activeWindow();
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(text);
  if ((type & 0xF0) == MB_ICONEXCLAMATION) box.setIcon(QMessageBox::Warning);
  const bool okCancel = (type & 0x0F) == MB_OKCANCEL;
  box.setStandardButtons(okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(okCancel ? QMessageBox::Cancel : QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok ? IDOK_ANSWER : IDCANCEL_ANSWER;
}

int AfxMessageBox(const CString& text, UINT type) {
  if ((type & 0xF0) == 0) type |= MB_ICONEXCLAMATION;
  return ShowMessageBox(nullptr, FromGbk(text), QApplication::applicationName(), type);
}
