#include "LoopbackOnlyLibrary.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace testsupport {

using namespace printerlink;

int LoopbackOnlyLibrary::Startup(SocketVersion requested, SocketVersion& granted) {
  if (startupError != 0) return startupError;
  const int e = real_.Startup(requested, granted);
  if (e == 0) {
    ++startups;
    if (grant) granted = *grant;
  }
  return e;
}

void LoopbackOnlyLibrary::Cleanup() {
  ++cleanups;
  real_.Cleanup();
}

SocketHandle LoopbackOnlyLibrary::OpenTcp() {
  const SocketHandle s = real_.OpenTcp();
  if (s != kInvalidSocket) ++opened;
  return s;
}

void LoopbackOnlyLibrary::Close(SocketHandle socket) {
  if (socket != kInvalidSocket) ++closed;
  real_.Close(socket);
}

int LoopbackOnlyLibrary::SetSendTimeout(SocketHandle socket, int milliseconds) {
  return real_.SetSendTimeout(socket, milliseconds);
}

int LoopbackOnlyLibrary::SetNonBlocking(SocketHandle socket, bool on) { return real_.SetNonBlocking(socket, on); }

int LoopbackOnlyLibrary::StartConnect(SocketHandle socket, const Endpoint& to) {
  const std::uint32_t host = ntohl(to.address);
  if ((host >> 24) != 127) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = to.address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    std::fprintf(stderr, "\n*** a test tried to connect to %s:%u, outside 127.0.0.0/8; refused and stopped ***\n", text,
                 static_cast<unsigned>(to.port));
    std::abort();
  }
  ++connectCalls;
  return real_.StartConnect(socket, to);
}

int LoopbackOnlyLibrary::WaitConnected(std::span<ConnectWaitSlot> slots, int timeoutMs) {
  return real_.WaitConnected(slots, timeoutMs);
}

int LoopbackOnlyLibrary::PendingError(SocketHandle socket) { return real_.PendingError(socket); }

IoResult LoopbackOnlyLibrary::Send(SocketHandle socket, const std::uint8_t* data, std::size_t length) {
  ++sendCalls;
  if (beforeSend) beforeSend();
  if (failingSends > 0) {
    --failingSends;
    return {0, EAGAIN};
  }
  const IoResult r = real_.Send(socket, data, std::min(length, maxSendChunk));
  if (r.error == 0 && r.bytes > 0) {
    sendOffsets.push_back(sentSoFar_);
    sentSoFar_ += r.bytes;
  }
  return r;
}

int LoopbackOnlyLibrary::WaitAcknowledged(SocketHandle socket, int timeoutMs, std::size_t& unacknowledged) {
  return real_.WaitAcknowledged(socket, timeoutMs, unacknowledged);
}

IoResult LoopbackOnlyLibrary::Receive(SocketHandle socket, std::uint8_t* data, std::size_t capacity) {
  ++receiveCalls;
  return real_.Receive(socket, data, capacity);
}

int LoopbackOnlyLibrary::ShutdownSend(SocketHandle socket) { return real_.ShutdownSend(socket); }

int LoopbackOnlyLibrary::WaitPeerClosed(SocketHandle socket, int timeoutMs) {
  return real_.WaitPeerClosed(socket, timeoutMs);
}

int LoopbackOnlyLibrary::WaitReadable(SocketHandle socket, int timeoutMs) {
  ++readWaits;
  return real_.WaitReadable(socket, timeoutMs);
}

void LoopbackOnlyLibrary::Sleep(int milliseconds) {
  ++sleeps;
  real_.Sleep(milliseconds);
}

}  // namespace testsupport
