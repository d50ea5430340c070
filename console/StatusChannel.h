#pragma once
// What the status monitor may ask of the console, and nothing more: whether
// its printer accepts a connection, and the printer's answer to one frame.
// The console owns the channel; the monitor is handed it when it opens.

#include <cstddef>
#include <span>

#include "Frames.h"
#include "Transport.h"
#include "Types.h"

class CDialog;
class CPrinterTestDlg;

class CStatusChannel {
public:
  explicit CStatusChannel(CPrinterTestDlg& console) : m_console(console) {}
  CStatusChannel(const CStatusChannel&) = delete;
  CStatusChannel& operator=(const CStatusChannel&) = delete;

  struct Reply {
    int sent = 0;                      // 1 when the printer took the whole frame, as SendCommandFrame
    printerlink::ReplyBuffer bytes{};  // the answer from index 0, zeros where none arrived
    std::size_t received = 0;          // how many bytes of it arrived
    printerlink::LinkResult link;      // the exchange's outcome and its cause
  };

  // Whether a TCP connection to address:port is accepted in time. Sends nothing.
  // `result` keeps why it failed ("refused", "no answer").
  int Probe(const CString& address, int port, printerlink::LinkResult& result);
  // Sends `frame` to port 4000 of `address` and reads the printer's answer.
  // When the frame cannot go shows "Can't Connect Net!", as the console's own
  // commands do, unless `caller` was closed while the call waited.
  Reply Exchange(const CDialog& caller, const CString& address, std::span<const std::uint8_t> frame);

private:
  CPrinterTestDlg& m_console;
};
