#pragma once
// The socket library every test and benchmark goes through. It forwards to the
// system's layer, refuses loudly (abort, with the address) any connection
// outside 127.0.0.0/8, counts what the transport acquires and releases, and can
// misbehave on request: refuse to start, grant another version, take sends in
// small pieces, or fail sends.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "SocketLibrary.h"

namespace testsupport {

class LoopbackOnlyLibrary final : public printerlink::SocketLibrary {
public:
  // What the library does -------------------------------------------------
  int startupError = 0;                                                // non-zero: the start-up fails with it
  std::optional<printerlink::SocketVersion> grant;                     // grant this instead of what was asked
  std::size_t maxSendChunk = std::numeric_limits<std::size_t>::max();  // bytes taken per send at most
  int failingSends = 0;                                                // the next this many sends fail with EAGAIN
  std::function<void()> beforeSend;  // runs before each send (to let the printer act first)

  // What the transport did ------------------------------------------------
  int startups = 0;  // successful start-ups
  int cleanups = 0;
  int opened = 0;
  int closed = 0;
  int sendCalls = 0;
  int receiveCalls = 0;
  int connectCalls = 0;
  int sleeps = 0;                        // pauses of the reply schedule
  int readWaits = 0;                     // waits for a reply to arrive
  std::vector<std::size_t> sendOffsets;  // where each send that took bytes started, counted from the first

  int Startup(printerlink::SocketVersion requested, printerlink::SocketVersion& granted) override;
  void Cleanup() override;
  printerlink::SocketHandle OpenTcp() override;
  void Close(printerlink::SocketHandle socket) override;
  int SetSendTimeout(printerlink::SocketHandle socket, int milliseconds) override;
  int SetNonBlocking(printerlink::SocketHandle socket, bool on) override;
  int StartConnect(printerlink::SocketHandle socket, const printerlink::Endpoint& to) override;
  int WaitConnected(std::span<printerlink::ConnectWaitSlot> slots, int timeoutMs) override;
  int PendingError(printerlink::SocketHandle socket) override;
  printerlink::IoResult Send(printerlink::SocketHandle socket, const std::uint8_t* data, std::size_t length) override;
  int WaitAcknowledged(printerlink::SocketHandle socket, int timeoutMs, std::size_t& unacknowledged) override;
  printerlink::IoResult Receive(printerlink::SocketHandle socket, std::uint8_t* data, std::size_t capacity) override;
  int ShutdownSend(printerlink::SocketHandle socket) override;
  int WaitPeerClosed(printerlink::SocketHandle socket, int timeoutMs) override;
  int WaitReadable(printerlink::SocketHandle socket, int timeoutMs) override;
  void Sleep(int milliseconds) override;

private:
  printerlink::SocketLibrary& real_ = printerlink::SystemSocketLibrary();
  std::size_t sentSoFar_ = 0;
};

}  // namespace testsupport
