#pragma once
#include "Wnd.h"

// A drop-down list of a template: no typing, no sorting, entries in the order added.
class CComboBox : public CWnd {
public:
  int GetCount() const;
  int AddString(const CString& text);  // the new entry's index
  void SetItemToolTip(int index, const QString& tip);
  void ResetContent();
  int GetCurSel() const;     // -1 when nothing is selected
  int SetCurSel(int index);  // -1 clears the selection
};
