#include "StatusChannel.h"

#include "PrinterTestDlg.h"

int CStatusChannel::Run(const CDialog& caller, const CString& address, const printerlink::Step& step,
                        printerlink::Done& done) {
  return m_console.RunStep(caller, address, step, done);
}
