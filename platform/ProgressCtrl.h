#pragma once
#include "Wnd.h"

// The template's progress bar.
class CProgressCtrl : public CWnd {
public:
  virtual void SetRange(int lower, int upper);
  virtual int SetPos(int position);  // the previous position
};
