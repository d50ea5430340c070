#include "PrinterCommands.h"

#include <algorithm>

#include "TestPage.h"

namespace printerlink {
namespace {

// Keeps every record of an operation and passes each on.
class Keeper final : public ExchangeObserver {
public:
  Keeper(std::vector<ExchangeRecord>& records, ExchangeObserver* next) : records_(records), next_(next) {}
  void OnExchange(const ExchangeRecord& record) override {
    records_.push_back(record);
    if (next_) next_->OnExchange(record);
  }

private:
  std::vector<ExchangeRecord>& records_;
  ExchangeObserver* next_;
};

Step FrameStep(std::size_t (*build)(CommandFrame&)) {
  CommandFrame frame{};
  const std::size_t n = build(frame);
  Step step{ExchangeKind::Frame, kFramePort, std::vector<std::uint8_t>(frame.begin(), frame.begin() + n)};
  step.clearsFrame = true;
  return step;
}

Step TextStep(std::string_view text) {
  return {ExchangeKind::Text, kTextJobPort, std::vector<std::uint8_t>(text.begin(), text.end())};
}

Step SettingStep(const CommandFrame& frame, std::size_t n) {
  return {ExchangeKind::Frame, kFramePort, std::vector<std::uint8_t>(frame.begin(), frame.begin() + n)};
}

}  // namespace

bool Done::ok() const {
  return !records.empty() && std::none_of(records.begin(), records.end(), [](const auto& r) { return r.failed(); });
}

const ExchangeRecord& Done::Deciding() const {
  for (const ExchangeRecord& r : records) {
    if (r.failed()) return r;
  }
  return records.back();
}

Plan TestPlan() { return {{ExchangeKind::Probe, kReplyPort, {}}}; }

Plan StatusPlan() {
  CommandFrame frame{};
  const std::size_t n = BuildStatusQueryFrame(frame);
  return {{ExchangeKind::Probe, kFramePort, {}},
          {ExchangeKind::Status, kReplyPort, std::vector<std::uint8_t>(frame.begin(), frame.begin() + n)}};
}

Plan PrintPlan(std::string_view bytes) { return {TextStep(bytes)}; }
Plan TestPagePlan(std::string_view page) { return {TextStep(std::string(page) + "\n")}; }
Plan DrawerPlan() { return {FrameStep(BuildDrawerFrame)}; }
// The line is printed by the feed, then cut off.
Plan CutPlan() { return {TextStep(kCutTestLine), FrameStep(BuildFeedFrame), FrameStep(BuildCutFrame)}; }
Plan InitPlan() { return {FrameStep(BuildInitFrame)}; }

Plan RawPlan(std::span<const std::uint8_t> bytes) {
  return {{ExchangeKind::Frame, kFramePort, std::vector<std::uint8_t>(bytes.begin(), bytes.end())}};
}

Plan SetAddressPlan(const Ipv4Octets& next) {
  CommandFrame frame{};
  return {SettingStep(frame, BuildSetIpFrame(frame, next))};
}

Plan SetMacPlan(const MacBytes& mac) {
  CommandFrame frame{};
  return {SettingStep(frame, BuildSetMacFrame(frame, mac))};
}

namespace {

constexpr std::uint8_t DLE = 0x10;
constexpr std::uint8_t EOT = 0x04;
constexpr int kSensorAnswerWaitMs = 500;  // DLE EOT is answered at once, even while the printer is busy

Step SensorStep() { return {ExchangeKind::Status, kFramePort, {DLE, EOT, 1}, RealTimeStatusEnd, kSensorAnswerWaitMs}; }

}  // namespace

Plan DrawerCheckPlan() { return {SensorStep(), FrameStep(BuildDrawerFrame), SensorStep()}; }

std::size_t RealTimeStatusEnd(std::span<const std::uint8_t> received) { return received.empty() ? 0 : 1; }

std::optional<bool> DrawerPin3High(std::span<const std::uint8_t> answer) {
  if (answer.size() != 1 || (answer[0] & 0x93) != 0x12) return std::nullopt;
  return (answer[0] & kDrawerPin3Bit) != 0;
}

LinkResult RunStep(const Printer& p, const Step& step, Done& done) {
  Keeper keeper(done.records, p.observer);
  switch (step.kind) {
    case ExchangeKind::Probe: done.last = ProbePrinter(p.sockets, p.address, step.port, p.probeWaitMs, &keeper); break;
    case ExchangeKind::Text: {
      const std::string_view text(reinterpret_cast<const char*>(step.bytes.data()), step.bytes.size());
      done.last = SendTextJob(p.sockets, p.address, text, p.timings, &keeper);
      break;
    }
    case ExchangeKind::Status:
      if (step.answerEnd) {
        done.last = AskPrinter(p.sockets, p.address, step.port, step.bytes, step.answerEnd, step.answerWaitMs,
                               done.answer, p.timings, &keeper);
        break;
      }
      done.reply.fill(0);
      done.last = ExchangeFrame(p.sockets, p.address, step.bytes, true, done.reply, p.timings, &keeper);
      done.received = std::min(done.last.received, done.reply.size());
      break;
    case ExchangeKind::Frame:
    case ExchangeKind::Sweep: {
      ReplyBuffer unused{};
      done.last = ExchangeFrame(p.sockets, p.address, step.bytes, false, unused, p.timings, &keeper);
      break;
    }
  }
  return done.last;
}

Done Run(const Printer& p, const Plan& plan) {
  Done done;
  for (const Step& step : plan) {
    RunStep(p, step, done);
    if (done.records.back().failed()) break;
  }
  return done;
}

StatusRead StatusOf(Done done) {
  StatusRead read;
  // Reached: the probe got through and the query went whole; the printer
  // may still have said nothing.
  read.reached = done.records.size() == 2 && !done.records[0].failed() && done.last.ok();
  read.answered = read.reached && done.ok();
  read.conditions = DecodeStatus(read.reached, done.reply, done.received);
  read.done = std::move(done);
  return read;
}

SweepDone Sweep(SocketLibrary& sockets, const std::array<std::uint8_t, 3>& subnet, int waitMs,
                ExchangeObserver* observer, const LocalTables& tables) {
  SweepDone sweep;
  sweep.addresses = SweepAddresses(subnet);
  std::vector<ExchangeRecord> records;
  Keeper keeper(records, nullptr);
  const std::vector<LinkResult> results = ProbePrinters(sockets, sweep.addresses, kReplyPort, waitMs, &keeper);
  for (const LinkResult& r : results) sweep.answered.push_back(r.ok());
  sweep.record = records.back();
  sweep.hardware = HardwareOf(sweep.record.found, tables);
  for (const HardwareAddress& h : sweep.hardware) {
    sweep.record.foundMac.push_back(h.found() ? MacText(h.mac) : MacSourceName(h.source));
    sweep.record.foundVendor.push_back(h.vendor);
  }
  if (observer) observer->OnExchange(sweep.record);
  return sweep;
}

}  // namespace printerlink
