#include "TestPrinter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSmallReceiveBuffer = 4096;
constexpr int kFillerCompletionMs = 200;
constexpr int kMaxFillers = 64;
constexpr int kMaxPollMs = 250;
constexpr std::size_t kReadChunk = 64 * 1024;

[[noreturn]] void Fatal(const std::string& message) {
  std::fprintf(stderr, "TestPrinter: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string Endpoint(const std::string& address, std::uint16_t port) {
  return address + ":" + std::to_string(port);
}

std::string ErrnoText(int error) { return std::strerror(error); }

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

sockaddr_in LoopbackSockaddr(const std::string& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    Fatal("'" + address + "' is not an IPv4 address");
  }
  if ((ntohl(sa.sin_addr.s_addr) >> 24) != 127) {
    Fatal("'" + address + "' is outside 127.0.0.0/8; the test printer only serves loopback");
  }
  return sa;
}

bool NeedsSmallBuffers(PortMode mode) {
  return mode == PortMode::NeverRead || mode == PortMode::SlowReader;
}

bool Accepts(PortMode mode) {
  return mode != PortMode::Refuse && mode != PortMode::Unreachable;
}

// Fills the accept queue of `listenFd` (listening with backlog 0) with
// connections of our own until the kernel stops completing new ones. The last,
// never completed attempt is kept as well; from then on the listener drops
// every SYN.
std::vector<int> FillBacklog(const sockaddr_in& target, const std::string& where) {
  std::vector<int> fillers;
  for (int i = 0; i < kMaxFillers; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) Fatal("filler socket for " + where + ": " + ErrnoText(errno));
    fillers.push_back(fd);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
      continue;  // completed at once
    }
    if (errno != EINPROGRESS) Fatal("filler connect to " + where + ": " + ErrnoText(errno));
    pollfd p{fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, kFillerCompletionMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) Fatal("poll on filler for " + where + ": " + ErrnoText(errno));
    if (ready == 0) return fillers;  // pending: the backlog is full
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
    if (error != 0) Fatal("filler connect to " + where + " failed: " + ErrnoText(error));
  }
  for (int fd : fillers) ::close(fd);
  Fatal("could not fill the accept backlog of " + where + " with " + std::to_string(kMaxFillers) +
        " connections");
}

struct Port {
  std::uint16_t number = 0;
  PortBehaviour behaviour;
  int listenFd = -1;  // -1 when nothing is bound
  std::vector<int> fillers;
};

struct Live {
  int fd = -1;
  std::size_t index = 0;  // into the records
  const Port* port = nullptr;
  std::vector<std::uint8_t> out;
  std::size_t outPos = 0;
  bool answered = false;
  bool peerDone = false;
  Clock::time_point nextRead{};
};

}  // namespace

struct TestPrinter::Impl {
  std::string address;
  std::array<Port, 2> ports;
  int wakeRead = -1;
  int wakeWrite = -1;
  std::atomic<bool> stopping{false};
  std::thread service;
  std::vector<std::uint8_t> readBuffer = std::vector<std::uint8_t>(kReadChunk);  // service thread only

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Connection> records;  // index == sequence

  void Listen(Port& port);
  void CloseSockets();  // listeners, fillers and the wake pipe; not the accepted connections
  void Run();
  void Accept(const Port& port, std::vector<Live>& live);
  // Returns false when the connection is finished and its fd closed.
  bool Service(Live& conn, short revents);
  void Flush(Live& conn);
  void MarkClosed(std::size_t index, bool reset);
};

void TestPrinter::Impl::Listen(Port& port) {
  const std::string where = Endpoint(address, port.number);
  const sockaddr_in sa = LoopbackSockaddr(address, port.number);
  const PortMode mode = port.behaviour.mode;

  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) Fatal("socket for " + where + ": " + ErrnoText(errno));
  port.listenFd = fd;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (NeedsSmallBuffers(mode)) {
    // Set before listen() so that accepted sockets inherit it.
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kSmallReceiveBuffer, sizeof kSmallReceiveBuffer);
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    Fatal("cannot bind " + where + ": " + ErrnoText(errno));
  }
  if (mode == PortMode::Refuse) return;  // bound, not listening: SYNs get a RST

  const int backlog = mode == PortMode::Unreachable ? 0 : SOMAXCONN;
  if (::listen(fd, backlog) != 0) Fatal("cannot listen on " + where + ": " + ErrnoText(errno));
  if (mode == PortMode::Unreachable) port.fillers = FillBacklog(sa, where);
}

TestPrinter::TestPrinter(std::string address, PortBehaviour on9100, PortBehaviour on4000)
    : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.address = std::move(address);
  LoopbackSockaddr(d.address, 0);  // validates before anything is bound
  d.ports[0].number = kTestPrinterFramePort;
  d.ports[0].behaviour = std::move(on9100);
  d.ports[1].number = kTestPrinterReplyPort;
  d.ports[1].behaviour = std::move(on4000);
  for (Port& port : d.ports) {
    if (port.behaviour.slowReadDelayMs < 0) port.behaviour.slowReadDelayMs = 0;
    d.Listen(port);
  }
  int pipeFds[2];
  if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) Fatal("pipe2: " + ErrnoText(errno));
  d.wakeRead = pipeFds[0];
  d.wakeWrite = pipeFds[1];
  try {
    d.service = std::thread([&d] { d.Run(); });
  } catch (...) {
    d.CloseSockets();
    throw;
  }
}

TestPrinter::~TestPrinter() {
  Impl& d = *impl_;
  d.stopping.store(true);
  const char byte = 1;
  // The pipe can only be full if it was already woken; either way it wakes.
  [[maybe_unused]] const ssize_t ignored = ::write(d.wakeWrite, &byte, 1);
  if (d.service.joinable()) d.service.join();
  d.CloseSockets();
}

void TestPrinter::Impl::CloseSockets() {
  for (Port& port : ports) {
    for (int& fd : port.fillers) CloseFd(fd);
    CloseFd(port.listenFd);
  }
  CloseFd(wakeRead);
  CloseFd(wakeWrite);
}

void TestPrinter::Impl::MarkClosed(std::size_t index, bool reset) {
  {
    std::lock_guard lock(mutex);
    records[index].closed = true;
    records[index].reset = reset;
  }
  changed.notify_all();
}

void TestPrinter::Impl::Accept(const Port& port, std::vector<Live>& live) {
  for (;;) {
    const int fd = ::accept4(port.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      return;  // EAGAIN, or out of resources: try again on the next wake-up
    }
    const PortMode mode = port.behaviour.mode;
    // Closed before it is recorded: whoever waits for the record finds the
    // connection already gone.
    if (mode == PortMode::AcceptClose) ::close(fd);
    std::size_t index;
    {
      std::lock_guard lock(mutex);
      index = records.size();
      Connection c;
      c.sequence = static_cast<int>(index);
      c.port = port.number;
      c.closed = mode == PortMode::AcceptClose;
      records.push_back(std::move(c));
    }
    changed.notify_all();
    if (mode == PortMode::AcceptClose) continue;
    Live conn;
    conn.fd = fd;
    conn.index = index;
    conn.port = &port;
    conn.nextRead = Clock::now();
    live.push_back(std::move(conn));
  }
}

void TestPrinter::Impl::Flush(Live& conn) {
  while (conn.outPos < conn.out.size()) {
    const ssize_t n = ::send(conn.fd, conn.out.data() + conn.outPos, conn.out.size() - conn.outPos,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      conn.outPos += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // The peer is gone; the read side reports how.
    conn.out.clear();
    conn.outPos = 0;
    return;
  }
  conn.out.clear();
  conn.outPos = 0;
}

bool TestPrinter::Impl::Service(Live& conn, short revents) {
  const PortBehaviour& behaviour = conn.port->behaviour;
  const bool slow = behaviour.mode == PortMode::SlowReader;

  if (!conn.peerDone && (revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    std::vector<std::uint8_t>& buffer = readBuffer;
    const ssize_t n = ::recv(conn.fd, buffer.data(), slow ? 1 : buffer.size(), 0);
    if (n > 0) {
      {
        std::lock_guard lock(mutex);
        auto& bytes = records[conn.index].bytes;
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
      }
      changed.notify_all();
      if (slow) conn.nextRead = Clock::now() + std::chrono::milliseconds(behaviour.slowReadDelayMs);
      if (behaviour.mode == PortMode::Answer && !conn.answered) {
        conn.answered = true;
        conn.out = behaviour.answer;
        conn.outPos = 0;
      }
    } else if (n == 0) {
      conn.peerDone = true;
      MarkClosed(conn.index, false);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      MarkClosed(conn.index, true);
      CloseFd(conn.fd);
      return false;
    }
  }

  if (!conn.out.empty()) Flush(conn);

  if (conn.peerDone && conn.out.empty()) {
    CloseFd(conn.fd);
    return false;
  }
  if (conn.peerDone && (revents & (POLLERR | POLLHUP)) != 0) {
    // Cannot deliver the rest of the answer any more.
    CloseFd(conn.fd);
    return false;
  }
  return true;
}

void TestPrinter::Impl::Run() {
  std::vector<Live> live;
  std::vector<pollfd> fds;
  std::vector<Live*> owners;  // parallel to fds; nullptr for the wake pipe and listeners
  std::vector<const Port*> listeners;

  while (!stopping.load()) {
    fds.clear();
    owners.clear();
    listeners.clear();
    fds.push_back({wakeRead, POLLIN, 0});
    owners.push_back(nullptr);
    listeners.push_back(nullptr);
    for (const Port& port : ports) {
      if (!Accepts(port.behaviour.mode)) continue;
      fds.push_back({port.listenFd, POLLIN, 0});
      owners.push_back(nullptr);
      listeners.push_back(&port);
    }

    const auto now = Clock::now();
    int timeoutMs = kMaxPollMs;
    for (Live& conn : live) {
      const PortMode mode = conn.port->behaviour.mode;
      if (mode == PortMode::NeverRead) continue;
      short events = 0;
      if (!conn.peerDone) {
        if (mode == PortMode::SlowReader && conn.nextRead > now) {
          const auto wait = std::chrono::ceil<std::chrono::milliseconds>(conn.nextRead - now);
          timeoutMs = std::min<int>(timeoutMs, static_cast<int>(wait.count()));
        } else {
          events |= POLLIN;
        }
      }
      if (!conn.out.empty()) events |= POLLOUT;
      if (events == 0) continue;  // leave it out entirely so errors cannot spin the loop
      fds.push_back({conn.fd, events, 0});
      owners.push_back(&conn);
      listeners.push_back(nullptr);
    }

    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Fatal("poll: " + ErrnoText(errno));
    }
    if (stopping.load()) break;

    // New connections are appended to `live` only after the owners have been
    // served, so the pointers in `owners` stay valid.
    std::vector<const Port*> acceptable;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      const short revents = fds[i].revents;
      if (i == 0) {
        if (revents != 0) {
          char drain[64];
          while (::read(wakeRead, drain, sizeof drain) > 0) {
          }
        }
      } else if (listeners[i] != nullptr) {
        if (revents != 0) acceptable.push_back(listeners[i]);
      } else if (owners[i] != nullptr) {
        if (revents != 0) Service(*owners[i], revents);
      }
    }
    // Slow readers whose delay has passed are polled again next round.
    live.erase(std::remove_if(live.begin(), live.end(), [](const Live& c) { return c.fd < 0; }),
               live.end());
    for (const Port* port : acceptable) Accept(*port, live);
  }

  for (Live& conn : live) CloseFd(conn.fd);
}

std::string LoopbackAddressFor(std::string_view name, int host) {
  if (host < 1 || host > 254) {
    Fatal("LoopbackAddressFor: host " + std::to_string(host) + " is outside 1..254");
  }
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  // PRINTERTEST_TEST_NET moves every test to other /24s, so that two
  // checkouts can run their tests side by side on one machine.
  const char* salt = std::getenv("PRINTERTEST_TEST_NET");
  const std::string salted = std::string(name) + (salt ? salt : "");
  for (char c : salted) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  hash ^= hash >> 29;  // spread the low bits before reducing
  const unsigned x = 1 + static_cast<unsigned>(hash % 254);
  const unsigned y = static_cast<unsigned>((hash / 254) % 256);
  return "127." + std::to_string(x) + "." + std::to_string(y) + "." + std::to_string(host);
}

const std::string& TestPrinter::Address() const { return impl_->address; }

std::vector<Connection> TestPrinter::Connections() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records;
}

std::vector<Connection> TestPrinter::ConnectionsOn(std::uint16_t port) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<Connection> result;
  for (const Connection& c : impl_->records) {
    if (c.port == port) result.push_back(c);
  }
  return result;
}

std::size_t TestPrinter::AcceptedCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records.size();
}

bool TestPrinter::WaitUntil(const std::function<bool(const std::vector<Connection>&)>& done,
                            int timeoutMs) const {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_until(lock, deadline, [&] { return done(impl_->records); });
}

bool TestPrinter::WaitForClosedConnections(std::size_t count, int timeoutMs) const {
  return WaitUntil(
      [count](const std::vector<Connection>& records) {
        return static_cast<std::size_t>(std::count_if(records.begin(), records.end(),
                                                      [](const Connection& c) { return c.closed; })) >=
               count;
      },
      timeoutMs);
}

}  // namespace testsupport
