#pragma once
// Start-up: runs the console as the program's one main window; the program
// ends when the console closes.

#include "Types.h"

class CPrinterTestDlg;
namespace printerlink {
class ExchangeObserver;
}

class CPrinterTestApp {
public:
  // Runs the console modally and returns FALSE once it has closed, so that
  // the program ends instead of entering a message loop of its own.
  BOOL InitInstance();

  // An address for both address fields at start; empty keeps 192.168.1.10.
  CString m_strStartPrinter;
  // Gets every record besides the log window (the --log file); not owned.
  printerlink::ExchangeObserver* m_pLogFile = nullptr;
};

// Wires the console's system-menu About item to the About box.
void InstallAboutBox(CPrinterTestDlg& console);
// Makes the console's "Get Status" button open a status monitor that reaches
// its printer through the console's status channel.
void InstallStatusMonitor(CPrinterTestDlg& console);
