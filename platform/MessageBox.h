#pragma once
// Message boxes: modal over the dialog that shows them, with the
// application's name as caption. Every box goes through one function, which a
// test can replace with a hook that records the box and answers it.

#include <QString>
#include <functional>

#include "Types.h"

class QWidget;

struct MessageBoxRecord {
  QString text;
  QString caption;
  UINT type = MB_OK;  // MB_OK or MB_OKCANCEL, with an icon flag
};

// Returns IDOK_ANSWER or IDCANCEL_ANSWER. An empty hook shows real boxes.
using MessageBoxHook = std::function<int(const MessageBoxRecord&)>;
// Installs `hook` and returns the one it replaces.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// The one place a box is shown; `owner` may be null (then the active window).
int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, UINT type);

// The standard box for results and errors: OK, an exclamation icon, the
// application's name as caption, over the active dialog.
int AfxMessageBox(const CString& text, UINT type = MB_OK);
