#include "PrinterTestApp.h"

#include "AboutDlg.h"
#include "ExchangeLogModel.h"
#include "ExchangeLogWnd.h"
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
    dlg.m_pExchangeObserver = console.m_pExchangeObserver;
    dlg.DoModal();
  };
}

BOOL CPrinterTestApp::InitInstance() {
  // The log outlives the console's window: records made while it closes still land.
  CExchangeLogModel log;
  printerlink::ExchangeFanOut exchanges;
  exchanges.Add(&log);
  exchanges.Add(m_pLogFile);
  CPrinterTestDlg dlg;
  dlg.m_strStartPrinter = m_strStartPrinter;
  dlg.m_pExchangeObserver = &exchanges;
  InstallAboutBox(dlg);
  InstallExchangeLog(dlg, log);
  InstallStatusMonitor(dlg);
  dlg.DoModal();
  return FALSE;
}
