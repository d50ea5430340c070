// The cost of the printer link on loopback: one frame exchange (start-up,
// connect, send, wait for the acknowledgement, shut down the sending side,
// wait for the printer's close, close) against the bare floor of connect,
// send and close, with and without a record of it, and a concurrent probe of
// a whole /24.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "ExchangeLog.h"
#include "LoopbackOnlyLibrary.h"
#include "Sweep.h"
#include "SweepHosts.h"
#include "TestPrinter.h"
#include "Transport.h"

using namespace printerlink;

namespace {

// The /24 that `name`'s loopback addresses lie in.
std::array<std::uint8_t, 3> LoopbackSubnetFor(const std::string& name) {
  const std::uint32_t net = ntohl(ParseDottedQuad(testsupport::LoopbackAddressFor(name, 1)).value());
  return {static_cast<std::uint8_t>(net >> 24), static_cast<std::uint8_t>(net >> 16),
          static_cast<std::uint8_t>(net >> 8)};
}

// The drawer frame to a loopback printer of its own, once per iteration, given
// to `observer` when there is one.
void ExchangeDrawerFrames(benchmark::State& state, const std::string& name, ExchangeObserver* observer) {
  testsupport::TestPrinter printer(testsupport::LoopbackAddressFor(name));
  testsupport::LoopbackOnlyLibrary library;
  CommandFrame frame;
  const std::size_t length = BuildDrawerFrame(frame);
  ReplyBuffer reply{};
  for (auto _ : state) {
    const LinkResult r =
        ExchangeFrame(library, printer.Address(), std::span(frame.data(), length), false, reply, {}, observer);
    if (!r.ok()) state.SkipWithError("exchange failed");
  }
}

void BM_ExchangeDrawerFrame(benchmark::State& state) { ExchangeDrawerFrames(state, "bench.exchange", nullptr); }
BENCHMARK(BM_ExchangeDrawerFrame)->Unit(benchmark::kMicrosecond);

// The floor: a blocking connect, one send, close; no library, no waits.
void BM_BareConnectSendClose(benchmark::State& state) {
  testsupport::TestPrinter printer(testsupport::LoopbackAddressFor("bench.bare"));
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(kFramePort);
  inet_pton(AF_INET, printer.Address().c_str(), &sa.sin_addr);
  const std::uint8_t frame[] = {0x1B, 0x70, 0x00, 0x08, 0x08};
  for (auto _ : state) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
        ::send(fd, frame, sizeof frame, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof frame)) {
      state.SkipWithError("bare exchange failed");
    }
    ::close(fd);
  }
}
BENCHMARK(BM_BareConnectSendClose)->Unit(benchmark::kMicrosecond);

// The same exchange with an observer that keeps each record, and with one
// that also writes the --log line (to /dev/null).
struct Keeper final : ExchangeObserver {
  void OnExchange(const ExchangeRecord& r) override { last = r; }
  ExchangeRecord last;
};

void BM_ExchangeDrawerFrameRecorded(benchmark::State& state) {
  Keeper keeper;
  std::string error;
  auto file = state.range(0) ? JsonLineLog::Open("/dev/null", error) : nullptr;
  ExchangeFanOut observers;
  observers.Add(&keeper);
  observers.Add(file.get());
  ExchangeDrawerFrames(state, "bench.recorded", &observers);
}
BENCHMARK(BM_ExchangeDrawerFrameRecorded)->Arg(0)->Arg(1)->ArgName("json")->Unit(benchmark::kMicrosecond);

void BM_ProbeWholeSubnet(benchmark::State& state) {
  const std::string name = "bench.sweep";
  // Three printers in the /24; every other address refuses at once.
  testsupport::TestPrinter a(testsupport::LoopbackAddressFor(name, 7));
  testsupport::TestPrinter b(testsupport::LoopbackAddressFor(name, 100));
  testsupport::TestPrinter c(testsupport::LoopbackAddressFor(name, 254));
  const std::vector<std::string> addresses = SweepAddresses(LoopbackSubnetFor(name));
  testsupport::LoopbackOnlyLibrary library;
  for (auto _ : state) {
    const auto results = ProbePrinters(library, addresses, kReplyPort, kSweepProbeWaitMs);
    int found = 0;
    for (const LinkResult& r : results) found += r.ok() ? 1 : 0;
    if (found != 3) state.SkipWithError("the sweep did not find the three printers");
  }
}
BENCHMARK(BM_ProbeWholeSubnet)->Unit(benchmark::kMillisecond);

// The console's sweep of a /24 with printers on a handful of hosts: wall time
// and hosts found, listed in host order.
void BM_SweepSubnet(benchmark::State& state) {
  const std::string name = "bench.console-sweep";
  std::vector<std::unique_ptr<testsupport::TestPrinter>> printers;
  for (int host : {2, 9, 77, 130, 251}) {
    printers.push_back(std::make_unique<testsupport::TestPrinter>(testsupport::LoopbackAddressFor(name, host)));
  }
  const std::array<std::uint8_t, 3> subnet = LoopbackSubnetFor(name);
  testsupport::LoopbackOnlyLibrary library;
  int found = 0;
  for (auto _ : state) {
    found = 0;
    ProbeSubnet(library, subnet, [&](int, const std::string&, bool hit, const QString&) { found += hit ? 1 : 0; });
  }
  state.counters["hosts_found"] = found;
}
BENCHMARK(BM_SweepSubnet)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
