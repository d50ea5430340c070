#include "MyEdit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <optional>
#include <utility>

bool MyEditAcceptsChar(unsigned code) {
  return code == 0x08 || (code >= 0x30 && code <= 0x39) || (code >= 0x41 && code <= 0x46) ||
         (code >= 0x61 && code <= 0x66);
}

QString HexDigitsOf(const QString& text) {
  QString digits;
  for (const QChar c : text) {
    if (c != u'\b' && MyEditAcceptsChar(c.unicode())) digits += c;
  }
  return digits;
}

namespace {

SelectionSource& Selection() {
  static SelectionSource source;
  return source;
}

std::optional<QString> SelectionNow() {
  if (Selection()) return Selection()();
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard->supportsSelection()) return std::nullopt;
  return clipboard->text(QClipboard::Selection);
}

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

// Puts the hex digits of `text` where a paste goes: over the selection, or at
// the cursor, as far as the field's length allows.
void PasteDigits(QLineEdit* edit, const QString& text) {
  if (!edit || edit->isReadOnly()) return;
  const QString digits = HexDigitsOf(text);
  if (!digits.isEmpty()) edit->insert(digits);
}

}  // namespace

SelectionSource SetMyEditSelectionSource(SelectionSource source) { return std::exchange(Selection(), source); }

void CMyEdit::OnAttached() {
  QWidget* field = GetSafeHwnd();
  // Characters from an input method never reach the field.
  field->setAttribute(Qt::WA_InputMethodEnabled, false);
  // Nor does dropped text, which would go in unfiltered.
  field->setAcceptDrops(false);
}

QLineEdit* CMyEdit::Field() const { return qobject_cast<QLineEdit*>(GetSafeHwnd()); }

bool CMyEdit::WindowProc(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      const auto& key = *static_cast<QKeyEvent*>(event);
      if (const auto code = TypedCode(key)) {
        // One event may carry several characters (an input tool typing for
        // the user): each is filtered, not only the first.
        if (key.text().size() > 1) {
          PasteDigits(Field(), key.text());
          return true;
        }
        return !MyEditAcceptsChar(*code);  // Ctrl+V types 0x16: dropped
      }
      if (!key.matches(QKeySequence::Paste)) return false;  // Shift+Insert pastes
      PasteDigits(Field(), QGuiApplication::clipboard()->text());
      return true;
    }
    case QEvent::InputMethod: return !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty();
    case QEvent::ContextMenu: ShowContextMenu(*static_cast<QContextMenuEvent*>(event)); return true;
    case QEvent::MouseButtonRelease: {
      // Middle-click pastes the selection where the desktop has one.
      if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton) return false;
      const std::optional<QString> selection = SelectionNow();
      if (!selection) return false;
      if (QLineEdit* edit = Field()) edit->deselect();
      PasteDigits(Field(), *selection);
      return true;
    }
    default: return false;
  }
}

void CMyEdit::ShowContextMenu(const QContextMenuEvent& event) {
  QLineEdit* edit = Field();
  if (!edit) return;
  // The field's own menu, with Paste keeping the hex digits only. The menu's
  // Paste is known by the label QLineEdit gives it, shortcut after a tab.
  const QString pasteLabel = QCoreApplication::translate("QLineEdit", "&Paste");
  QMenu* menu = edit->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  for (QAction* action : menu->actions()) {
    if (action->text().section(u'\t', 0, 0) != pasteLabel) continue;
    action->disconnect(edit);
    QObject::connect(action, &QAction::triggered, edit,
                     [edit] { PasteDigits(edit, QGuiApplication::clipboard()->text()); });
  }
  menu->popup(event.globalPos());
}
