#pragma once
#include "Dialog.h"

// The About box: the product's name, version line and notice, and OK.
class CAboutDlg : public CDialog {
public:
  explicit CAboutDlg(CWnd* parent = nullptr);
};
