#pragma once
// The server under the loopback printer core: it binds the printer's ports on
// one IPv4 address, accepts connections and runs a poll loop on a thread of
// its own until it is stopped. What a connection is told, and when it is
// read, written or closed, is up to the Handler built on it (the
// LoopbackPrinter); the server owns the listeners, the thread and its wake
// pipe.

#include <netinet/in.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace printercore {

using Clock = std::chrono::steady_clock;

// Closes `fd` unless it is closed already, and marks it so.
void CloseFd(int& fd);
// Whole milliseconds from `now` until `when`, rounded up; 0 when it has passed.
int MsUntil(Clock::time_point when, Clock::time_point now);

// How a port takes connections.
enum class Reach {
  Listen,       // accepts them
  Refuse,       // bound, not listening: every connect gets a reset
  Unreachable,  // the accept backlog is full and nothing is accepted: a connect gets no answer at all
};

struct Port {
  std::uint16_t number = 0;
  Reach reach = Reach::Listen;
  int receiveBuffer = 0;  // the accepted sockets' receive buffer in bytes; 0: the system's
};

// The printer's side of the loop; every call comes from the service thread.
class Handler {
public:
  virtual ~Handler() = default;
  // A new connection on ports[which]; the handler owns `fd` from now on.
  virtual void Accepted(int fd, std::size_t which, const sockaddr_in& peer) = 0;
  // Out of descriptors: close a connection to make room for a new one.
  // Returns false when there is none to close.
  virtual bool MakeRoom() { return false; }
  // Adds a pollfd for each connection that waits for something and may
  // shorten the wait.
  virtual void Prepare(std::vector<pollfd>& fds, int& timeoutMs, Clock::time_point now) = 0;
  // What poll said of the pollfds Prepare added, in the same order. Runs
  // every round, also when none of them is ready.
  virtual void Serve(std::span<const pollfd> ready) = 0;
  // The server stops: close every connection.
  virtual void Stopped() = 0;
};

class PrinterServer {
public:
  explicit PrinterServer(Handler& handler) : handler_(handler) {}
  ~PrinterServer();  // stops first

  PrinterServer(const PrinterServer&) = delete;
  PrinterServer& operator=(const PrinterServer&) = delete;

  // Binds the ports on `address` (network order) and starts the service
  // thread; the ports are ready when it returns true. On failure nothing
  // stays bound and `error` says why.
  bool Start(std::uint32_t address, const std::vector<Port>& ports, std::string& error);
  // Stops the thread, after the handler has closed its connections, and
  // closes the listeners. Safe to call more than once.
  void Stop();
  // Makes the loop go round at once, for instance to see a change of state.
  void Wake();

private:
  bool Listen(std::uint32_t address, const std::vector<Port>& ports, std::string& error);
  void CloseSockets();
  void Run();
  void Accept(std::size_t which);

  Handler& handler_;
  struct Listener {
    Port port;
    int fd = -1;
    std::vector<int> fillers;  // our own connections that keep an Unreachable port's backlog full
  };
  std::vector<Listener> listeners_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  Clock::time_point acceptPausedUntil_{};  // service thread only
};

}  // namespace printercore
