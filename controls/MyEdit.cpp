#include "MyEdit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <optional>

bool MyEditAcceptsChar(unsigned code) {
  return code == 0x08 || (code >= 0x30 && code <= 0x46) || (code >= 0x61 && code <= 0x66);
}

namespace {

// The character code a key press types, as the desktop's edit controls see it:
// its text, or for Ctrl with a letter the control character (Ctrl+V is 0x16).
// Keys that make no character give nothing.
std::optional<unsigned> TypedCode(const QKeyEvent& key) {
  switch (key.key()) {
    // The dialog takes these before the field sees a character.
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Delete:  // a key, not a character
      return std::nullopt;
    case Qt::Key_Backspace: return 0x08;
    default: break;
  }
  if ((key.modifiers() & Qt::ControlModifier) && key.key() >= Qt::Key_A && key.key() <= Qt::Key_Z) {
    return static_cast<unsigned>(key.key() - Qt::Key_A + 1);
  }
  if (key.text().isEmpty()) return std::nullopt;
  return key.text().at(0).unicode();
}

}  // namespace

void CMyEdit::OnAttached() {
  // Characters from an input method never reach the field.
  GetSafeHwnd()->setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool CMyEdit::WindowProc(QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto code = TypedCode(*static_cast<QKeyEvent*>(event));
    return code && !MyEditAcceptsChar(*code);
  }
  if (event->type() == QEvent::InputMethod) {
    return !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty();
  }
  return false;
}
