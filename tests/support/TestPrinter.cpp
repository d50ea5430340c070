#include "TestPrinter.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <span>

#include "LoopbackPrinter.h"

namespace testsupport {
namespace {

using printercore::Clock;

constexpr int kSmallReceiveBuffer = 4096;

[[noreturn]] void Fatal(const std::string& message) {
  std::fprintf(stderr, "TestPrinter: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

std::uint32_t LoopbackAddress(const std::string& address) {
  in_addr ip{};
  if (::inet_pton(AF_INET, address.c_str(), &ip) != 1) Fatal("'" + address + "' is not an IPv4 address");
  if ((ntohl(ip.s_addr) >> 24) != 127) {
    Fatal("'" + address + "' is outside 127.0.0.0/8; the test printer only serves loopback");
  }
  return ip.s_addr;
}

printercore::PortBehaviour CorePort(std::uint16_t number, const PortBehaviour& behaviour) {
  printercore::PortBehaviour port;
  port.port.number = number;
  port.slowReadMs = behaviour.delayMs;
  switch (behaviour.mode) {
    case PortMode::Record:
    case PortMode::Answer:
    case PortMode::AnswerInParts: break;
    case PortMode::AcceptClose: port.closeOnAccept = true; break;
    case PortMode::NeverRead: port.reading = printercore::Reading::Never; break;
    case PortMode::SlowReader: port.reading = printercore::Reading::Slowly; break;
    case PortMode::Discard:
      port.reading = printercore::Reading::Never;
      port.closeAfterMs = behaviour.delayMs;
      break;
    case PortMode::HoldOpen: port.closeAfterMs = behaviour.delayMs; break;
    case PortMode::Refuse: port.port.reach = printercore::Reach::Refuse; break;
    case PortMode::Unreachable: port.port.reach = printercore::Reach::Unreachable; break;
  }
  // Small buffers, so that a client sending a large job soon stalls.
  if (behaviour.mode == PortMode::NeverRead || behaviour.mode == PortMode::SlowReader) {
    port.port.receiveBuffer = kSmallReceiveBuffer;
  }
  return port;
}

}  // namespace

// Records what each connection brings and, on a port that answers, answers
// its first bytes once.
struct TestPrinter::Impl final : printercore::Behaviour {
  std::string address;
  std::array<PortBehaviour, 2> ports;
  printercore::LoopbackPrinter printer{*this};

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Connection> records;  // index == sequence

  struct Recorder final : printercore::Session {
    Impl& printer;
    std::size_t index;
    bool answered = false;
    Recorder(Impl& p, std::size_t i) : printer(p), index(i) {}

    void Received(printercore::Connection& c, std::span<const std::uint8_t> bytes) override {
      printer.Update(index, [&](Connection& r) { r.bytes.insert(r.bytes.end(), bytes.begin(), bytes.end()); });
      const PortBehaviour& behaviour = printer.ports[c.portIndex];
      if (answered) return;
      if (behaviour.mode == PortMode::Answer) c.Send(behaviour.answer);
      if (behaviour.mode == PortMode::AnswerInParts) {
        const std::span<const std::uint8_t> answer(behaviour.answer);
        c.Send(answer.first(std::min<std::size_t>(1, answer.size())));
        c.AnswerAt(Clock::now() + std::chrono::milliseconds(behaviour.delayMs), 0);
      }
      answered = true;
    }
    // The rest of an answer given in parts.
    std::vector<std::uint8_t> AnswerBytes(printercore::Connection& c, std::size_t) override {
      const std::vector<std::uint8_t>& answer = printer.ports[c.portIndex].answer;
      return answer.size() > 1 ? std::vector<std::uint8_t>(answer.begin() + 1, answer.end())
                               : std::vector<std::uint8_t>{};
    }
    void Ended(printercore::Connection& c, printercore::Ending ending) override {
      // A connection the port hung up on was closed when it was recorded.
      if (ending == printercore::Ending::ClosedAtOnce) return;
      printer.Update(index, [&](Connection& r) {
        r.closed = true;
        r.reset = c.readError != 0;
      });
    }
  };

  std::unique_ptr<printercore::Session> Open(printercore::Connection& c) override {
    std::size_t index;
    {
      std::lock_guard lock(mutex);
      index = records.size();
      Connection r;
      r.sequence = c.number - 1;
      r.port = c.port;
      r.closed = !c.Open();
      records.push_back(std::move(r));
    }
    changed.notify_all();
    return std::make_unique<Recorder>(*this, index);
  }

  template <typename Change>
  void Update(std::size_t index, Change change) {
    {
      std::lock_guard lock(mutex);
      change(records[index]);
    }
    changed.notify_all();
  }
};

TestPrinter::TestPrinter(std::string address, PortBehaviour on9100, PortBehaviour on4000)
    : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.address = std::move(address);
  const std::uint32_t ip = LoopbackAddress(d.address);  // checked before anything is bound
  d.ports = {std::move(on9100), std::move(on4000)};
  printercore::PrinterOptions options;
  options.ports = {CorePort(kTestPrinterFramePort, d.ports[0]), CorePort(kTestPrinterReplyPort, d.ports[1])};
  std::string error;
  if (!d.printer.Start(ip, std::move(options), error)) Fatal(error);
}

TestPrinter::~TestPrinter() { impl_->printer.Stop(); }

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

int ConnectToLoopback(const std::string& address, std::uint16_t port, int sendTimeoutSeconds) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = LoopbackAddress(address);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const timeval bound{sendTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
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
