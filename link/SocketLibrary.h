#pragma once
// The socket library the transport talks through: start-up and release of
// the library, and the few socket operations a printer exchange needs. The
// system's layer sits on POSIX sockets; tests put their own in its place to
// make the library refuse to start, grant another version, cut sends short,
// or refuse any address outside loopback.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace printerlink {

struct SocketVersion {
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  friend bool operator==(const SocketVersion&, const SocketVersion&) = default;
};

using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;

// An IPv4 TCP endpoint; the address in network byte order.
struct Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};

// Dotted-quad text ("192.168.1.10") to an address in network byte order.
// Anything else (blank, a host name, "1.2.3", an octet above 255) is no address.
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text);
// Four octets as dotted-quad text, first octet first: "192.168.1.10".
std::string DottedQuad(const std::array<std::uint8_t, 4>& octets);

// The outcome of one send or receive: the bytes moved, or the errno-style
// cause. A receive with bytes == 0 and error == 0 means the peer closed.
struct IoResult {
  std::size_t bytes = 0;
  int error = 0;
};

// One socket in a wait for connections to finish; `done` is set when its
// connection attempt has ended, either way.
struct ConnectWaitSlot {
  SocketHandle socket = kInvalidSocket;
  bool done = false;
};

class SocketLibrary {
public:
  virtual ~SocketLibrary() = default;

  // Starts the library for one operation, asking for `requested`. Returns 0 and
  // sets `granted`, or returns an error code; only a start-up that returned 0
  // is released, by exactly one Cleanup().
  virtual int Startup(SocketVersion requested, SocketVersion& granted) = 0;
  virtual void Cleanup() = 0;

  // A new IPv4 TCP socket, or kInvalidSocket.
  virtual SocketHandle OpenTcp() = 0;
  // Closes the socket; a connection attempt in progress is abandoned.
  virtual void Close(SocketHandle socket) = 0;

  // Each returns 0 or an errno-style error.
  virtual int SetSendTimeout(SocketHandle socket, int milliseconds) = 0;
  virtual int SetNonBlocking(SocketHandle socket, bool on) = 0;
  // Starts the connection on a non-blocking socket: 0 when connected at once,
  // EINPROGRESS while it goes on, another error when it failed.
  virtual int StartConnect(SocketHandle socket, const Endpoint& to) = 0;
  // Waits up to `timeoutMs` until at least one slot's connection attempt has
  // ended and marks those; returns how many, 0 on time-out, or -errno.
  virtual int WaitConnected(std::span<ConnectWaitSlot> slots, int timeoutMs) = 0;
  // The socket's pending error (0 when its connection was made).
  virtual int PendingError(SocketHandle socket) = 0;

  // Sends without ever raising a signal: a broken connection is an error here.
  virtual IoResult Send(SocketHandle socket, const std::uint8_t* data, std::size_t length) = 0;
  // Waits up to `timeoutMs` until the peer's TCP has acknowledged every byte
  // sent on the connection (the socket's send queue is empty). Returns 0 when
  // it has, ETIMEDOUT when bytes are still unacknowledged at the end of the
  // wait, or the error that ended the connection (ECONNRESET, EPIPE). Sets
  // `unacknowledged` to the bytes still waiting in the send queue.
  virtual int WaitAcknowledged(SocketHandle socket, int timeoutMs, std::size_t& unacknowledged) = 0;
  // Takes what has arrived without waiting; EAGAIN when nothing has.
  virtual IoResult Receive(SocketHandle socket, std::uint8_t* data, std::size_t capacity) = 0;
  // Ends this side's sending in order: the peer reads the end of the stream
  // after the last byte. Returns 0 or an errno-style error (ENOTCONN once
  // the connection has been reset).
  virtual int ShutdownSend(SocketHandle socket) = 0;
  // Waits up to `timeoutMs` for the peer to end its side, taking and dropping
  // whatever it sends meanwhile. Returns 0 when it closed in order (end of
  // stream), ETIMEDOUT when its side is still open at the end of the wait, or
  // the error that ended the connection (ECONNRESET: the peer closed with
  // bytes unread, or aborted).
  virtual int WaitPeerClosed(SocketHandle socket, int timeoutMs) = 0;
  // Waits up to `timeoutMs` until a receive would not find the socket empty:
  // bytes arrived, or the peer closed or reset the connection. Returns 1 then,
  // 0 on time-out, or -errno.
  virtual int WaitReadable(SocketHandle socket, int timeoutMs) = 0;

  virtual void Sleep(int milliseconds) = 0;
};

// The system's socket layer on POSIX sockets; it grants the version asked for.
SocketLibrary& SystemSocketLibrary();

// Starts the library for one operation and releases it when it goes out of
// scope. A start-up that granted anything other than the version asked for is
// released at once and counts as not started.
class SocketLibraryScope {
public:
  SocketLibraryScope(SocketLibrary& library, SocketVersion required);
  ~SocketLibraryScope();
  SocketLibraryScope(const SocketLibraryScope&) = delete;
  SocketLibraryScope& operator=(const SocketLibraryScope&) = delete;

  bool started() const { return started_; }
  bool wrongVersion() const { return wrongVersion_; }

private:
  SocketLibrary& library_;
  bool started_ = false;
  bool wrongVersion_ = false;
};

// Owns one socket and closes it when it goes out of scope, or earlier by reset().
class SocketHolder {
public:
  explicit SocketHolder(SocketLibrary& library) : library_(&library), socket_(library.OpenTcp()) {}
  ~SocketHolder() { reset(); }
  SocketHolder(const SocketHolder&) = delete;
  SocketHolder& operator=(const SocketHolder&) = delete;
  SocketHolder(SocketHolder&& other) noexcept : library_(other.library_), socket_(other.socket_) {
    other.socket_ = kInvalidSocket;
  }
  // Closes the socket held and takes the other's.
  SocketHolder& operator=(SocketHolder&& other) noexcept {
    if (this != &other) {
      reset();
      library_ = other.library_;
      socket_ = other.socket_;
      other.socket_ = kInvalidSocket;
    }
    return *this;
  }

  SocketHandle get() const { return socket_; }
  bool valid() const { return socket_ != kInvalidSocket; }
  // Closes the socket held, if any; the holder then holds none.
  void reset() {
    if (socket_ != kInvalidSocket) library_->Close(socket_);
    socket_ = kInvalidSocket;
  }

private:
  SocketLibrary* library_;
  SocketHandle socket_;
};

}  // namespace printerlink
