// A loopback stand-in for a network receipt printer, used by tests and
// benchmarks. It listens on the frame port (9100) and the reply port (4000)
// of an address inside 127.0.0.0/8 and records everything it receives.
//
// Each port can be made to misbehave the way real printers and networks do:
// answer, hang up at once, stop reading, read slowly, refuse connections, or
// swallow connection attempts without any answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

enum class PortMode {
  // Accept any number of connections, one after another or overlapping, read
  // each until the peer closes and record the bytes.
  Record,
  // Like Record, but once the first bytes of a connection have arrived, write
  // `answer` once on that connection, then keep reading until the peer closes.
  // The answer is still delivered if the peer half-closes right after its
  // request.
  Answer,
  // Like Answer, but the answer in two parts, as a TCP that sends it in two
  // segments: its first byte at once, the rest `delayMs` later.
  AnswerInParts,
  // Accept and close at once. Recorded as a closed connection with no bytes.
  AcceptClose,
  // Accept, never read and never close until the printer is destroyed. The
  // socket buffers are small, so a client sending a large job fills them and
  // its sends stall.
  NeverRead,
  // Accept and read one byte at a time, `delayMs` apart. Small socket
  // buffers as with NeverRead.
  SlowReader,
  // Accept, never read, and close `delayMs` after accepting: the client's
  // bytes are acknowledged by the kernel, then the connection is reset with
  // them unread.
  Discard,
  // Like Record, but keep every connection open until `delayMs` after
  // accepting it, even once the peer has closed its side.
  HoldOpen,
  // Nothing listens: connects are refused (RST). The port is still bound so a
  // clash with another listener on the same address shows up at once.
  Refuse,
  // The accept backlog is full and nothing is ever accepted, so the kernel
  // drops SYNs: a client's connect neither succeeds nor fails until the
  // client's own time-out.
  Unreachable,
};

struct PortBehaviour {
  PortMode mode = PortMode::Record;
  std::vector<std::uint8_t> answer;  // Answer and AnswerInParts only
  int delayMs = 20;                  // SlowReader, Discard, HoldOpen and AnswerInParts only

  // Allows {PortMode::Refuse}, {PortMode::Answer, bytes} or a bare PortMode
  // without -Wmissing-field-initializers noise.
  PortBehaviour() = default;
  PortBehaviour(PortMode mode_, std::vector<std::uint8_t> answer_ = {}, int delayMs_ = 20)
      : mode(mode_), answer(std::move(answer_)), delayMs(delayMs_) {}
};

struct Connection {
  int sequence = 0;                 // order of acceptance across both ports, from 0
  std::uint16_t port = 0;           // 9100 or 4000
  std::vector<std::uint8_t> bytes;  // everything received so far
  bool closed = false;              // the peer closed (EOF/error) or the printer did (AcceptClose, Discard, HoldOpen)
  bool reset = false;               // closed by an error (typically a RST from the peer) rather than an orderly EOF
};

inline constexpr std::uint16_t kTestPrinterFramePort = 9100;
inline constexpr std::uint16_t kTestPrinterReplyPort = 4000;

// "127.x.y.host": a /24 inside loopback picked from `name` (for instance the
// running test's full name) by a stable hash, with x in 1..254 and y in
// 0..255, never 127.0.x.x. Each test thereby gets its own addresses and can
// use the real ports without colliding with tests running in parallel
// processes. `host` must be in 1..254.
std::string LoopbackAddressFor(std::string_view name, int host = 1);

// A blocking client socket connected to `address` (inside 127.0.0.0/8, or
// the program aborts) on `port`, whose sends give up after
// sendTimeoutSeconds; -1 when the connect fails. The caller closes it.
int ConnectToLoopback(const std::string& address, std::uint16_t port, int sendTimeoutSeconds);

class TestPrinter {
public:
  // Starts listening on address:9100 and address:4000 with the given
  // behaviours; the ports are ready when the constructor returns. Aborts with a
  // message if the address is not inside 127.0.0.0/8 or a port cannot be
  // bound.
  explicit TestPrinter(std::string address, PortBehaviour on9100 = {}, PortBehaviour on4000 = {});
  // Stops the service thread promptly and closes every socket.
  ~TestPrinter();

  TestPrinter(const TestPrinter&) = delete;
  TestPrinter& operator=(const TestPrinter&) = delete;

  const std::string& Address() const;

  // Snapshots, in sequence order. Connections accepted on both ports within
  // the same instant may be numbered in either order.
  std::vector<Connection> Connections() const;
  std::vector<Connection> ConnectionsOn(std::uint16_t port) const;
  std::size_t AcceptedCount() const;

  // Waits, at most timeoutMs, until at least `count` connections are closed.
  // Returns whether that happened.
  bool WaitForClosedConnections(std::size_t count, int timeoutMs) const;

  // Waits, at most timeoutMs, until `done` holds for the recorded connections
  // (it is called with the printer's lock held; keep it short and do not call
  // back into the printer). Returns whether it held.
  bool WaitUntil(const std::function<bool(const std::vector<Connection>&)>& done, int timeoutMs) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testsupport
