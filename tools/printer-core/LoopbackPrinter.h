#pragma once
// What every loopback printer does with its connections, whatever it makes
// of the bytes: read them (at once, one byte at a time, or never), answer
// when asked (at once or after a delay), hang up at once or after a set
// time whatever the client does (with bytes unread: a reset), close idle
// connections, give up the oldest when out of descriptors, and stop taking
// bytes while it is behind, as a printer with a full buffer does. What the
// bytes mean and what is answered is up to the printer's Behaviour and the
// Session it opens for each connection.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "PrinterServer.h"

namespace printercore {

// How a port reads what its connections send.
enum class Reading {
  Normal,  // as fast as the client sends, fairly shared between clients
  Slowly,  // one byte every slowReadMs
  Never,   // not a byte: the client's sends stall once the buffers are full
};

struct PortBehaviour {
  Port port;
  Reading reading = Reading::Normal;
  int slowReadMs = 20;
  bool closeOnAccept = false;  // hang up as soon as a connection is accepted
  // > 0: hang up this long after accepting a connection, and not before, even
  // when the client has ended its side. With Reading::Never the client's
  // bytes are acknowledged, then thrown away: closing with bytes unread makes
  // the kernel reset the connection, as a printer busy with another client does.
  int closeAfterMs = 0;
};

// Why a connection ended.
enum class Ending {
  ClientClosed,      // the client closed or reset it (see readError) and nothing was left to send
  ClosedAtOnce,      // the port hangs up on every connection
  PrinterStopped,    // still open when the printer stopped
  Idle,              // no byte either way for the idle time
  MadeRoom,          // closed to make room for a new client
  ClosedAfterDelay,  // the port hangs up closeAfterMs after accepting
};

// What became of an answer the session asked for.
enum class Delivery {
  Sent,        // handed to the connection (the client may have closed its side: peerDone)
  Failed,      // the connection broke before the client took it (see error)
  ClientGone,  // the client reset the connection before it was due
  Nothing,     // there was nothing to answer when it fell due
};

class Session;

// One accepted connection, as the service thread keeps it.
class Connection {
public:
  int number = 0;  // 1, 2, ... in the order of acceptance over every port
  std::size_t portIndex = 0;
  std::uint16_t port = 0;
  std::string peer;                // "address:port"
  Clock::time_point lastActive{};  // the last byte in either direction
  std::size_t received = 0;        // bytes read so far
  bool peerDone = false;           // the client closed its side, or the connection broke
  int readError = 0;               // errno of the read that found it broken
  std::size_t unread = 0;          // bytes that had arrived unread when the printer closed it

  bool Open() const { return fd_ >= 0; }
  // Bytes to send now, after whatever is still on its way.
  void Send(std::span<const std::uint8_t> bytes);
  // An answer due at `due`: the session's AnswerBytes(tag) says what it is
  // then, and Answered(tag, ...) what became of it. Answers go out in the
  // order they were asked for.
  void AnswerAt(Clock::time_point due, std::size_t tag);
  // The oldest answer not yet sent in full, if any.
  bool FirstUnsettled(std::size_t& tag) const;
  // What the printer keeps of this connection.
  Session& session() { return *session_; }

private:
  friend class LoopbackPrinter;
  struct Due {
    Clock::time_point when;
    std::size_t tag;
  };
  int fd_ = -1;
  const PortBehaviour* behaviour_ = nullptr;
  std::vector<std::uint8_t> out_;
  std::deque<Due> queued_;          // answers not yet due
  std::vector<std::size_t> inOut_;  // answers still (partly) in out_
  Clock::time_point nextRead_{};
  Clock::time_point closeAt_{};  // with closeAfterMs
  std::unique_ptr<Session> session_;
};

// What a printer keeps of one connection; every call comes from the
// service thread.
class Session {
public:
  virtual ~Session() = default;
  // Bytes that arrived, in order.
  virtual void Received(Connection& connection, std::span<const std::uint8_t> bytes) = 0;
  // The answer `tag` is due: its bytes as they are now (empty: nothing).
  virtual std::vector<std::uint8_t> AnswerBytes(Connection&, std::size_t) { return {}; }
  virtual void Answered(Connection&, std::size_t /*tag*/, Delivery, int /*error*/) {}
  // The session is behind (it holds too much): stop reading for now.
  virtual bool Holding() const { return false; }
  // Once a round, after the answers that fell due have been sent.
  virtual void Settle(Connection&) {}
  // The connection has ended and is closed; the last call.
  virtual void Ended(Connection& connection, Ending ending) = 0;
};

// The printer's side: a session for each new connection, and a look at all
// of them once a round.
class Behaviour {
public:
  virtual ~Behaviour() = default;
  virtual std::unique_ptr<Session> Open(Connection& connection) = 0;
  virtual void Round(std::span<Connection>) {}
};

struct PrinterOptions {
  std::vector<PortBehaviour> ports;
  int idleTimeoutMs = 0;           // a connection without a byte either way this long is closed; 0 never
  std::size_t maxConnections = 0;  // served at once; 0: as many as the open-files limit leaves room for
};

class LoopbackPrinter final : private Handler {
public:
  explicit LoopbackPrinter(Behaviour& behaviour) : behaviour_(behaviour) {}
  ~LoopbackPrinter() override;  // stops first

  // Binds the ports on `address` (network order) and serves them; they are
  // ready when it returns true. On failure nothing stays bound and `error`
  // says why.
  bool Start(std::uint32_t address, PrinterOptions options, std::string& error);
  // Ends every connection (PrinterStopped) and closes the ports.
  void Stop();
  // Makes the service thread go round at once (Behaviour::Round sees it).
  void Wake() { server_.Wake(); }

  int AcceptedCount() const { return accepted_.load(); }
  std::size_t OpenCount() const { return open_.load(); }

private:
  void Accepted(int fd, std::size_t which, const sockaddr_in& peer) override;
  bool MakeRoom() override;
  void Prepare(std::vector<pollfd>& fds, int& timeoutMs, Clock::time_point now) override;
  void Serve(std::span<const pollfd> ready) override;
  void Stopped() override;

  std::size_t Read(Connection& c);
  void Flush(Connection& c);
  void SendDue(Connection& c, Clock::time_point now);
  void End(Connection& c, Ending ending);
  bool Readable(const Connection& c) const;

  Behaviour& behaviour_;
  PrinterOptions options_;
  PrinterServer server_{*this};
  bool serving_ = false;
  std::atomic<int> accepted_{0};
  std::atomic<std::size_t> open_{0};
  // The service thread's own.
  std::vector<Connection> live_;
  std::vector<std::size_t> polled_;  // the connections Prepare handed to poll, by index into live_
  std::vector<std::size_t> readable_;
  std::size_t rotor_ = 0;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace printercore
