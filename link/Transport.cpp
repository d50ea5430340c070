#include "Transport.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>

#include "PrinterStatus.h"
#include "Settings.h"

namespace printerlink {
namespace {

using Clock = std::chrono::steady_clock;

// `ms`, or what is left of it when the call must end sooner; never below 0.
int Within(const LinkTimings& timings, int ms) {
  if (!timings.endBy) return ms;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*timings.endBy - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, ms));
}

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

Attempt StartAttempt(SocketLibrary& library, SocketHandle socket, std::string_view address, std::uint16_t port) {
  if (socket == kInvalidSocket) return {true, Failure(LinkError::NoSocket)};
  const auto ip = ParseDottedQuad(address);
  // 0.x.x.x connects to this machine on Linux: whatever listens here would pass for the printer.
  if (!ip || IsThisNetwork(std::bit_cast<Ipv4Octets>(*ip))) return {true, Failure(LinkError::BadAddress)};
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
LinkResult Connect(SocketLibrary& library, SocketHandle socket, std::string_view address, std::uint16_t port,
                   int timeoutMs) {
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
std::size_t SendAll(SocketLibrary& library, SocketHandle socket, std::span<const std::uint8_t> data, int& lastError) {
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

// Taken as it arrives: one wait on the socket that the answer's bytes end,
// within the schedule's bound. A printer's TCP may hand the three status
// bytes over in parts (the first byte, a few milliseconds, the other two):
// the wait goes on until all three are in, the printer hangs up, or the bound
// ends. Whatever came by then is the reply; nothing at all is silence.
ReplyEnd ReceiveAsItArrives(SocketLibrary& library, SocketHandle socket, ReplyBuffer& reply, Clock::time_point bound,
                            LinkResult& result) {
  std::size_t got = 0;
  const auto ended = [&](ReplyEnd nothing) { return got > 0 ? ReplyEnd::Arrived : nothing; };
  while (got < kStatusByteCount) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(bound - Clock::now()).count();
    const int ready = library.WaitReadable(socket, static_cast<int>(std::max<long long>(0, left)));
    if (ready == 0) return ended(ReplyEnd::Silent);
    if (ready < 0) {
      if (got == 0) result.sysError = -ready;
      return ended(ReplyEnd::Closed);
    }
    const IoResult r = library.Receive(socket, reply.data() + got, kReplyReadSize - got);
    if (r.error == 0 && r.bytes == 0) return ended(ReplyEnd::Closed);
    if (r.error == 0) {
      got += std::min(r.bytes, kReplyReadSize - got);
      result.received = got;
      continue;
    }
    if (r.error != EAGAIN && r.error != EWOULDBLOCK) {
      if (got == 0) result.sysError = r.error;
      return ended(ReplyEnd::Closed);
    }
  }
  return ReplyEnd::Arrived;
}

// The printer's answer comes in one receive: wait, take what has arrived; when
// nothing has, wait and try again, at most kReplyRetries more times. A printer
// that closes or resets the connection without a word ends the wait at once:
// nothing more can arrive on it.
ReplyEnd ReceiveReply(SocketLibrary& library, SocketHandle socket, ReplyBuffer& reply, const LinkTimings& timings,
                      LinkResult& result) {
  const auto bound = std::min(Clock::now() + std::chrono::milliseconds(ReplyBoundMs(timings.replyPollMs)),
                              timings.endBy.value_or(Clock::time_point::max()));
  if (timings.replyWait == ReplyWait::AsItArrives) return ReceiveAsItArrives(library, socket, reply, bound, result);
  for (int attempt = 0; attempt <= kReplyRetries; ++attempt) {
    library.Sleep(Within(timings, timings.replyPollMs));
    const IoResult r = library.Receive(socket, reply.data(), kReplyReadSize);
    if (r.error == 0) {
      result.received = r.bytes;
      return r.bytes > 0 ? ReplyEnd::Arrived : ReplyEnd::Closed;
    }
    if (r.error != EAGAIN && r.error != EWOULDBLOCK) {
      result.sysError = r.error;
      return ReplyEnd::Closed;
    }
    if (timings.endBy && Clock::now() >= *timings.endBy) return ReplyEnd::Silent;
  }
  return ReplyEnd::Silent;
}

bool IsHangUp(int error) { return error == EPIPE || error == ECONNRESET || error == ECONNABORTED; }

// A question's answer, read as it comes until it is whole.
struct AnswerRead {
  AnswerEnd end;
  int waitMs;
  std::vector<std::uint8_t>& answer;
};
ReplyEnd ReceiveAnswer(SocketLibrary& library, SocketHandle socket, AnswerRead& read, LinkResult& result);

// The printer's TCP holding the bytes is not the printer having read them: a
// printer that closes with bytes unread (busy with another client, or
// dropping connections it does not want) resets the connection, and the bytes
// are gone. So this side says it has finished and waits, for at most
// `waitMs`, for the printer's side: an orderly close means it read to the end;
// a reset, that it threw the bytes away; a side still open at the end of the
// wait counts as delivered, and the result says so.
void EndInOrder(SocketLibrary& library, SocketHandle socket, int waitMs, LinkResult& result) {
  // A shutdown refused because the connection was reset leaves the cause to
  // the wait, which finds it at once.
  const int shut = library.ShutdownSend(socket);
  const int end = library.WaitPeerClosed(socket, shut == 0 ? waitMs : 0);
  if (end == 0) return;
  if (end == ETIMEDOUT) {
    result.peerOpen = true;
    return;
  }
  result.error = LinkError::PeerClosed;
  result.sysError = end;
}

// Connects, sends the bytes whole, and with `reply` or `ask` reads the answer;
// without either, ends the connection in order.
LinkResult Deliver(SocketLibrary& library, std::string_view address, std::uint16_t port,
                   std::span<const std::uint8_t> bytes, ReplyBuffer* reply, const LinkTimings& timings,
                   AnswerRead* ask = nullptr) {
  SocketLibraryScope scope(library, kSocketVersion);
  if (!scope.started()) return NotStarted(scope);
  SocketHolder socket(library);
  if (!socket.valid()) return Failure(LinkError::NoSocket);
  // A send timeout of 0 would be none at all: at least a millisecond.
  const int sendMs = timings.endBy ? std::max(1, Within(timings, timings.sendTimeoutMs)) : timings.sendTimeoutMs;
  if (const int e = library.SetSendTimeout(socket.get(), sendMs)) {
    return Failure(LinkError::NoSocket, e);
  }
  LinkResult result = Connect(library, socket.get(), address, port, Within(timings, timings.connectTimeoutMs));
  if (!result.ok()) return result;

  int sendError = 0;
  const std::size_t handed = SendAll(library, socket.get(), bytes, sendError);
  const auto boundEnds = Clock::now() + std::chrono::milliseconds(Within(timings, timings.sendTimeoutMs));
  // The kernel taking the bytes is not the printer taking them: wait, within
  // the send bound, until the printer's TCP has acknowledged every one. After
  // a send that failed only the count is wanted.
  std::size_t unacknowledged = 0;
  const bool allHanded = handed == bytes.size();
  const int ackError =
      library.WaitAcknowledged(socket.get(), allHanded ? Within(timings, timings.sendTimeoutMs) : 0, unacknowledged);
  result.sent = handed - std::min(unacknowledged, handed);
  if (!allHanded || ackError != 0) {
    // A reply to half a frame means nothing: the call has failed already.
    const int cause = !allHanded && sendError != 0 ? sendError : ackError;
    result.error = IsHangUp(cause) ? LinkError::PeerClosed : LinkError::SendIncomplete;
    result.sysError = cause;
    return result;
  }
  // A reply is its own proof that the printer read the bytes.
  if (reply) {
    result.reply = ReceiveReply(library, socket.get(), *reply, timings, result);
    return result;
  }
  // So is an answer to a question.
  if (ask) {
    ask->waitMs = Within(timings, ask->waitMs);
    result.reply = ReceiveAnswer(library, socket.get(), *ask, result);
    return result;
  }
  // The rest of the send bound, so that the wait for the printer's side never
  // makes an exchange last longer than it could before.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(boundEnds - Clock::now()).count();
  EndInOrder(library, socket.get(), static_cast<int>(std::max<long long>(0, left)), result);
  return result;
}

ReplyEnd ReceiveAnswer(SocketLibrary& library, SocketHandle socket, AnswerRead& read, LinkResult& result) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, read.waitMs));
  read.answer.clear();
  std::uint8_t chunk[kMaxAnswerBytes];
  for (;;) {
    const IoResult r = library.Receive(socket, chunk, kMaxAnswerBytes - read.answer.size());
    if (r.error == 0 && r.bytes == 0) return ReplyEnd::Closed;  // hung up before the answer was whole
    if (r.error == 0) {
      read.answer.insert(read.answer.end(), chunk, chunk + r.bytes);
      result.received = read.answer.size();
      if (const std::size_t whole = read.end(read.answer)) {
        read.answer.resize(std::min(whole, read.answer.size()));
        result.received = read.answer.size();
        return ReplyEnd::Arrived;
      }
      if (read.answer.size() >= kMaxAnswerBytes) return ReplyEnd::Silent;  // no answer that ends
      continue;
    }
    if (r.error != EAGAIN && r.error != EWOULDBLOCK) {
      result.sysError = r.error;
      return ReplyEnd::Closed;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ReplyEnd::Silent;
    const int ready = library.WaitReadable(socket, static_cast<int>(left));
    if (ready == 0) return ReplyEnd::Silent;
    if (ready < 0) {
      result.sysError = -ready;
      return ReplyEnd::Closed;
    }
  }
}

std::int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Begins a record when someone listens; costs nothing otherwise.
class Recorder {
public:
  Recorder(ExchangeObserver* observer, ExchangeKind kind, std::string_view address, std::uint16_t port, int waitMs)
      : observer_(observer) {
    if (!observer_) return;
    started_ = Clock::now();
    record_.startMs = WallClockMs();
    record_.kind = kind;
    record_.address = std::string(address);
    record_.port = port;
    record_.waitMs = waitMs;
  }

  ExchangeRecord& record() { return record_; }

  void Finish(const LinkResult& result, std::span<const std::uint8_t> sent = {},
              std::span<const std::uint8_t> received = {}) {
    if (!observer_) return;
    record_.sent.assign(sent.begin(), sent.end());
    record_.taken = result.sent;
    record_.received.assign(received.begin(), received.end());
    record_.outcome = OutcomeOf(record_.kind, result);
    record_.libraryFault = result.error == LinkError::LibraryNotStarted ? LibraryFault::NotStarted
                           : result.error == LinkError::WrongVersion    ? LibraryFault::WrongVersion
                           : result.error == LinkError::NoSocket        ? LibraryFault::NoSocket
                                                                        : LibraryFault::None;
    record_.sysError = result.sysError;
    record_.peerOpen = result.peerOpen;
    record_.durationMs = MsSince(started_);
    observer_->OnExchange(record_);
  }

private:
  ExchangeObserver* observer_;
  Clock::time_point started_{};
  ExchangeRecord record_;
};

std::vector<LinkResult> ProbeAll(SocketLibrary& library, std::span<const std::string> addresses, std::uint16_t port,
                                 int waitMs) {
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
      socket.reset();
    } else {
      pending.push_back(i);
    }
  }

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
      sockets[i].reset();
    }
    pending.swap(stillPending);
  }
  for (std::size_t i : pending) results[i] = Failure(LinkError::ConnectTimedOut, ETIMEDOUT);
  return results;  // the holders close whatever is still open
}

}  // namespace

Outcome OutcomeOf(ExchangeKind kind, const LinkResult& result) {
  switch (result.error) {
    case LinkError::None: break;
    case LinkError::LibraryNotStarted:
    case LinkError::WrongVersion:
    case LinkError::NoSocket: return Outcome::Library;
    case LinkError::BadAddress: return Outcome::BadAddress;
    case LinkError::ConnectFailed: return result.sysError == ECONNREFUSED ? Outcome::Refused : Outcome::Unreachable;
    case LinkError::ConnectTimedOut: return Outcome::Timeout;
    case LinkError::SendIncomplete: return Outcome::Incomplete;
    case LinkError::PeerClosed: return Outcome::Closed;
  }
  if (kind != ExchangeKind::Status) return Outcome::Ok;
  switch (result.reply) {
    case ReplyEnd::Closed: return Outcome::Closed;
    case ReplyEnd::Silent: return Outcome::NoReply;
    case ReplyEnd::NotAsked:
    case ReplyEnd::Arrived: break;
  }
  return Outcome::Ok;
}

std::vector<LinkResult> ProbePrinters(SocketLibrary& library, std::span<const std::string> addresses,
                                      std::uint16_t port, int waitMs, ExchangeObserver* observer) {
  if (!observer) return ProbeAll(library, addresses, port, waitMs);
  const std::vector<std::string> all(addresses.begin(), addresses.end());
  Recorder recorder(observer, ExchangeKind::Sweep, RangeOf(all), port, waitMs);
  std::vector<LinkResult> results = ProbeAll(library, addresses, port, waitMs);

  ExchangeRecord& record = recorder.record();
  // The sweep as a whole fails when the library let nothing start, or when it
  // was given an address that is none to try (0.x, say): that one was never
  // probed, so it is no silent host, and the sweep is no success.
  LinkResult whole;
  for (std::size_t i = 0; i < results.size(); ++i) {
    const LinkResult& r = results[i];
    // Each address counts as its own probe's record would name it.
    const Outcome outcome = OutcomeOf(ExchangeKind::Probe, r);
    if (outcome == Outcome::Ok) {
      ++record.answering;
      record.found.push_back(all[i]);
    } else if (outcome == Outcome::Refused) {
      ++record.refusing;
    } else if (outcome != Outcome::BadAddress) {
      ++record.silent;
    }
    if (r.error == LinkError::LibraryNotStarted || r.error == LinkError::WrongVersion) whole = r;
    if (r.error == LinkError::BadAddress && whole.ok()) whole = r;
  }
  recorder.Finish(whole);
  return results;
}

LinkResult ProbePrinter(SocketLibrary& library, std::string_view address, std::uint16_t port, int waitMs,
                        ExchangeObserver* observer) {
  Recorder recorder(observer, ExchangeKind::Probe, address, port, waitMs);
  const std::string one[] = {std::string(address)};
  const LinkResult r = ProbeAll(library, one, port, waitMs).front();
  recorder.Finish(r);
  return r;
}

LinkResult ExchangeFrame(SocketLibrary& library, std::string_view address, std::span<const std::uint8_t> frame,
                         bool expectReply, ReplyBuffer& reply, const LinkTimings& timings, ExchangeObserver* observer) {
  const std::uint16_t port = FramePortFor(expectReply);
  Recorder recorder(observer, expectReply ? ExchangeKind::Status : ExchangeKind::Frame, address, port,
                    timings.connectTimeoutMs);
  const LinkResult r = Deliver(library, address, port, frame, expectReply ? &reply : nullptr, timings);
  recorder.Finish(r, frame, std::span(reply.data(), std::min(r.received, reply.size())));
  return r;
}

LinkResult SendTextJob(SocketLibrary& library, std::string_view address, std::string_view text,
                       const LinkTimings& timings, ExchangeObserver* observer) {
  Recorder recorder(observer, ExchangeKind::Text, address, kTextJobPort, timings.connectTimeoutMs);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const LinkResult r = Deliver(library, address, kTextJobPort, std::span(bytes, text.size()), nullptr, timings);
  recorder.Finish(r, std::span(bytes, text.size()));
  return r;
}

LinkResult AskPrinter(SocketLibrary& library, std::string_view address, std::uint16_t port,
                      std::span<const std::uint8_t> question, AnswerEnd end, int answerWaitMs,
                      std::vector<std::uint8_t>& answer, const LinkTimings& timings, ExchangeObserver* observer) {
  Recorder recorder(observer, ExchangeKind::Status, address, port, timings.connectTimeoutMs);
  AnswerRead read{end, answerWaitMs, answer};
  answer.clear();
  const LinkResult r = Deliver(library, address, port, question, nullptr, timings, &read);
  recorder.Finish(r, question, answer);
  return r;
}

}  // namespace printerlink
