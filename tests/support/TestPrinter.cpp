#include "TestPrinter.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <span>

#include "PrinterServer.h"

namespace testsupport {
namespace {

using printercore::Clock;
using printercore::CloseFd;

constexpr int kSmallReceiveBuffer = 4096;
constexpr std::size_t kReadChunk = 64 * 1024;

[[noreturn]] void Fatal(const std::string& message) {
  std::fprintf(stderr, "TestPrinter: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
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

printercore::Port ServerPort(std::uint16_t number, const PortBehaviour& behaviour) {
  printercore::Port port;
  port.number = number;
  if (behaviour.mode == PortMode::Refuse) port.reach = printercore::Reach::Refuse;
  if (behaviour.mode == PortMode::Unreachable) port.reach = printercore::Reach::Unreachable;
  // Small buffers, so that a client sending a large job soon stalls.
  if (behaviour.mode == PortMode::NeverRead || behaviour.mode == PortMode::SlowReader) {
    port.receiveBuffer = kSmallReceiveBuffer;
  }
  return port;
}

struct Port {
  std::uint16_t number = 0;
  PortBehaviour behaviour;
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

struct TestPrinter::Impl : printercore::Handler {
  std::string address;
  std::array<Port, 2> ports;
  printercore::PrinterServer server{*this};
  // The service thread's own.
  std::vector<std::uint8_t> readBuffer = std::vector<std::uint8_t>(kReadChunk);
  std::vector<Live> live;
  std::vector<Live*> polled;  // the connections Prepare handed to poll, in order

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Connection> records;  // index == sequence

  void Accepted(int fd, std::size_t which, const sockaddr_in& peer) override;
  void Prepare(std::vector<pollfd>& fds, int& timeoutMs, Clock::time_point now) override;
  void Serve(std::span<const pollfd> ready) override;
  void Stopped() override;
  // Returns false when the connection is finished and its fd closed.
  bool Service(Live& conn, short revents);
  void Flush(Live& conn);
  void MarkClosed(std::size_t index, bool reset);
};

TestPrinter::TestPrinter(std::string address, PortBehaviour on9100, PortBehaviour on4000)
    : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.address = std::move(address);
  const sockaddr_in sa = LoopbackSockaddr(d.address, 0);  // validates before anything is bound
  d.ports[0].number = kTestPrinterFramePort;
  d.ports[0].behaviour = std::move(on9100);
  d.ports[1].number = kTestPrinterReplyPort;
  d.ports[1].behaviour = std::move(on4000);
  std::vector<printercore::Port> serverPorts;
  for (Port& port : d.ports) {
    if (port.behaviour.slowReadDelayMs < 0) port.behaviour.slowReadDelayMs = 0;
    serverPorts.push_back(ServerPort(port.number, port.behaviour));
  }
  std::string error;
  if (!d.server.Start(sa.sin_addr.s_addr, serverPorts, error)) Fatal(error);
}

TestPrinter::~TestPrinter() { impl_->server.Stop(); }

void TestPrinter::Impl::MarkClosed(std::size_t index, bool reset) {
  {
    std::lock_guard lock(mutex);
    records[index].closed = true;
    records[index].reset = reset;
  }
  changed.notify_all();
}

void TestPrinter::Impl::Accepted(int fd, std::size_t which, const sockaddr_in&) {
  const Port& port = ports[which];
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
  if (mode == PortMode::AcceptClose) return;
  Live conn;
  conn.fd = fd;
  conn.index = index;
  conn.port = &port;
  conn.nextRead = Clock::now();
  live.push_back(std::move(conn));
}

void TestPrinter::Impl::Flush(Live& conn) {
  while (conn.outPos < conn.out.size()) {
    const ssize_t n =
        ::send(conn.fd, conn.out.data() + conn.outPos, conn.out.size() - conn.outPos, MSG_NOSIGNAL | MSG_DONTWAIT);
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

void TestPrinter::Impl::Prepare(std::vector<pollfd>& fds, int& timeoutMs, Clock::time_point now) {
  polled.clear();
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
    polled.push_back(&conn);
  }
}

void TestPrinter::Impl::Serve(std::span<const pollfd> ready) {
  for (std::size_t i = 0; i < ready.size(); ++i) {
    if (ready[i].revents != 0) Service(*polled[i], ready[i].revents);
  }
  // Slow readers whose delay has passed are polled again next round.
  live.erase(std::remove_if(live.begin(), live.end(), [](const Live& c) { return c.fd < 0; }), live.end());
}

void TestPrinter::Impl::Stopped() {
  for (Live& conn : live) CloseFd(conn.fd);
  live.clear();
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

bool TestPrinter::WaitUntil(const std::function<bool(const std::vector<Connection>&)>& done, int timeoutMs) const {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_until(lock, deadline, [&] { return done(impl_->records); });
}

bool TestPrinter::WaitForClosedConnections(std::size_t count, int timeoutMs) const {
  return WaitUntil(
      [count](const std::vector<Connection>& records) {
        return static_cast<std::size_t>(std::count_if(records.begin(), records.end(),
                                                      [](const Connection& c) { return c.closed; })) >= count;
      },
      timeoutMs);
}

}  // namespace testsupport
