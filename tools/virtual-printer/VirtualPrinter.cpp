#include "VirtualPrinter.h"

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
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "SocketLibrary.h"
#include "Transport.h"

namespace vprinter {
namespace {

using Clock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;

constexpr int kMaxPollMs = 250;            // the longest the service thread sleeps between looks
constexpr int kAcceptBackoffMs = 100;      // out of descriptors: leave new connections queued this long
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kHexPerLine = 16;
constexpr std::size_t kHexDumpLimit = 512;  // longer connections show their first bytes in hex only

std::string ErrnoText(int error) { return std::strerror(error); }

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

std::string TimeOfDay(WallClock::time_point when) {
  const std::time_t seconds = WallClock::to_time_t(when);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms));
  return buf;
}

int MsSince(Clock::time_point start) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// What became of one ESC v.
struct StatusAnswer {
  enum class Fate { Due, Sent, Failed, Silent, WrongPort, ClientGone };
  Fate fate = Fate::Due;
  Clock::time_point due{};
  Clock::time_point asked{};
  StatusFlags flags;       // as they were when the answer went out
  bool afterClose = false;  // the client had closed its side before the answer went out
  int error = 0;
};

struct Conn {
  int fd = -1;
  std::uint16_t port = 0;
  int number = 0;
  std::string peer;
  WallClock::time_point openedAt{};
  Clock::time_point opened{};
  std::vector<std::uint8_t> bytes;
  StreamDecoder decoder;
  std::vector<StatusAnswer> answers;  // one per ESC v, in order
  std::deque<std::size_t> queued;     // answers still to send, in order
  std::vector<std::uint8_t> out;
  std::vector<std::size_t> inOut;     // answers whose bytes are still (partly) in `out`
  bool peerDone = false;
  int readError = 0;
};

std::string AnswerText(const StatusAnswer& a, int slowMs) {
  using Fate = StatusAnswer::Fate;
  const StatusReply reply = StatusBytes(a.flags);
  const std::string bytes = HexBytes(reply) + " (" + DescribeFlags(a.flags) + ")";
  const std::string delay = slowMs > 0 ? " after " + std::to_string(slowMs) + " ms" : "";
  switch (a.fate) {
    case Fate::Sent:
      if (a.afterClose) return "answered " + bytes + delay + ", after the client had closed its side";
      return "answered " + bytes + delay;
    case Fate::Failed:
      return "answer " + bytes + delay + " not delivered: " + ErrnoText(a.error);
    case Fate::Silent:
      return "not answered (silent)";
    case Fate::WrongPort:
      return "not answered: only port 4000 answers";
    case Fate::ClientGone:
      return "not answered: the client reset the connection first";
    case Fate::Due:
      return "not answered yet";
  }
  return "";
}

void AppendHexDump(std::ostringstream& block, const std::vector<std::uint8_t>& bytes) {
  const std::size_t shown = std::min(bytes.size(), kHexDumpLimit);
  for (std::size_t i = 0; i < shown; i += kHexPerLine) {
    const std::size_t n = std::min(kHexPerLine, shown - i);
    block << (i == 0 ? "  hex    " : "         ") << HexBytes(std::span(bytes).subspan(i, n)) << '\n';
  }
  if (shown < bytes.size()) block << "         ... " << bytes.size() - shown << " more bytes\n";
}

}  // namespace

struct VirtualPrinter::Impl {
  VirtualPrinterOptions options;
  std::ostream& transcript;
  std::array<std::uint16_t, 2> portNumbers{printerlink::kFramePort, printerlink::kReplyPort};
  std::array<int, 2> listeners{-1, -1};
  int wakeRead = -1;
  int wakeWrite = -1;
  std::atomic<bool> stopping{false};
  std::thread service;
  bool started = false;

  mutable std::mutex mutex;  // the flags, the counters and the transcript stream
  mutable std::condition_variable blockWritten;
  StatusFlags flags;
  int accepted = 0;
  std::size_t blocks = 0;

  Impl(VirtualPrinterOptions o, std::ostream& t) : options(std::move(o)), transcript(t), flags(options.flags) {}

  bool Listen(std::string& error);
  void CloseSockets();
  void Run();
  void Accept(std::size_t which, std::vector<Conn>& live, Clock::time_point& pausedUntil);
  void Read(Conn& conn);
  void SendDue(Conn& conn, Clock::time_point now);
  void Flush(Conn& conn);
  void WriteBlock(const Conn& conn, bool stillOpen);
  void Write(const std::string& text);
  StatusFlags CurrentFlags() const {
    std::lock_guard lock(mutex);
    return flags;
  }
};

bool VirtualPrinter::Impl::Listen(std::string& error) {
  const auto ip = printerlink::ParseDottedQuad(options.address);
  if (!ip) {
    error = "'" + options.address + "' is not an IPv4 address (dotted quad, e.g. 127.0.0.1)";
    return false;
  }
  if (*ip == 0) {
    error = "0.0.0.0 would listen on every address of this machine; give one of its addresses";
    return false;
  }
  for (std::size_t i = 0; i < listeners.size(); ++i) {
    const std::string where = options.address + ":" + std::to_string(portNumbers[i]);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      error = "socket for " + where + ": " + ErrnoText(errno);
      return false;
    }
    listeners[i] = fd;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(portNumbers[i]);
    sa.sin_addr.s_addr = *ip;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
      const int e = errno;
      error = "cannot bind " + where + ": " + ErrnoText(e);
      if (e == EADDRINUSE) error += " (another printer or virtual printer listens there)";
      if (e == EADDRNOTAVAIL) error += " (not an address of this machine)";
      return false;
    }
    // Bound but not listening: the kernel answers every connection with a
    // reset, exactly what a client sees of a printer whose port is closed.
    if (options.refuse) continue;
    if (::listen(fd, SOMAXCONN) != 0) {
      error = "cannot listen on " + where + ": " + ErrnoText(errno);
      return false;
    }
  }
  int pipeFds[2];
  if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = "pipe2: " + ErrnoText(errno);
    return false;
  }
  wakeRead = pipeFds[0];
  wakeWrite = pipeFds[1];
  return true;
}

void VirtualPrinter::Impl::CloseSockets() {
  for (int& fd : listeners) CloseFd(fd);
  CloseFd(wakeRead);
  CloseFd(wakeWrite);
}

void VirtualPrinter::Impl::Write(const std::string& text) {
  {
    std::lock_guard lock(mutex);
    transcript << text;
    transcript.flush();
  }
}

void VirtualPrinter::Impl::WriteBlock(const Conn& conn, bool stillOpen) {
  std::ostringstream block;
  block << TimeOfDay(conn.openedAt) << "  port " << conn.port << "  #" << conn.number << " from " << conn.peer;
  if (conn.bytes.empty()) {
    if (stillOpen) {
      block << "  nothing sent, still open when the printer stopped\n";
    } else {
      block << "  probe: connected and closed without sending anything"
            << (conn.readError != 0 ? " (reset: " + ErrnoText(conn.readError) + ")" : "") << '\n';
    }
  } else {
    block << "  " << conn.bytes.size() << (conn.bytes.size() == 1 ? " byte" : " bytes") << " in "
          << MsSince(conn.opened) << " ms";
    if (stillOpen) block << ", still open when the printer stopped";
    if (conn.readError != 0) block << ", ended by " << ErrnoText(conn.readError);
    block << '\n';
    AppendHexDump(block, conn.bytes);
    // The decoder has seen every byte; finishing it decodes what the end of
    // the connection left incomplete.
    StreamDecoder decoder = conn.decoder;
    std::size_t status = 0;
    for (const DecodedCommand& c : decoder.Finish()) {
      block << "  " << Describe(c);
      if (c.kind == CommandKind::StatusRequest && !c.cutShort && status < conn.answers.size()) {
        block << " -> " << AnswerText(conn.answers[status++], options.silent ? 0 : options.slowMs);
      }
      block << '\n';
    }
  }
  {
    std::lock_guard lock(mutex);
    transcript << block.str();
    transcript.flush();
    ++blocks;
  }
  blockWritten.notify_all();
}

void VirtualPrinter::Impl::Accept(std::size_t which, std::vector<Conn>& live, Clock::time_point& pausedUntil) {
  for (;;) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int fd = ::accept4(listeners[which], reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // The waiting connection stays queued; looking again at once would spin.
        pausedUntil = Clock::now() + std::chrono::milliseconds(kAcceptBackoffMs);
      }
      return;
    }
    Conn conn;
    conn.fd = fd;
    conn.port = portNumbers[which];
    {
      std::lock_guard lock(mutex);
      conn.number = ++accepted;
    }
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    conn.peer = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
    conn.openedAt = WallClock::now();
    conn.opened = Clock::now();
    live.push_back(std::move(conn));
  }
}

void VirtualPrinter::Impl::Read(Conn& conn) {
  static thread_local std::vector<std::uint8_t> buffer(kReadChunk);
  const ssize_t n = ::recv(conn.fd, buffer.data(), buffer.size(), 0);
  if (n == 0) {
    conn.peerDone = true;
    return;
  }
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    conn.readError = errno;
    conn.peerDone = true;
    conn.queued.clear();  // nobody left to answer
    for (StatusAnswer& a : conn.answers) {
      if (a.fate == StatusAnswer::Fate::Due) a.fate = StatusAnswer::Fate::ClientGone;
    }
    return;
  }
  const auto got = std::span(buffer).first(static_cast<std::size_t>(n));
  conn.bytes.insert(conn.bytes.end(), got.begin(), got.end());
  for (const DecodedCommand& c : conn.decoder.Feed(got)) {
    if (c.kind != CommandKind::StatusRequest) continue;
    StatusAnswer a;
    a.asked = Clock::now();
    if (conn.port != printerlink::kReplyPort) {
      a.fate = StatusAnswer::Fate::WrongPort;
    } else if (options.silent) {
      a.fate = StatusAnswer::Fate::Silent;
    } else {
      a.due = a.asked + std::chrono::milliseconds(options.slowMs);
      conn.queued.push_back(conn.answers.size());
    }
    conn.answers.push_back(a);
  }
}

void VirtualPrinter::Impl::Flush(Conn& conn) {
  while (!conn.out.empty()) {
    const ssize_t n = ::send(conn.fd, conn.out.data(), conn.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      conn.out.erase(conn.out.begin(), conn.out.begin() + n);
      if (conn.out.empty()) conn.inOut.clear();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    const int e = n < 0 ? errno : EPIPE;
    conn.out.clear();
    for (std::size_t i : conn.inOut) {
      conn.answers[i].fate = StatusAnswer::Fate::Failed;
      conn.answers[i].error = e;
    }
    conn.inOut.clear();
    return;
  }
}

void VirtualPrinter::Impl::SendDue(Conn& conn, Clock::time_point now) {
  // Answers go out in the order they were asked for; with the same delay for
  // each, the first is also the first due.
  while (!conn.queued.empty() && conn.answers[conn.queued.front()].due <= now) {
    const std::size_t index = conn.queued.front();
    conn.queued.pop_front();
    StatusAnswer& a = conn.answers[index];
    conn.inOut.push_back(index);
    // The printer tells how it is when it answers, not when it was asked.
    a.flags = CurrentFlags();
    a.fate = StatusAnswer::Fate::Sent;
    a.afterClose = conn.peerDone;
    const StatusReply reply = StatusBytes(a.flags);
    conn.out.insert(conn.out.end(), reply.begin(), reply.end());
  }
  Flush(conn);
}

void VirtualPrinter::Impl::Run() {
  std::vector<Conn> live;
  std::vector<pollfd> fds;
  std::vector<int> owners;  // per pollfd: -1 wake pipe, -2 - i listener i, else index into live
  Clock::time_point acceptPausedUntil{};

  while (!stopping.load()) {
    const auto now = Clock::now();
    fds.clear();
    owners.clear();
    fds.push_back({wakeRead, POLLIN, 0});
    owners.push_back(-1);
    if (!options.refuse && now >= acceptPausedUntil) {
      for (std::size_t i = 0; i < listeners.size(); ++i) {
        fds.push_back({listeners[i], POLLIN, 0});
        owners.push_back(-2 - static_cast<int>(i));
      }
    }
    int timeoutMs = kMaxPollMs;
    if (now < acceptPausedUntil) {
      timeoutMs = std::min<int>(timeoutMs, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                                                acceptPausedUntil - now).count()));
    }
    for (std::size_t i = 0; i < live.size(); ++i) {
      Conn& conn = live[i];
      short events = 0;
      if (!conn.peerDone) events |= POLLIN;
      if (!conn.out.empty()) events |= POLLOUT;
      if (!conn.queued.empty()) {
        const auto due = conn.answers[conn.queued.front()].due;
        const auto wait = due <= now ? 0 : std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
        timeoutMs = std::min<int>(timeoutMs, static_cast<int>(wait));
      }
      if (events == 0) continue;
      fds.push_back({conn.fd, events, 0});
      owners.push_back(static_cast<int>(i));
    }

    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "virtual-printer: poll: %s\n", ErrnoText(errno).c_str());
      break;
    }
    if (stopping.load()) break;

    std::vector<std::size_t> acceptable;
    for (std::size_t k = 0; ready > 0 && k < fds.size(); ++k) {
      const short revents = fds[k].revents;
      if (revents == 0) continue;
      if (owners[k] == -1) {
        char drain[64];
        while (::read(wakeRead, drain, sizeof drain) > 0) {
        }
      } else if (owners[k] <= -2) {
        acceptable.push_back(static_cast<std::size_t>(-2 - owners[k]));
      } else {
        Conn& conn = live[static_cast<std::size_t>(owners[k])];
        if ((revents & (POLLIN | POLLERR | POLLHUP)) != 0 && !conn.peerDone) Read(conn);
        if ((revents & POLLOUT) != 0) Flush(conn);
      }
    }

    const auto after = Clock::now();
    for (Conn& conn : live) {
      SendDue(conn, after);
      // A connection ends when the client has closed it and nothing is left
      // to send; a silent printer never ends one of its own accord.
      if (conn.peerDone && conn.queued.empty() && conn.out.empty()) {
        CloseFd(conn.fd);
        WriteBlock(conn, false);
      }
    }
    live.erase(std::remove_if(live.begin(), live.end(), [](const Conn& c) { return c.fd < 0; }), live.end());
    for (std::size_t which : acceptable) Accept(which, live, acceptPausedUntil);
  }

  for (Conn& conn : live) {
    CloseFd(conn.fd);
    WriteBlock(conn, true);
  }
}

VirtualPrinter::VirtualPrinter(VirtualPrinterOptions options, std::ostream& transcript)
    : impl_(std::make_unique<Impl>(std::move(options), transcript)) {}

VirtualPrinter::~VirtualPrinter() { Stop(); }

bool VirtualPrinter::Start(std::string& error) {
  Impl& d = *impl_;
  if (d.started) return true;
  d.options.slowMs = std::max(0, d.options.slowMs);
  if (!d.Listen(error)) {
    d.CloseSockets();
    return false;
  }
  d.stopping.store(false);
  try {
    d.service = std::thread([&d] { d.Run(); });
  } catch (const std::system_error& e) {
    error = std::string("cannot start the service thread: ") + e.what();
    d.CloseSockets();
    return false;
  }
  d.started = true;
  return true;
}

void VirtualPrinter::Stop() {
  Impl& d = *impl_;
  if (!d.started) return;
  d.stopping.store(true);
  const char byte = 1;
  // A full pipe has been woken already.
  [[maybe_unused]] const ssize_t ignored = ::write(d.wakeWrite, &byte, 1);
  if (d.service.joinable()) d.service.join();
  d.CloseSockets();
  d.started = false;
}

StatusFlags VirtualPrinter::Flags() const { return impl_->CurrentFlags(); }

void VirtualPrinter::SetFlags(const StatusFlags& flags, std::string_view why) {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->flags = flags;
  }
  Note(std::string(why) + "; ESC v now answers " + HexBytes(StatusBytes(flags)) + " (" + DescribeFlags(flags) +
       ")");
}

void VirtualPrinter::Note(std::string_view text) {
  impl_->Write(TimeOfDay(WallClock::now()) + "  " + std::string(text) + "\n");
}

std::string VirtualPrinter::StateLine() const {
  const Impl& d = *impl_;
  StatusFlags flags;
  int accepted = 0;
  {
    std::lock_guard lock(d.mutex);
    flags = d.flags;
    accepted = d.accepted;
  }
  std::string mode;
  if (d.options.refuse) {
    mode = "refusing connections";
  } else if (d.options.silent) {
    mode = "silent: ESC v goes unanswered";
  } else if (d.options.slowMs > 0) {
    mode = "answering ESC v after " + std::to_string(d.options.slowMs) + " ms";
  } else {
    mode = "answering ESC v at once";
  }
  return "status " + HexBytes(StatusBytes(flags)) + " (" + DescribeFlags(flags) + "); " + mode + "; " +
         std::to_string(accepted) + (accepted == 1 ? " connection" : " connections") + " so far";
}

bool VirtualPrinter::WaitForConnections(std::size_t count, int timeoutMs) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->blockWritten.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return impl_->blocks >= count; });
}

}  // namespace vprinter
