#pragma once
// The MAC field: an edit control that takes hex digits and nothing else.
// Typed characters are filtered by their code. Pasted text (the context menu,
// Shift+Insert, a middle click) keeps only its hex digits, so a MAC copied as
// a label prints it, "00:11:22:33:44:55", goes in as "001122334455". Keys that
// make no character, and text set by the program, pass untouched.

#include <QString>
#include <functional>
#include <optional>

#include "Edit.h"

class QContextMenuEvent;
class QLineEdit;

// Whether a typed character code reaches the field: backspace, "0" to "9",
// "A" to "F" and "a" to "f".
bool MyEditAcceptsChar(unsigned code);

// The hex digits of a pasted text, in their order; everything else is dropped.
QString HexDigitsOf(const QString& text);

// Where a middle click's paste comes from: the desktop's selection, or
// nothing on a desktop without one. An empty source is the desktop's; a test
// gives its own. Installs `source` and returns the one it replaces.
using SelectionSource = std::function<std::optional<QString>()>;
SelectionSource SetMyEditSelectionSource(SelectionSource source);

class CMyEdit : public CEdit {
protected:
  bool WindowProc(QEvent* event) override;
  void OnAttached() override;

private:
  QLineEdit* Field() const;
  void ShowContextMenu(const QContextMenuEvent& event);
};
