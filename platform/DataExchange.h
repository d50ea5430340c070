#pragma once
// Data exchange between a dialog's controls and its members.

#include "Types.h"

class CDialog;
class CWnd;
class QWidget;

class CDataExchange {
public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
  BOOL m_bSaveAndValidate;  // TRUE: controls to members
  CDialog* m_pDlgWnd;
  QWidget* m_pLastControl = nullptr;  // the control the last DDX_Text worked on, for DDV_ routines
  bool m_bFailed = false;
};

// Attaches the control object to control `id` on the first exchange.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// A control's text as GBK bytes.
void DDX_Text(CDataExchange* pDX, int id, CString& value);
// The index of the selected button in the radio group starting at `id`, -1 for none.
void DDX_Radio(CDataExchange* pDX, int id, int& value);
// Limits the last exchanged edit field to `maxChars`; reading refuses a longer text.
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars);
