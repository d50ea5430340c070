#include "PrinterServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace printercore {
namespace {

constexpr int kMaxPollMs = 250;        // the longest the service thread sleeps between looks
constexpr int kAcceptBackoffMs = 100;  // out of descriptors: leave new connections queued this long
constexpr int kFillerCompletionMs = 200;
constexpr int kMaxFillers = 64;

std::string ErrnoText(int error) { return std::strerror(error); }

// Fills the accept queue of a listener with backlog 0 with connections of
// our own until the kernel stops completing new ones. The last, never
// completed attempt is kept as well; from then on the listener drops every
// SYN. Returns false, with the connections made so far in `fillers`, when it
// cannot.
bool FillBacklog(const sockaddr_in& target, const std::string& where, std::vector<int>& fillers, std::string& error) {
  for (int i = 0; i < kMaxFillers; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      error = "filler socket for " + where + ": " + ErrnoText(errno);
      return false;
    }
    fillers.push_back(fd);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) continue;  // completed at once
    if (errno != EINPROGRESS) {
      error = "filler connect to " + where + ": " + ErrnoText(errno);
      return false;
    }
    pollfd p{fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, kFillerCompletionMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
      error = "poll on filler for " + where + ": " + ErrnoText(errno);
      return false;
    }
    if (ready == 0) return true;  // pending: the backlog is full
    int failure = 0;
    socklen_t len = sizeof failure;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &len);
    if (failure != 0) {
      error = "filler connect to " + where + " failed: " + ErrnoText(failure);
      return false;
    }
  }
  error = "could not fill the accept backlog of " + where + " with " + std::to_string(kMaxFillers) + " connections";
  return false;
}

}  // namespace

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

int MsUntil(Clock::time_point when, Clock::time_point now) {
  if (when <= now) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(when - now).count());
}

PrinterServer::~PrinterServer() { Stop(); }

bool PrinterServer::Listen(std::uint32_t address, const std::vector<Port>& ports, std::string& error) {
  char text[INET_ADDRSTRLEN] = "?";
  in_addr addr{};
  addr.s_addr = address;
  ::inet_ntop(AF_INET, &addr, text, sizeof text);
  for (const Port& port : ports) {
    Listener& l = listeners_.emplace_back();
    l.port = port;
    const std::string where = std::string(text) + ":" + std::to_string(port.number);
    l.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (l.fd < 0) {
      error = "socket for " + where + ": " + ErrnoText(errno);
      return false;
    }
    const int one = 1;
    ::setsockopt(l.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (port.receiveBuffer > 0) {
      // Set before listen() so that accepted sockets inherit it.
      ::setsockopt(l.fd, SOL_SOCKET, SO_RCVBUF, &port.receiveBuffer, sizeof port.receiveBuffer);
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port.number);
    sa.sin_addr = addr;
    if (::bind(l.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
      const int e = errno;
      error = "cannot bind " + where + ": " + ErrnoText(e);
      if (e == EADDRINUSE) error += " (another printer or virtual printer listens there)";
      if (e == EADDRNOTAVAIL) error += " (not an address of this machine)";
      return false;
    }
    // Bound but not listening: the kernel answers every connection with a
    // reset, exactly what a client sees of a printer whose port is closed.
    if (port.reach == Reach::Refuse) continue;
    if (::listen(l.fd, port.reach == Reach::Unreachable ? 0 : SOMAXCONN) != 0) {
      error = "cannot listen on " + where + ": " + ErrnoText(errno);
      return false;
    }
    if (port.reach == Reach::Unreachable && !FillBacklog(sa, where, l.fillers, error)) return false;
  }
  int pipeFds[2];
  if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = "pipe2: " + ErrnoText(errno);
    return false;
  }
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
  return true;
}

void PrinterServer::CloseSockets() {
  for (Listener& l : listeners_) {
    for (int& fd : l.fillers) CloseFd(fd);
    CloseFd(l.fd);
  }
  listeners_.clear();
  CloseFd(wakeRead_);
  CloseFd(wakeWrite_);
}

bool PrinterServer::Start(std::uint32_t address, const std::vector<Port>& ports, std::string& error) {
  if (thread_.joinable()) return true;
  if (!Listen(address, ports, error)) {
    CloseSockets();
    return false;
  }
  stopping_.store(false);
  acceptPausedUntil_ = {};
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    error = std::string("cannot start the service thread: ") + e.what();
    CloseSockets();
    return false;
  }
  return true;
}

void PrinterServer::Stop() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  Wake();
  thread_.join();
  CloseSockets();
}

void PrinterServer::Wake() {
  if (wakeWrite_ < 0) return;
  const char byte = 1;
  // A full pipe has been woken already.
  [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
}

void PrinterServer::Accept(std::size_t which) {
  bool madeRoom = false;
  for (;;) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int fd =
        ::accept4(listeners_[which].fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      handler_.Accepted(fd, which, peer);
      continue;
    }
    const int e = errno;
    if (e == EINTR || e == ECONNABORTED || e == EPROTO) continue;
    if ((e == EMFILE || e == ENFILE) && !madeRoom) {
      // Out of descriptors: the printer may give up a connection for the new
      // one, once per round.
      madeRoom = true;
      if (handler_.MakeRoom()) continue;
    }
    if (e == EMFILE || e == ENFILE || e == ENOBUFS || e == ENOMEM) {
      // The waiting connection stays queued; looking again at once would spin.
      acceptPausedUntil_ = Clock::now() + std::chrono::milliseconds(kAcceptBackoffMs);
    }
    return;  // EAGAIN: all taken
  }
}

void PrinterServer::Run() {
  std::vector<pollfd> fds;
  std::vector<std::size_t> polled;  // the listeners in fds, after the wake pipe
  while (!stopping_.load()) {
    const auto now = Clock::now();
    fds.clear();
    polled.clear();
    fds.push_back({wakeRead_, POLLIN, 0});
    int timeoutMs = kMaxPollMs;
    if (now < acceptPausedUntil_) {
      timeoutMs = std::min(timeoutMs, MsUntil(acceptPausedUntil_, now));
    } else {
      for (std::size_t i = 0; i < listeners_.size(); ++i) {
        if (listeners_[i].port.reach != Reach::Listen) continue;
        fds.push_back({listeners_[i].fd, POLLIN, 0});
        polled.push_back(i);
      }
    }
    const std::size_t first = fds.size();
    handler_.Prepare(fds, timeoutMs, now);

    const int ready = ::poll(fds.data(), fds.size(), std::max(timeoutMs, 0));
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "printer: poll: %s\n", ErrnoText(errno).c_str());
      break;
    }
    if (stopping_.load()) break;
    if (ready < 0) continue;

    if (fds[0].revents != 0) {
      char drain[64];
      while (::read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    // New connections join only after the handler has served its own, so
    // what it keeps of this round's pollfds stays valid.
    handler_.Serve(std::span<const pollfd>(fds).subspan(first));
    for (std::size_t k = 0; k < polled.size(); ++k) {
      if (fds[1 + k].revents != 0) Accept(polled[k]);
    }
  }
  handler_.Stopped();
}

}  // namespace printercore
