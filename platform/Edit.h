#pragma once
#include "Wnd.h"

// A single-line edit field of a template.
class CEdit : public CWnd {
public:
  // The most characters the user can type into it.
  void LimitText(int maxChars);
};
