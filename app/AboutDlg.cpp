#include "AboutDlg.h"

#include "ResourceIds.h"

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent) {}
