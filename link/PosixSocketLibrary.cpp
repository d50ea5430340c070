// The system's socket layer on POSIX sockets.

#include "SocketLibrary.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace printerlink {

namespace {

// A system call's outcome: its result, and the errno it failed with (0 when
// it did not fail).
struct Outcome {
  long value;
  int error;
};

Outcome OutcomeOf(long result) { return {result, result < 0 ? errno : 0}; }

// Calls again while the call is interrupted by a signal before it did anything.
template <typename Call>
Outcome Retrying(Call call) {
  for (;;) {
    const Outcome o = OutcomeOf(static_cast<long>(call()));
    if (o.error != EINTR) return o;
  }
}

class PosixSocketLibrary final : public SocketLibrary {
public:
  int Startup(SocketVersion requested, SocketVersion& granted) override {
    granted = requested;  // nothing to start on POSIX; every version behaves alike
    return 0;
  }
  void Cleanup() override {}

  SocketHandle OpenTcp() override {
    const Outcome fd = OutcomeOf(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return fd.error != 0 ? kInvalidSocket : static_cast<SocketHandle>(fd.value);
  }

  void Close(SocketHandle socket) override {
    if (socket != kInvalidSocket) ::close(socket);  // never retried: the descriptor is gone either way
  }

  int SetSendTimeout(SocketHandle socket, int milliseconds) override {
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    return OutcomeOf(::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv)).error;
  }

  int SetNonBlocking(SocketHandle socket, bool on) override {
    const Outcome flags = Retrying([&] { return ::fcntl(socket, F_GETFL); });
    if (flags.error != 0) return flags.error;
    const long wanted = on ? (flags.value | O_NONBLOCK) : (flags.value & ~O_NONBLOCK);
    return Retrying([&] { return ::fcntl(socket, F_SETFL, static_cast<int>(wanted)); }).error;
  }

  int StartConnect(SocketHandle socket, const Endpoint& to) override {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(to.port);
    sa.sin_addr.s_addr = to.address;
    // Never called again: an interrupted connect goes on in the background,
    // like one in progress.
    const int error = OutcomeOf(::connect(socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa)).error;
    return error == EINTR ? EINPROGRESS : error;
  }

  int WaitConnected(std::span<ConnectWaitSlot> slots, int timeoutMs) override {
    std::vector<pollfd> fds;
    fds.reserve(slots.size());
    for (const ConnectWaitSlot& slot : slots) fds.push_back({slot.socket, POLLOUT, 0});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const Outcome n = Retrying([&] {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      return ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, left.count())));
    });
    if (n.error != 0) return -n.error;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      // Writable, error or hang-up: the attempt has ended one way or the other.
      if (fds[i].revents != 0) slots[i].done = true;
    }
    return static_cast<int>(n.value);
  }

  int PendingError(SocketHandle socket) override {
    int error = 0;
    socklen_t len = sizeof error;
    const Outcome got = OutcomeOf(::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &len));
    return got.error != 0 ? got.error : error;
  }

  IoResult Send(SocketHandle socket, const std::uint8_t* data, std::size_t length) override {
    return IoResultOf(Retrying([&] { return ::send(socket, data, length, MSG_NOSIGNAL); }));
  }

  int WaitAcknowledged(SocketHandle socket, int timeoutMs, std::size_t& unacknowledged) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    // On a LAN the acknowledgement comes within a round trip: look often at
    // first, then less often, so a slow printer does not keep a core busy.
    auto pause = std::chrono::microseconds(50);
    constexpr auto kLongestPause = std::chrono::microseconds(5000);
    for (;;) {
      // A reset or a connection closed both ways ends the wait whatever the
      // queue says: the kernel drops the unsent bytes with the connection.
      pollfd p{socket, 0, 0};
      if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        const int e = PendingError(socket);
        unacknowledged = QueuedBytes(socket);
        return e != 0 ? e : EPIPE;
      }
      // A socket layer without the send-queue count: what the kernel took is
      // all that can be known.
      unacknowledged = QueuedBytes(socket);
      if (unacknowledged == 0) return 0;
      const auto left = deadline - Clock::now();
      if (left <= Clock::duration::zero()) return ETIMEDOUT;
      const auto wait = std::min<Clock::duration>(pause, left);
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      const timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
      ::ppoll(&p, 1, &ts, nullptr);  // wakes early on an error or hang-up
      pause = std::min<std::chrono::microseconds>(pause * 2, kLongestPause);
    }
  }

  IoResult Receive(SocketHandle socket, std::uint8_t* data, std::size_t capacity) override {
    return IoResultOf(Retrying([&] { return ::recv(socket, data, capacity, MSG_DONTWAIT); }));
  }

  int ShutdownSend(SocketHandle socket) override { return OutcomeOf(::shutdown(socket, SHUT_WR)).error; }

  int WaitPeerClosed(SocketHandle socket, int timeoutMs) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    std::uint8_t unasked[256];
    for (;;) {
      const IoResult r = Receive(socket, unasked, sizeof unasked);
      if (r.error == 0 && r.bytes == 0) return 0;  // end of stream
      if (r.error != 0 && r.error != EAGAIN && r.error != EWOULDBLOCK) return r.error;
      // Bytes nobody asked for (a printer's automatic status) are dropped; the
      // deadline holds however much the peer sends.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return ETIMEDOUT;
      if (r.bytes > 0) continue;
      pollfd p{socket, POLLIN | POLLRDHUP, 0};
      const Outcome ready = OutcomeOf(::poll(&p, 1, static_cast<int>(left.count())));
      if (ready.error != 0 && ready.error != EINTR) return ready.error;
    }
  }

  int WaitReadable(SocketHandle socket, int timeoutMs) override {
    pollfd p{socket, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    const Outcome n = Retrying([&] {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      return ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
    });
    return n.error != 0 ? -n.error : static_cast<int>(n.value);
  }

  void Sleep(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

private:
  static IoResult IoResultOf(const Outcome& o) {
    if (o.error != 0) return {0, o.error};
    return {static_cast<std::size_t>(o.value), 0};
  }

  // The bytes sent but not yet acknowledged by the peer; 0 when the socket
  // layer cannot count them.
  static std::size_t QueuedBytes(SocketHandle socket) {
    int queued = 0;
    return OutcomeOf(::ioctl(socket, SIOCOUTQ, &queued)).error == 0 && queued > 0 ? static_cast<std::size_t>(queued)
                                                                                  : 0;
  }
};

}  // namespace

SocketLibrary& SystemSocketLibrary() {
  static PosixSocketLibrary library;
  return library;
}

}  // namespace printerlink
