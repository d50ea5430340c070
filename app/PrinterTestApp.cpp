#include "PrinterTestApp.h"

#include "AboutDlg.h"
#include "PrinterTestDlg.h"
#include "StatusDlg.h"

void InstallAboutBox(CPrinterTestDlg& console) {
  console.m_runAboutBox = [](CWnd* owner) {
    CAboutDlg about(owner);
    about.DoModal();
  };
}

void InstallStatusMonitor(CPrinterTestDlg& console) {
  console.m_runStatusMonitor = [&console](const CString& target) {
    CStatusDlg dlg;
    dlg.m_strTargetAddress = target;
    dlg.m_pChannel = &console.StatusChannel();
    dlg.DoModal();
  };
}

BOOL CPrinterTestApp::InitInstance() {
  CPrinterTestDlg dlg;
  dlg.m_strStartPrinter = m_strStartPrinter;
  InstallAboutBox(dlg);
  InstallStatusMonitor(dlg);
  dlg.DoModal();
  return FALSE;
}
