// How fast the virtual printer answers a status request while one client
// floods it with noise and hundreds of others hold idle connections. Loopback
// only; the transcript is thrown away.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestPrinter.h"
#include "Transport.h"
#include "VirtualPrinter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kIdleClients = 500;
constexpr std::size_t kFloodBytes = 32 * 1024 * 1024;
constexpr int kAnswerWaitMs = 2000;

// Sends ESC v on a connection and waits for the three status bytes.
bool AskStatus(int fd) {
  const std::uint8_t query[] = {0x1B, 0x76};
  if (::send(fd, query, sizeof query, MSG_NOSIGNAL) != sizeof query) return false;
  std::size_t got = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  while (got < 3) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    std::uint8_t buf[3];
    const ssize_t n = ::recv(fd, buf, 3 - got, 0);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

void BM_StatusAnswerDuringFlood(benchmark::State& state) {
  // The idle clients and the printer's side of them take a thousand descriptors.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 4096) {
    files.rlim_cur = std::min<rlim_t>(4096, files.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  const std::string address = testsupport::LoopbackAddressFor("bench.vprinter");
  // A stream without a buffer: whatever the printer writes goes nowhere.
  std::ostream transcript(nullptr);
  vprinter::VirtualPrinterOptions options;
  options.address = address;
  vprinter::VirtualPrinter printer(options, transcript);
  std::string error;
  if (!printer.Start(error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::vector<int> idle;
  for (int i = 0; i < kIdleClients; ++i) {
    const int fd = testsupport::ConnectToLoopback(address, printerlink::kReplyPort, 1);
    if (fd >= 0) idle.push_back(fd);
  }

  std::atomic<bool> stop{false};
  std::atomic<std::size_t> flooded{0};
  std::thread flood([&] {
    std::mt19937 random(32);
    std::vector<std::uint8_t> noise(64 * 1024);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    while (!stop.load()) {
      const int fd = testsupport::ConnectToLoopback(address, printerlink::kFramePort, 1);
      if (fd < 0) break;
      for (std::size_t sent = 0; sent < kFloodBytes && !stop.load();) {
        const ssize_t n = ::send(fd, noise.data(), noise.size(), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
        flooded += static_cast<std::size_t>(n);
      }
      ::close(fd);
    }
  });
  while (flooded.load() < 1024 * 1024) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  double worstMs = 0;
  int failed = 0;
  const auto started = Clock::now();
  const std::size_t floodedBefore = flooded.load();
  for (auto _ : state) {
    const int fd = testsupport::ConnectToLoopback(address, printerlink::kReplyPort, 1);
    const auto asked = Clock::now();
    const bool ok = fd >= 0 && AskStatus(fd);
    const std::chrono::duration<double> took = Clock::now() - asked;
    if (fd >= 0) ::close(fd);
    if (!ok) ++failed;
    worstMs = std::max(worstMs, took.count() * 1000);
    state.SetIterationTime(took.count());
    // A console polls every two seconds; a few times a second is plenty here.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::chrono::duration<double> elapsed = Clock::now() - started;
  stop = true;
  flood.join();
  for (int fd : idle) ::close(fd);
  state.counters["worst_ms"] = worstMs;
  state.counters["unanswered"] = failed;
  state.counters["idle_clients"] = static_cast<double>(idle.size());
  state.counters["flood_MB_per_s"] = static_cast<double>(flooded.load() - floodedBefore) / 1e6 / elapsed.count();
}
BENCHMARK(BM_StatusAnswerDuringFlood)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace
