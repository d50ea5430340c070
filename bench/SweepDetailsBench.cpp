// printertest sweep --details of a /24 as a shop's LAN has it: 20 printers
// that answer, and 234 hosts that are silent (no machine there, or one that
// drops the connection attempt), each of which costs the sweep's whole probe
// wait. The wall time of one sweep with every printer's identity (the
// target: 1.5 s).
//
// The /24 is one of loopback's, picked from the benchmark's name;
// PRINTERTEST_BENCH_SUBNET=A.B.C (inside 127.0.0.0/8) puts it elsewhere.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Commands.h"
#include "SocketLibrary.h"
#include "Settings.h"
#include "TestPrinter.h"

namespace {

using testsupport::PortBehaviour;
using testsupport::PortMode;
using testsupport::TestPrinter;

constexpr int kPrinters = 20;
constexpr int kPrinterEvery = 12;  // hosts 12, 24, ... 240 answer
constexpr int kBuilders = 16;      // a silent host takes a moment to set up: many at once

std::array<std::uint8_t, 3> Subnet() {
  const char* chosen = std::getenv("PRINTERTEST_BENCH_SUBNET");
  const std::string first =
      chosen ? std::string(chosen) + ".1" : testsupport::LoopbackAddressFor("bench.sweep-details", 1);
  const auto ip = printerlink::ParseDottedQuad(first);
  if (!ip) return {};
  const std::uint32_t net = ntohl(*ip);
  return {static_cast<std::uint8_t>(net >> 24), static_cast<std::uint8_t>(net >> 16),
          static_cast<std::uint8_t>(net >> 8)};
}

std::string Host(const std::array<std::uint8_t, 3>& subnet, int host) {
  return std::to_string(subnet[0]) + "." + std::to_string(subnet[1]) + "." + std::to_string(subnet[2]) + "." +
         std::to_string(host);
}

// A GS I answer: the header, the text, the NUL.
std::vector<std::uint8_t> Block(const std::string& text) {
  std::vector<std::uint8_t> b{0x5F};
  b.insert(b.end(), text.begin(), text.end());
  b.push_back(0);
  return b;
}

// Every host of the /24: a printer that answers GS I on port 9100 at every
// twelfth, and elsewhere one whose port 4000 takes no connection attempt.
std::vector<std::unique_ptr<TestPrinter>> MakeLan(const std::array<std::uint8_t, 3>& subnet) {
  // Two listeners, their backlog's fillers and a pipe a host: more than the usual 1,024 descriptors.
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);

  std::vector<std::unique_ptr<TestPrinter>> hosts(254);
  std::vector<std::thread> builders;
  for (int b = 0; b < kBuilders; ++b) {
    builders.emplace_back([&, b] {
      for (int host = 1 + b; host <= 254; host += kBuilders) {
        const bool printer = host % kPrinterEvery == 0 && host / kPrinterEvery <= kPrinters;
        hosts[host - 1] =
            printer ? std::make_unique<TestPrinter>(Host(subnet, host),
                                                    PortBehaviour{PortMode::Answer, Block("S" + std::to_string(host))})
                    : std::make_unique<TestPrinter>(Host(subnet, host), PortBehaviour{PortMode::Refuse},
                                                    PortBehaviour{PortMode::Unreachable});
      }
    });
  }
  for (std::thread& t : builders) t.join();
  return hosts;
}

void BM_SweepWithDetailsOfAShopLan(benchmark::State& state) {
  const std::array<std::uint8_t, 3> subnet = Subnet();
  if (subnet[0] != 127) {
    state.SkipWithError("PRINTERTEST_BENCH_SUBNET must be a /24 inside 127.0.0.0/8, written A.B.C");
    return;
  }
  const auto lan = MakeLan(subnet);
  // The details are asked from many threads at once, which the test library's
  // counters are not made for: the system's, as printertest has it, on a /24
  // checked to lie inside loopback.
  printerlink::SocketLibrary& library = printerlink::SystemSocketLibrary();
  double slowest = 0;
  for (auto _ : state) {
    std::ostringstream out, err;
    printercli::Session session{library, Host(subnet, 1), true, printercli::Language::English, nullptr, out, err};
    const auto start = std::chrono::steady_clock::now();
    const int exit = printercli::RunSweep(session, subnet, false, true);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    slowest = std::max(slowest, seconds);

    // Every printer found and each told its serial; every other host silent, none refusing.
    const auto j = nlohmann::json::parse(out.str(), nullptr, false);
    std::size_t told = 0;
    if (j.is_object() && j.contains("printers")) {
      for (const auto& p : j["printers"]) told += p["serial"].is_string() ? 1 : 0;
    }
    const std::string counts =
        std::to_string(kPrinters) + " answering, 0 refusing, " + std::to_string(254 - kPrinters) + " silent";
    const bool lan = j.is_object() && j.value("summary", "").find(counts) != std::string::npos;
    if (exit != printercli::kExitOk || told != kPrinters || !lan) {
      state.SkipWithError(("not the LAN measured (" + counts + ", each with its serial): " + out.str()).c_str());
      break;
    }
  }
  state.counters["printers"] = kPrinters;
  state.counters["silent_hosts"] = 254 - kPrinters;
  state.counters["slowest_s"] = slowest;
}
BENCHMARK(BM_SweepWithDetailsOfAShopLan)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
