// Checks of the loopback printers' core through the tests' printer, driven
// by plain POSIX sockets: how it reads, answers and takes connections.
#include "TestPrinter.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "TestAddress.h"

namespace testsupport {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kDeadlineMs = 5000;

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Owns a client socket.
class Client {
public:
  Client() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  int fd() const { return fd_; }

  // Starts a non-blocking connect; returns 0 or the errno of an immediate failure
  // (EINPROGRESS means pending).
  int StartConnect(const std::string& address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    return ::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : errno;
  }

  // Waits (bounded) for the connect to finish; returns 0, the socket error, or
  // ETIMEDOUT when it is still pending after timeoutMs.
  int FinishConnect(int timeoutMs) {
    pollfd p{fd_, POLLOUT, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len);
    return error;
  }

  int Connect(const std::string& address, std::uint16_t port) {
    const int started = StartConnect(address, port);
    return started == EINPROGRESS ? FinishConnect(kDeadlineMs) : started;
  }

  // Sends everything, waiting at most kDeadlineMs for buffer space.
  bool SendAll(const Bytes& bytes) {
    std::size_t sent = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (Clock::now() >= deadline) return false;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 50);
      } else {
        return false;
      }
    }
    return true;
  }

  // Reads until `count` bytes, EOF, an error or timeoutMs; sets `eof` on EOF.
  Bytes Receive(std::size_t count, int timeoutMs, bool* eof = nullptr) {
    Bytes got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      std::uint8_t buffer[4096];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n == 0 && eof != nullptr) *eof = true;
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  void Close() {
    ::close(fd_);
    fd_ = -1;
  }

private:
  int fd_;
};

TEST(LoopbackAddress, IsStableInsideLoopbackAndDiffersPerName) {
  const std::string a = LoopbackAddressFor("Suite.First");
  EXPECT_EQ(a, LoopbackAddressFor("Suite.First"));
  EXPECT_NE(a, LoopbackAddressFor("Suite.Second"));
  EXPECT_EQ(a.substr(0, 4), "127.");
  EXPECT_NE(a.substr(0, 6), "127.0.");
  EXPECT_EQ(a.substr(a.size() - 2), ".1");

  const std::string b = LoopbackAddressFor("Suite.First", 7);
  EXPECT_EQ(b.substr(0, b.rfind('.')), a.substr(0, a.rfind('.')));
  EXPECT_EQ(b.substr(b.rfind('.')), ".7");
}

TEST(LoopbackPrinterDeathTest, RefusesToServeOutsideLoopback) {
  EXPECT_DEATH(TestPrinter("10.1.2.3"), "outside 127.0.0.0/8");
  EXPECT_DEATH(TestPrinter("not-an-address"), "not an IPv4 address");
}

TEST(LoopbackPrinter, RecordKeepsEachConnectionsBytesInAcceptanceOrder) {
  TestPrinter printer(TestAddress());
  // Large enough to arrive in several reads.
  Bytes big(300 * 1024);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  const std::vector<std::pair<std::uint16_t, Bytes>> sent = {
      {kTestPrinterFramePort, big},
      {kTestPrinterReplyPort, BytesOf("reply-1")},
      {kTestPrinterFramePort, BytesOf("frame-2")},
      {kTestPrinterReplyPort, BytesOf("reply-2")},
  };
  for (std::size_t i = 0; i < sent.size(); ++i) {
    Client client;
    ASSERT_EQ(client.Connect(printer.Address(), sent[i].first), 0);
    ASSERT_TRUE(client.SendAll(sent[i].second));
    client.Close();
    ASSERT_TRUE(printer.WaitForClosedConnections(i + 1, kDeadlineMs));
  }

  const auto all = printer.Connections();
  ASSERT_EQ(all.size(), sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(all[i].sequence, static_cast<int>(i));
    EXPECT_EQ(all[i].port, sent[i].first);
    EXPECT_TRUE(all[i].bytes == sent[i].second);
    EXPECT_TRUE(all[i].closed);
    EXPECT_FALSE(all[i].reset);
  }
  const auto replies = printer.ConnectionsOn(kTestPrinterReplyPort);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].sequence, 1);
  EXPECT_EQ(replies[1].sequence, 3);
  EXPECT_EQ(printer.AcceptedCount(), 4u);
}

TEST(LoopbackPrinter, RecordNotesAResetPeer) {
  TestPrinter printer(TestAddress());
  Client client;
  ASSERT_EQ(client.Connect(printer.Address(), kTestPrinterFramePort), 0);
  ASSERT_TRUE(client.SendAll(BytesOf("partial")));
  ASSERT_TRUE(printer.WaitUntil(
      [](const std::vector<Connection>& c) { return c.size() == 1 && c[0].bytes.size() == 7; }, kDeadlineMs));
  const linger abort{1, 0};  // close with RST
  ::setsockopt(client.fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  client.Close();
  ASSERT_TRUE(printer.WaitForClosedConnections(1, kDeadlineMs));
  const auto c = printer.Connections().at(0);
  EXPECT_TRUE(c.reset);
  EXPECT_EQ(c.bytes, BytesOf("partial"));
}

TEST(LoopbackPrinter, AnswerRepliesOnceAfterTheFirstBytes) {
  const Bytes answer = {0x14, 0x00, 0x00, 0x0f};
  TestPrinter printer(TestAddress(), {}, {PortMode::Answer, answer});

  Client client;
  ASSERT_EQ(client.Connect(printer.Address(), kTestPrinterReplyPort), 0);
  EXPECT_TRUE(client.Receive(1, 100).empty()) << "answered before being asked";
  ASSERT_TRUE(client.SendAll({0x1b, 0x76}));
  EXPECT_EQ(client.Receive(answer.size(), kDeadlineMs), answer);
  ASSERT_TRUE(client.SendAll({0x1b, 0x76}));
  ::shutdown(client.fd(), SHUT_WR);
  bool eof = false;
  EXPECT_TRUE(client.Receive(1, kDeadlineMs, &eof).empty()) << "answered twice";
  EXPECT_TRUE(eof);
  ASSERT_TRUE(printer.WaitForClosedConnections(1, kDeadlineMs));
  EXPECT_EQ(printer.Connections().at(0).bytes, (Bytes{0x1b, 0x76, 0x1b, 0x76}));

  // A client that half-closes straight after its request still gets the answer.
  Client hasty;
  ASSERT_EQ(hasty.Connect(printer.Address(), kTestPrinterReplyPort), 0);
  ASSERT_TRUE(hasty.SendAll({0x1b, 0x76}));
  ::shutdown(hasty.fd(), SHUT_WR);
  EXPECT_EQ(hasty.Receive(answer.size() + 1, kDeadlineMs), answer);
}

// How each port mode meets a connect on 9100, while 4000 goes on serving.
TEST(LoopbackPrinter, EachWayOfTakingConnectionsMeetsAConnectAsItSays) {
  struct Case {
    const char* fault;
    PortMode mode;
    int connect;  // what the connect ends in; ETIMEDOUT: still pending
    bool hangsUp;
  };
  const Case cases[] = {
      {"a refusing port accepted", PortMode::Refuse, ECONNREFUSED, false},
      {"an unreachable port answered the connect", PortMode::Unreachable, ETIMEDOUT, false},
      {"a port that hangs up kept the connection", PortMode::AcceptClose, 0, true},
  };
  int host = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(TestAddress(++host), {c.mode});
    Client client;
    const int started = client.StartConnect(printer.Address(), kTestPrinterFramePort);
    EXPECT_EQ(started == EINPROGRESS ? client.FinishConnect(500) : started, c.connect);
    if (c.hangsUp) {
      bool eof = false;
      EXPECT_TRUE(client.Receive(1, kDeadlineMs, &eof).empty());
      EXPECT_TRUE(eof);
    }
    Client served;
    EXPECT_EQ(served.Connect(printer.Address(), kTestPrinterReplyPort), 0);
    served.Close();
    ASSERT_TRUE(printer.WaitForClosedConnections(c.hangsUp ? 2 : 1, kDeadlineMs));
    EXPECT_EQ(printer.ConnectionsOn(kTestPrinterFramePort).size(), c.hangsUp ? 1u : 0u);
    for (const Connection& recorded : printer.Connections()) EXPECT_TRUE(recorded.bytes.empty());
  }
}

TEST(LoopbackPrinter, NeverReadStallsALargeSend) {
  TestPrinter printer(TestAddress(), {PortMode::NeverRead});
  Client client;
  ASSERT_EQ(client.Connect(printer.Address(), kTestPrinterFramePort), 0);
  const Bytes chunk(64 * 1024, 0x41);
  std::size_t sent = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kDeadlineMs);
  for (;;) {
    const ssize_t n = ::send(client.fd(), chunk.data(), chunk.size(), MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else {
      ASSERT_EQ(errno, EAGAIN);
      pollfd p{client.fd(), POLLOUT, 0};
      if (::poll(&p, 1, 300) == 0) break;  // no room appears: stalled
    }
    ASSERT_LT(Clock::now(), deadline) << "still sending after " << sent << " bytes";
  }
  EXPECT_LT(sent, 16u * 1024 * 1024);
  ASSERT_TRUE(printer.WaitUntil([](const auto& c) { return c.size() == 1; }, kDeadlineMs));
  EXPECT_TRUE(printer.Connections()[0].bytes.empty());
  EXPECT_FALSE(printer.Connections()[0].closed);
}

TEST(LoopbackPrinter, SlowReaderTakesItsTimeButGetsEverything) {
  PortBehaviour slow{PortMode::SlowReader, {}, 30};
  TestPrinter printer(TestAddress(), slow);
  Client client;
  ASSERT_EQ(client.Connect(printer.Address(), kTestPrinterFramePort), 0);
  const Bytes text = BytesOf("0123456789");
  const auto start = Clock::now();
  ASSERT_TRUE(client.SendAll(text));
  client.Close();
  ASSERT_TRUE(printer.WaitForClosedConnections(1, kDeadlineMs));
  // Nine pauses between ten one-byte reads; a lower bound only.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(9 * 30));
  EXPECT_EQ(printer.Connections().at(0).bytes, text);
}

}  // namespace
}  // namespace testsupport
