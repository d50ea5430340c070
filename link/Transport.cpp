#include "Transport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace printerlink {
namespace {

LinkResult Failure(LinkError error, int sysError = 0) {
  LinkResult r;
  r.error = error;
  r.sysError = sysError;
  return r;
}

LinkResult NotStarted(const SocketLibraryScope& scope) {
  return Failure(scope.wrongVersion() ? LinkError::WrongVersion : LinkError::LibraryNotStarted);
}

// A connection attempt is either decided at once (`decided`, with its result)
// or pending until its socket reports that it ended.
struct Attempt {
  bool decided = true;
  LinkResult result;
};

Attempt StartAttempt(SocketLibrary& library, SocketHandle socket, std::string_view address,
                     std::uint16_t port) {
  if (socket == kInvalidSocket) return {true, Failure(LinkError::NoSocket)};
  const auto ip = ParseDottedQuad(address);
  if (!ip) return {true, Failure(LinkError::BadAddress)};
  if (const int e = library.SetNonBlocking(socket, true)) return {true, Failure(LinkError::ConnectFailed, e)};
  const int e = library.StartConnect(socket, Endpoint{*ip, port});
  if (e == EINPROGRESS) return {false, {}};
  return {true, e == 0 ? LinkResult{} : Failure(LinkError::ConnectFailed, e)};
}

// Ended attempts on some platforms report as writable even when they failed:
// only a pending error of zero is a connection.
LinkResult DecideEnded(SocketLibrary& library, SocketHandle socket) {
  const int e = library.PendingError(socket);
  return e == 0 ? LinkResult{} : Failure(LinkError::ConnectFailed, e);
}

// Connects within `timeoutMs` and leaves the socket blocking for the sends.
LinkResult Connect(SocketLibrary& library, SocketHandle socket, std::string_view address,
                   std::uint16_t port, int timeoutMs) {
  Attempt attempt = StartAttempt(library, socket, address, port);
  if (!attempt.decided) {
    ConnectWaitSlot slot{socket, false};
    const int n = library.WaitConnected(std::span(&slot, 1), timeoutMs);
    if (n < 0) return Failure(LinkError::ConnectFailed, -n);
    if (!slot.done) return Failure(LinkError::ConnectTimedOut, ETIMEDOUT);
    attempt.result = DecideEnded(library, socket);
  }
  if (attempt.result.ok()) {
    if (const int e = library.SetNonBlocking(socket, false)) return Failure(LinkError::ConnectFailed, e);
  }
  return attempt.result;
}

// Sends every byte, going on from where a partial send stopped. A send that
// takes nothing or fails counts against the budget; a good one does not
// restore it. Returns the number of bytes the printer took.
std::size_t SendAll(SocketLibrary& library, SocketHandle socket, std::span<const std::uint8_t> data,
                    int& lastError) {
  std::size_t offset = 0;
  int budget = kFailedSendBudget;
  while (offset < data.size()) {
    const IoResult r = library.Send(socket, data.data() + offset, data.size() - offset);
    if (r.error == 0 && r.bytes > 0) {
      offset += std::min(r.bytes, data.size() - offset);
      continue;
    }
    lastError = r.error;
    if (--budget == 0) break;
  }
  return offset;
}

// The printer's answer comes in one receive: wait, take what has arrived; when
// nothing has, wait and try again, at most kReplyRetries more times. A printer
// that closes or resets the connection without a word ends the wait at once:
// nothing more can arrive on it.
std::size_t ReceiveReply(SocketLibrary& library, SocketHandle socket, ReplyBuffer& reply, int pollMs) {
  for (int attempt = 0; attempt <= kReplyRetries; ++attempt) {
    library.Sleep(pollMs);
    const IoResult r = library.Receive(socket, reply.data(), kReplyReadSize);
    if (r.error == 0) return r.bytes;
    if (r.error != EAGAIN && r.error != EWOULDBLOCK) return 0;
  }
  return 0;
}

// Connects, sends the bytes whole, and with `reply` reads the answer.
LinkResult Deliver(SocketLibrary& library, std::string_view address, std::uint16_t port,
                   std::span<const std::uint8_t> bytes, ReplyBuffer* reply, const LinkTimings& timings) {
  SocketLibraryScope scope(library, kSocketVersion);
  if (!scope.started()) return NotStarted(scope);
  SocketHolder socket(library);
  if (!socket.valid()) return Failure(LinkError::NoSocket);
  if (const int e = library.SetSendTimeout(socket.get(), timings.sendTimeoutMs)) {
    return Failure(LinkError::NoSocket, e);
  }
  LinkResult result = Connect(library, socket.get(), address, port, timings.connectTimeoutMs);
  if (!result.ok()) return result;

  int sendError = 0;
  result.sent = SendAll(library, socket.get(), bytes, sendError);
  if (result.sent < bytes.size()) {
    // A reply to half a frame means nothing: the call has failed already.
    result.error = LinkError::SendIncomplete;
    result.sysError = sendError;
    return result;
  }
  if (reply) result.received = ReceiveReply(library, socket.get(), *reply, timings.replyPollMs);
  return result;
}

}  // namespace

std::vector<LinkResult> ProbePrinters(SocketLibrary& library, std::span<const std::string> addresses,
                                      std::uint16_t port, int waitMs) {
  std::vector<LinkResult> results(addresses.size());
  SocketLibraryScope scope(library, kSocketVersion);
  if (!scope.started()) {
    std::fill(results.begin(), results.end(), NotStarted(scope));
    return results;
  }

  std::vector<SocketHolder> sockets;
  sockets.reserve(addresses.size());
  std::vector<std::size_t> pending;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    SocketHolder& socket = sockets.emplace_back(library);
    const Attempt attempt = StartAttempt(library, socket.get(), addresses[i], port);
    if (attempt.decided) {
      results[i] = attempt.result;
      socket.Close();
    } else {
      pending.push_back(i);
    }
  }

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  std::vector<ConnectWaitSlot> slots;
  while (!pending.empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    slots.clear();
    for (std::size_t i : pending) slots.push_back({sockets[i].get(), false});
    const int n = library.WaitConnected(slots, static_cast<int>(left.count()));
    if (n < 0) {
      for (std::size_t i : pending) results[i] = Failure(LinkError::ConnectFailed, -n);
      pending.clear();
      break;
    }
    std::vector<std::size_t> stillPending;
    for (std::size_t k = 0; k < pending.size(); ++k) {
      const std::size_t i = pending[k];
      if (!slots[k].done) {
        stillPending.push_back(i);
        continue;
      }
      results[i] = DecideEnded(library, sockets[i].get());
      sockets[i].Close();
    }
    pending.swap(stillPending);
  }
  for (std::size_t i : pending) results[i] = Failure(LinkError::ConnectTimedOut, ETIMEDOUT);
  return results;  // the holders close whatever is still open
}

LinkResult ProbePrinter(SocketLibrary& library, std::string_view address, std::uint16_t port, int waitMs) {
  const std::string one[] = {std::string(address)};
  return ProbePrinters(library, one, port, waitMs).front();
}

LinkResult ExchangeFrame(SocketLibrary& library, std::string_view address,
                         std::span<const std::uint8_t> frame, bool expectReply, ReplyBuffer& reply,
                         const LinkTimings& timings) {
  return Deliver(library, address, FramePortFor(expectReply), frame, expectReply ? &reply : nullptr,
                 timings);
}

LinkResult SendTextJob(SocketLibrary& library, std::string_view address, std::string_view text,
                       const LinkTimings& timings) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  return Deliver(library, address, kTextJobPort, std::span(bytes, text.size()), nullptr, timings);
}

}  // namespace printerlink
