#include "LoopbackPrinter.h"

#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace printercore {
namespace {

// What one connection may read in one round, and what all the bulk senders
// together may read in one round: small enough that what the printer makes
// of it never keeps the other clients, and their status requests, waiting
// long.
constexpr std::size_t kReadChunk = 8 * 1024;
constexpr std::size_t kRoundBudget = 2 * kReadChunk;
// A client that has sent less than this (a status request, a frame, a probe)
// is read before the bulk senders in every round.
constexpr std::size_t kSmallClient = 4 * 1024;
// A connection stops being read, as a printer with a full buffer does, while
// this many answers wait to be sent or its client has not taken this many
// answer bytes.
constexpr std::size_t kMaxQueuedAnswers = 256;
constexpr std::size_t kMaxUnsentBytes = 3 * kMaxQueuedAnswers;
// Descriptors kept free of connections for the listeners, the wake pipe and
// whatever else the process opens.
constexpr std::size_t kSpareDescriptors = 32;

std::size_t ConnectionsTheFilesLimitAllows() {
  rlimit files{};
  const rlim_t limit = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
  const rlim_t room = limit == RLIM_INFINITY ? rlim_t{1} << 20 : limit;
  return room > 2 * kSpareDescriptors ? room - kSpareDescriptors : std::max<rlim_t>(room / 2, 1);
}

std::string PeerText(const sockaddr_in& peer) {
  char text[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

}  // namespace

void Connection::Send(std::span<const std::uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

void Connection::AnswerAt(Clock::time_point due, std::size_t tag) { queued_.push_back({due, tag}); }

bool Connection::FirstUnsettled(std::size_t& tag) const {
  if (!inOut_.empty()) {
    tag = inOut_.front();
    return true;
  }
  if (!queued_.empty()) {
    tag = queued_.front().tag;
    return true;
  }
  return false;
}

LoopbackPrinter::~LoopbackPrinter() { Stop(); }

bool LoopbackPrinter::Start(std::uint32_t address, PrinterOptions options, std::string& error) {
  if (serving_) return true;
  options_ = std::move(options);
  if (options_.maxConnections == 0) options_.maxConnections = ConnectionsTheFilesLimitAllows();
  std::vector<Port> ports;
  for (PortBehaviour& p : options_.ports) {
    p.slowReadMs = std::max(p.slowReadMs, 0);
    p.closeAfterMs = std::max(p.closeAfterMs, 0);
    ports.push_back(p.port);
  }
  buffer_.resize(kReadChunk);
  serving_ = server_.Start(address, ports, error);
  return serving_;
}

void LoopbackPrinter::Stop() {
  server_.Stop();
  serving_ = false;
}

void LoopbackPrinter::End(Connection& c, Ending ending) {
  int waiting = 0;
  if (c.fd_ >= 0 && ::ioctl(c.fd_, FIONREAD, &waiting) == 0 && waiting > 0)
    c.unread = static_cast<std::size_t>(waiting);
  CloseFd(c.fd_);
  --open_;
  c.queued_.clear();
  c.out_.clear();
  c.inOut_.clear();
  c.session_->Ended(c, ending);
}

bool LoopbackPrinter::MakeRoom() {
  if (live_.empty()) return false;
  const auto oldest = std::min_element(
      live_.begin(), live_.end(), [](const Connection& a, const Connection& b) { return a.lastActive < b.lastActive; });
  End(*oldest, Ending::MadeRoom);
  live_.erase(oldest);
  return true;
}

void LoopbackPrinter::Accepted(int fd, std::size_t which, const sockaddr_in& peer) {
  if (live_.size() >= options_.maxConnections) MakeRoom();
  Connection c;
  c.fd_ = fd;
  c.behaviour_ = &options_.ports[which];
  c.portIndex = which;
  c.port = c.behaviour_->port.number;
  c.number = ++accepted_;
  ++open_;
  c.peer = PeerText(peer);
  c.lastActive = Clock::now();
  c.nextRead_ = c.lastActive;
  c.closeAt_ = c.lastActive + std::chrono::milliseconds(c.behaviour_->closeAfterMs);
  // Hung up before the session hears of it: whoever learns of the
  // connection finds it gone already.
  if (c.behaviour_->closeOnAccept) CloseFd(c.fd_);
  c.session_ = behaviour_.Open(c);
  if (!c.Open()) {
    --open_;
    c.session_->Ended(c, Ending::ClosedAtOnce);
    return;
  }
  // A status request usually comes with the connection: answered at once.
  if (c.behaviour_->reading == Reading::Normal) {
    Read(c);
    SendDue(c, Clock::now());
  }
  live_.push_back(std::move(c));
}

bool LoopbackPrinter::Readable(const Connection& c) const {
  return !c.peerDone && c.behaviour_->reading != Reading::Never && c.queued_.size() < kMaxQueuedAnswers &&
         c.out_.size() < kMaxUnsentBytes && !c.session_->Holding();
}

// Reads what the connection has, up to a chunk (a byte when it reads
// slowly), and returns how much.
std::size_t LoopbackPrinter::Read(Connection& c) {
  const bool slowly = c.behaviour_->reading == Reading::Slowly;
  const ssize_t n = ::recv(c.fd_, buffer_.data(), slowly ? 1 : buffer_.size(), 0);
  if (n == 0) {
    c.peerDone = true;
    return 0;
  }
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    c.readError = errno;
    c.peerDone = true;
    for (const Connection::Due& d : c.queued_) c.session_->Answered(c, d.tag, Delivery::ClientGone, 0);
    c.queued_.clear();  // nobody left to answer
    return 0;
  }
  const auto now = Clock::now();
  c.lastActive = now;
  c.received += static_cast<std::size_t>(n);
  if (slowly) c.nextRead_ = now + std::chrono::milliseconds(c.behaviour_->slowReadMs);
  c.session_->Received(c, std::span(buffer_).first(static_cast<std::size_t>(n)));
  return static_cast<std::size_t>(n);
}

void LoopbackPrinter::Flush(Connection& c) {
  while (!c.out_.empty()) {
    const ssize_t n = ::send(c.fd_, c.out_.data(), c.out_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      c.lastActive = Clock::now();
      c.out_.erase(c.out_.begin(), c.out_.begin() + n);
      if (c.out_.empty()) c.inOut_.clear();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    const int e = n < 0 ? errno : EPIPE;
    c.out_.clear();
    for (std::size_t tag : c.inOut_) c.session_->Answered(c, tag, Delivery::Failed, e);
    c.inOut_.clear();
    return;
  }
}

void LoopbackPrinter::SendDue(Connection& c, Clock::time_point now) {
  // Answers go out in the order they were asked for; with the same delay for
  // each, the first is also the first due.
  while (!c.queued_.empty() && c.queued_.front().when <= now) {
    const std::size_t tag = c.queued_.front().tag;
    c.queued_.pop_front();
    // The printer tells how it is when it answers, not when it was asked.
    const std::vector<std::uint8_t> bytes = c.session_->AnswerBytes(c, tag);
    if (bytes.empty()) {
      c.session_->Answered(c, tag, Delivery::Nothing, 0);
      continue;
    }
    c.inOut_.push_back(tag);
    c.session_->Answered(c, tag, Delivery::Sent, 0);
    c.Send(bytes);
  }
  Flush(c);
}

void LoopbackPrinter::Prepare(std::vector<pollfd>& fds, int& timeoutMs, Clock::time_point now) {
  const auto idle = std::chrono::milliseconds(options_.idleTimeoutMs);
  polled_.clear();
  for (std::size_t i = 0; i < live_.size(); ++i) {
    Connection& c = live_[i];
    short events = 0;
    if (Readable(c)) {
      if (c.nextRead_ <= now) {
        events |= POLLIN;
      } else {
        timeoutMs = std::min(timeoutMs, MsUntil(c.nextRead_, now));
      }
    }
    if (!c.out_.empty()) events |= POLLOUT;
    if (!c.queued_.empty()) timeoutMs = std::min(timeoutMs, MsUntil(c.queued_.front().when, now));
    if (options_.idleTimeoutMs > 0) timeoutMs = std::min(timeoutMs, MsUntil(c.lastActive + idle, now));
    if (c.behaviour_->closeAfterMs > 0) timeoutMs = std::min(timeoutMs, MsUntil(c.closeAt_, now));
    if (events == 0) continue;  // left out entirely, so that an error cannot spin the loop
    fds.push_back({c.fd_, events, 0});
    polled_.push_back(i);
  }
}

void LoopbackPrinter::Serve(std::span<const pollfd> ready) {
  readable_.clear();
  for (std::size_t k = 0; k < ready.size(); ++k) {
    const short revents = ready[k].revents;
    if (revents == 0) continue;
    Connection& c = live_[polled_[k]];
    if ((revents & POLLOUT) != 0) Flush(c);
    if ((revents & (POLLIN | POLLERR | POLLHUP)) != 0 && Readable(c)) readable_.push_back(polled_[k]);
  }
  // Clients that have sent little go first; then the bulk senders, taking
  // turns at who starts, until the round's budget is spent. A flood waits
  // for the next round, a status request does not.
  const auto bulk = std::stable_partition(readable_.begin(), readable_.end(),
                                          [&](std::size_t i) { return live_[i].received < kSmallClient; });
  if (bulk != readable_.end()) {
    std::rotate(bulk, bulk + static_cast<std::ptrdiff_t>(rotor_++ % static_cast<std::size_t>(readable_.end() - bulk)),
                readable_.end());
  }
  std::size_t spent = 0;
  for (auto it = readable_.begin(); it != readable_.end(); ++it) {
    if (it < bulk) {
      spent += Read(live_[*it]);
      continue;
    }
    // A bulk sender with more waiting goes on while the budget lasts, so
    // one flood does not cost a round, and its poll, per chunk.
    for (Connection& c = live_[*it]; spent < kRoundBudget && Readable(c);) {
      const std::size_t n = Read(c);
      spent += n;
      if (n < kReadChunk) break;
    }
    if (spent >= kRoundBudget) break;
  }

  behaviour_.Round(live_);
  const auto idle = std::chrono::milliseconds(options_.idleTimeoutMs);
  const auto after = Clock::now();
  for (Connection& c : live_) {
    SendDue(c, after);
    c.session_->Settle(c);
    // A connection ends when the client has closed it and nothing is left
    // to send, or when its set time is up; an idle connection ends whatever
    // the printer is doing.
    const bool onTime = c.behaviour_->closeAfterMs > 0;
    if (onTime && after >= c.closeAt_) {
      End(c, Ending::ClosedAfterDelay);
    } else if (!onTime && c.peerDone && c.queued_.empty() && c.out_.empty()) {
      End(c, Ending::ClientClosed);
    } else if (options_.idleTimeoutMs > 0 && after - c.lastActive >= idle) {
      End(c, Ending::Idle);
    }
  }
  live_.erase(std::remove_if(live_.begin(), live_.end(), [](const Connection& c) { return !c.Open(); }), live_.end());
}

void LoopbackPrinter::Stopped() {
  for (Connection& c : live_) End(c, Ending::PrinterStopped);
  live_.clear();
}

}  // namespace printercore
