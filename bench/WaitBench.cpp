// How long the console's window goes without processing events while a
// printer call waits: the longest gap between two ticks of a 10 ms interface
// timer, around one call to a printer that drops connects (the whole 3 s
// connect bound) and one to a printer that takes a status query but never
// answers it (the whole reply schedule).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "MessageBox.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "TestPrinter.h"
#include "Transport.h"

using testsupport::PortMode;

namespace {

constexpr int kTickMs = 10;

// Runs `call` between ticks of a 10 ms timer and returns the longest gap
// between two ticks, in milliseconds.
double LongestTickGapMs(const std::function<void()>& call) {
  QElapsedTimer clock;
  clock.start();
  qint64 last = -1;
  qint64 longest = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (last >= 0) longest = std::max(longest, now - last);
    last = now;
  });
  ticker.start(kTickMs);
  // A few ticks before and after the call, so the gap around it counts too.
  const auto tickFor = [](int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  };
  tickFor(5 * kTickMs);
  call();
  tickFor(5 * kTickMs);
  return static_cast<double>(longest);
}

struct Console {
  explicit Console(const std::string& target) {
    dlg.Create();
    qobject_cast<Ipv4FieldWidget*>(dlg.GetDlgItem(IDC_IP_TARGET))->SetText(QString::fromStdString(target));
  }
  testsupport::LoopbackOnlyLibrary library;
  CPrinterTestDlg dlg{nullptr, library};
};

void Measure(benchmark::State& state, const std::string& name, testsupport::PortBehaviour on9100,
             testsupport::PortBehaviour on4000, bool expectReply) {
  testsupport::TestPrinter printer(testsupport::LoopbackAddressFor(name), on9100, on4000);
  Console console(printer.Address());
  const MessageBoxHook previous = SetMessageBoxHook([](const MessageBoxRecord&) { return IDOK_ANSWER; });
  double gap = 0;
  for (auto _ : state) gap = LongestTickGapMs([&] { console.dlg.SendCommandFrame(2, expectReply); });
  SetMessageBoxHook(previous);
  state.counters["longest_gap_ms"] = gap;
}

// Init against a printer whose port 9100 drops connects: the 3 s connect bound.
void BM_TickGap_ConnectDropped(benchmark::State& state) {
  Measure(state, "bench.gap-dropped", {PortMode::Unreachable}, {}, false);
}
BENCHMARK(BM_TickGap_ConnectDropped)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The monitor's status query to a printer that accepts it but never answers:
// the whole reply schedule, 11 receives 100 ms apart.
void BM_TickGap_QueryUnanswered(benchmark::State& state) {
  Measure(state, "bench.gap-unanswered", {}, {PortMode::NeverRead}, true);
}
BENCHMARK(BM_TickGap_QueryUnanswered)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
