// printertest metrics against a fleet of 1,000 loopback printers, each on an
// address of its own: the wall time of one run and the program's peak
// resident memory (the target: 3 s and 50 MB). A second fleet has one
// printer in ten silent, to show that a printer that does not answer costs
// its own time-out and not the others'; a third is read where only 64 files
// may be open.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TestPrinter.h"

namespace {

using testsupport::PortBehaviour;
using testsupport::PortMode;
using testsupport::TestPrinter;

constexpr int kFleet = 1000;

// Two listening sockets a printer and the reads' connections: more than the
// usual 1,024 descriptors.
void RaiseOpenFilesLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

struct Fleet {
  std::vector<std::unique_ptr<TestPrinter>> printers;
  std::string file;
};

// `silentEvery`: every so many printers takes the query and never answers (0: none).
Fleet MakeFleet(const std::string& name, int silentEvery) {
  RaiseOpenFilesLimit();
  Fleet fleet;
  fleet.file = "/tmp/printertest-fleet-" + std::to_string(getpid()) + "-" + name;
  std::ofstream list(fleet.file);
  for (int i = 0; i < kFleet; ++i) {
    const std::string address =
        testsupport::LoopbackAddressFor("bench.fleet." + name + std::to_string(i / 250), 1 + i % 250);
    const bool silent = silentEvery > 0 && i % silentEvery == 0;
    fleet.printers.push_back(std::make_unique<TestPrinter>(
        address, PortBehaviour{},
        silent ? PortBehaviour{PortMode::Record} : PortBehaviour{PortMode::Answer, {0, 0, 0}}));
    list << address << " Shop " << i << "\n";
  }
  return fleet;
}

// One run of printertest metrics, with at most `openFiles` descriptors when
// given: its wall time in seconds and peak resident memory in kB, or a
// negative time when it failed.
std::pair<double, long> RunMetrics(const Fleet& fleet, rlim_t openFiles) {
  const std::string output = fleet.file + ".prom";
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit limit{openFiles, openFiles};
    if (openFiles > 0 && setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
    execl(PRINTERTEST_PROGRAM, PRINTERTEST_PROGRAM, "metrics", "--printers", fleet.file.c_str(), "--output",
          output.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::remove(output.c_str());
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1, usage.ru_maxrss};
}

void Measure(benchmark::State& state, const Fleet& fleet, rlim_t openFiles = 0) {
  long peakKb = 0;
  for (auto _ : state) {
    const auto [seconds, rssKb] = RunMetrics(fleet, openFiles);
    if (seconds < 0) state.SkipWithError("printertest metrics failed");
    state.SetIterationTime(seconds);
    peakKb = std::max(peakKb, rssKb);
  }
  state.counters["printers"] = kFleet;
  state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024.0;
  std::remove(fleet.file.c_str());
}

void BM_MetricsOfAThousandPrinters(benchmark::State& state) { Measure(state, MakeFleet("answering", 0)); }
BENCHMARK(BM_MetricsOfAThousandPrinters)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_MetricsOfAThousandPrintersOneInTenSilent(benchmark::State& state) { Measure(state, MakeFleet("silent", 10)); }
BENCHMARK(BM_MetricsOfAThousandPrintersOneInTenSilent)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Where only 64 files may be open, the reads at a time shrink to fit, and
// every printer still reads as it is (a read short of a socket fails the run).
void BM_MetricsOfAThousandPrintersIn64Files(benchmark::State& state) { Measure(state, MakeFleet("few-files", 0), 64); }
BENCHMARK(BM_MetricsOfAThousandPrintersIn64Files)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
