#pragma once
// What the status monitor may ask of the console, and nothing more: one
// exchange of a status read at a time.
// The console owns the channel; the monitor is handed it when it opens.

#include "PrinterCommands.h"
#include "Types.h"

class CDialog;
class CPrinterTestDlg;

class CStatusChannel {
public:
  explicit CStatusChannel(CPrinterTestDlg& console) : m_console(console) {}
  CStatusChannel(const CStatusChannel&) = delete;
  CStatusChannel& operator=(const CStatusChannel&) = delete;

  // Makes one exchange of the status read with `address` the console's way:
  // off the interface thread, its record to the console's log, and when a
  // query cannot go "Can't Connect Net!", as the console's own commands do,
  // unless `caller` was closed while the call waited. Returns 1 when it went through.
  int Run(const CDialog& caller, const CString& address, const printerlink::Step& step, printerlink::Done& done);

private:
  CPrinterTestDlg& m_console;
};
