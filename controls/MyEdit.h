#pragma once
// The MAC field: an edit control that lets the technician type hex digits and
// little else. Only typed characters are filtered; keys that make no
// character, and text that is pasted or set by the program, pass untouched.

#include "Edit.h"

// Whether a typed character code reaches the field: backspace, "0" to "F"
// (with the seven characters ":" to "@" between "9" and "A"), and "a" to "f".
bool MyEditAcceptsChar(unsigned code);

class CMyEdit : public CEdit {
protected:
  bool WindowProc(QEvent* event) override;
  void OnAttached() override;
};
