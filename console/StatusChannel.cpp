#include "StatusChannel.h"

#include <algorithm>

#include "PrinterTestDlg.h"

int CStatusChannel::Probe(const CString& address, int port, printerlink::LinkResult& result) {
  return m_console.ProbePrinter(address, port, result);
}

CStatusChannel::Reply CStatusChannel::Exchange(const CDialog& caller, const CString& address,
                                               std::span<const std::uint8_t> frame) {
  // The frame goes the way of the console's own: through its CommandFrame,
  // the answer into its ReplyBuffer, cleared first so no old byte shows through.
  const std::size_t length = std::min(frame.size(), m_console.m_commandFrame.size());
  std::copy_n(frame.begin(), length, m_console.m_commandFrame.begin());
  m_console.m_replyBuffer.fill(0);
  Reply reply;
  reply.sent =
      m_console.SendBytesTo(caller, address, std::span(m_console.m_commandFrame.data(), length), true, reply.link);
  reply.bytes = m_console.m_replyBuffer;
  reply.received = m_console.m_nReplyLength;
  return reply;
}
