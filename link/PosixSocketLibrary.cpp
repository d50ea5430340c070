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

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
  std::uint32_t host = 0;
  int octets = 0;
  std::size_t i = 0;
  while (octets < 4) {
    if (octets > 0) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
    unsigned value = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || value > 255) return std::nullopt;
    host = (host << 8) | value;
    ++octets;
  }
  if (i != text.size()) return std::nullopt;
  return htonl(host);
}

namespace {

class PosixSocketLibrary final : public SocketLibrary {
public:
  int Startup(SocketVersion requested, SocketVersion& granted) override {
    granted = requested;  // nothing to start on POSIX; every version behaves alike
    return 0;
  }
  void Cleanup() override {}

  SocketHandle OpenTcp() override {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? kInvalidSocket : fd;
  }

  void Close(SocketHandle socket) override {
    if (socket != kInvalidSocket) ::close(socket);  // never retried: the descriptor is gone either way
  }

  int SetSendTimeout(SocketHandle socket, int milliseconds) override {
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    return ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0 ? 0 : errno;
  }

  int SetNonBlocking(SocketHandle socket, bool on) override {
    const int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0) return errno;
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, wanted) == 0 ? 0 : errno;
  }

  int StartConnect(SocketHandle socket, const Endpoint& to) override {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(to.port);
    sa.sin_addr.s_addr = to.address;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 0;
    // An interrupted connect goes on in the background, like one in progress.
    return errno == EINTR ? EINPROGRESS : errno;
  }

  int WaitConnected(std::span<ConnectWaitSlot> slots, int timeoutMs) override {
    std::vector<pollfd> fds;
    fds.reserve(slots.size());
    for (const ConnectWaitSlot& slot : slots) fds.push_back({slot.socket, POLLOUT, 0});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const int n = ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, left.count())));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -errno;
      for (std::size_t i = 0; i < fds.size(); ++i) {
        // Writable, error or hang-up: the attempt has ended one way or the other.
        if (fds[i].revents != 0) slots[i].done = true;
      }
      return n;
    }
  }

  int PendingError(SocketHandle socket) override {
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
    return error;
  }

  IoResult Send(SocketHandle socket, const std::uint8_t* data, std::size_t length) override {
    for (;;) {
      const ssize_t n = ::send(socket, data, length, MSG_NOSIGNAL);
      if (n >= 0) return {static_cast<std::size_t>(n), 0};
      if (errno != EINTR) return {0, errno};
    }
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
      int queued = 0;
      if (::ioctl(socket, SIOCOUTQ, &queued) != 0) {
        // A socket layer without the send-queue count: what the kernel took
        // is all that can be known.
        unacknowledged = 0;
        return 0;
      }
      unacknowledged = static_cast<std::size_t>(std::max(queued, 0));
      if (queued <= 0) return 0;
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
    for (;;) {
      const ssize_t n = ::recv(socket, data, capacity, MSG_DONTWAIT);
      if (n >= 0) return {static_cast<std::size_t>(n), 0};
      if (errno != EINTR) return {0, errno};
    }
  }

  void Sleep(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

private:
  static std::size_t QueuedBytes(SocketHandle socket) {
    int queued = 0;
    return ::ioctl(socket, SIOCOUTQ, &queued) == 0 && queued > 0 ? static_cast<std::size_t>(queued) : 0;
  }
};

}  // namespace

SocketLibrary& SystemSocketLibrary() {
  static PosixSocketLibrary library;
  return library;
}

SocketLibraryScope::SocketLibraryScope(SocketLibrary& library, SocketVersion required)
    : library_(library) {
  SocketVersion granted;
  if (library_.Startup(required, granted) != 0) return;
  if (granted != required) {
    library_.Cleanup();
    wrongVersion_ = true;
    return;
  }
  started_ = true;
}

SocketLibraryScope::~SocketLibraryScope() {
  if (started_) library_.Cleanup();
}

}  // namespace printerlink
