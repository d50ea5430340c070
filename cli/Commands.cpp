#include "Commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <thread>

#include <nlohmann/json.hpp>

#include "ExchangeLog.h"
#include "PrinterDecoder.h"
#include "TestPage.h"

namespace printercli {
namespace {

using printerlink::ExchangeRecord;
using printerlink::Outcome;
using printerlink::StatusIndicator;
using Json = nlohmann::ordered_json;

// Keeps the records of one command and passes each on to the --log file.
class Collector final : public printerlink::ExchangeObserver {
public:
  explicit Collector(printerlink::ExchangeObserver* log) : log_(log) {}
  void OnExchange(const ExchangeRecord& record) override {
    records.push_back(record);
    if (log_) log_->OnExchange(record);
  }
  std::vector<ExchangeRecord> records;

private:
  printerlink::ExchangeObserver* log_;
};

// The record that decides a command: its first failure, else its last exchange.
const ExchangeRecord& Deciding(const std::vector<ExchangeRecord>& records) {
  for (const ExchangeRecord& r : records) {
    if (r.failed()) return r;
  }
  return records.back();
}

int ExitOf(const std::vector<ExchangeRecord>& records) {
  return records.empty() ? kExitOk : ExitFor(Deciding(records).outcome);
}

Json RecordJson(const ExchangeRecord& record) { return Json::parse(printerlink::RecordToJson(record)); }

// One command as one object: the deciding exchange in the log file's fields,
// then the command, its exit status and, when it took several, every exchange.
Json CommandJson(const char* command, const std::vector<ExchangeRecord>& records, int exit) {
  Json j = records.empty() ? Json::object() : RecordJson(Deciding(records));
  j["command"] = command;
  j["exit"] = exit;
  if (records.size() > 1) {
    Json all = Json::array();
    for (const ExchangeRecord& r : records) all.push_back(RecordJson(r));
    j["exchanges"] = std::move(all);
  }
  return j;
}

void WriteJson(Session& s, const Json& j) {
  s.out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n' << std::flush;
}

std::string Where(const ExchangeRecord& r) { return r.address + ":" + std::to_string(r.port); }

// A failure in words on standard error: "Can't Connect Net! 192.168.1.10:9100: refused ..."
void TellFailure(Session& s, const ExchangeRecord& r) {
  if (s.json) return;
  s.err << Tr(IDS_CANT_CONNECT, s.language) << ' ' << Where(r) << ": " << OutcomeFor(r, s.language) << '\n';
}

// Frames and text jobs: the exit status of their exchanges, and what happened.
int Finish(Session& s, const char* command, const std::vector<ExchangeRecord>& records) {
  const int exit = ExitOf(records);
  if (s.json) {
    WriteJson(s, CommandJson(command, records, exit));
  } else if (exit == kExitOk) {
    for (const ExchangeRecord& r : records) s.out << Where(r) << ": " << OutcomeFor(r, s.language) << '\n';
  } else {
    TellFailure(s, Deciding(records));
  }
  return exit;
}

const char* JsonName(StatusIndicator indicator) {
  switch (indicator) {
    case StatusIndicator::Cover: return "cover_open";
    case StatusIndicator::Busy: return "busy";
    case StatusIndicator::Temperature: return "over_temperature";
    case StatusIndicator::Pause: return "paused";
    case StatusIndicator::Paper: return "paper_end";
  }
  return "";
}

// "On-line, Cover Close, Wait for Task, Temp ok, Print, Paper Ok [00 00 00]" or "Off-line".
std::string LampsLine(const StatusReading& r, Language language) {
  if (!r.online) return Tr(IDS_OFFLINE, language);
  std::string line = Tr(IDS_ONLINE, language);
  for (std::size_t i = 0; i < printerlink::kDecodeOrder.size(); ++i) {
    line += ", ";
    line += ConditionCaption(printerlink::kDecodeOrder[i], r.conditions[i], language);
  }
  return line + " [" + printerlink::HexBytes(std::span(r.reply.data(), r.received)) + "]";
}

Json StatusJson(const StatusReading& r) {
  Json j = CommandJson("status", r.records, r.exit);
  Json states = Json::object();
  states["online"] = r.online;
  for (std::size_t i = 0; i < printerlink::kDecodeOrder.size(); ++i) {
    const auto& c = r.conditions[i];
    states[JsonName(printerlink::kDecodeOrder[i])] = c ? Json(*c) : Json(nullptr);
  }
  j["states"] = std::move(states);
  return j;
}

// The reason a status reading is not fine, for standard error.
void TellStatusFailure(Session& s, const StatusReading& r) {
  if (s.json || r.records.empty()) return;
  const ExchangeRecord& d = Deciding(r.records);
  if (d.failed()) {
    TellFailure(s, d);
  } else if (r.exit == kExitPartial) {
    std::string text = Tr(Text::ShortReply, s.language);
    text.replace(text.find("%1"), 2, std::to_string(r.received));
    s.err << Where(d) << ": " << text << '\n';
  }
}

}  // namespace

int ExitFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok: return kExitOk;
    case Outcome::Refused:
    case Outcome::Timeout:
    case Outcome::Unreachable:
    case Outcome::Library:
    case Outcome::BadAddress: return kExitUnreachable;
    case Outcome::Closed:
    case Outcome::Incomplete:
    case Outcome::NoReply: return kExitPartial;
  }
  return kExitUnreachable;
}

bool StatusReading::SameLamps(const StatusReading& other) const {
  if (online != other.online || conditions != other.conditions) return false;
  // Off-line for another reason is another line: refused is not timed out.
  const auto outcome = [](const StatusReading& r) {
    return r.records.empty() ? Outcome::Ok : Deciding(r.records).outcome;
  };
  return outcome(*this) == outcome(other);
}

StatusReading ReadStatus(Session& s, const std::string& address) {
  // As the status monitor polls: the frame port must take a connection, then
  // ESC v on the reply port is answered with up to three status bytes.
  Collector collector(s.log);
  StatusReading r;
  const printerlink::LinkResult probe =
      printerlink::ProbePrinter(s.sockets, address, printerlink::kFramePort, s.probeWaitMs, &collector);
  if (probe.ok()) {
    printerlink::CommandFrame frame{};
    const std::size_t n = printerlink::BuildStatusQueryFrame(frame);
    const printerlink::LinkResult q = printerlink::ExchangeFrame(s.sockets, address, std::span(frame.data(), n), true,
                                                                 r.reply, s.timings, &collector);
    r.received = std::min(q.received, r.reply.size());
  }
  r.records = std::move(collector.records);
  r.exit = ExitOf(r.records);
  if (r.exit != kExitOk) return r;
  r.online = true;
  bool attention = false;
  bool unknown = false;
  for (std::size_t i = 0; i < printerlink::kDecodeOrder.size(); ++i) {
    r.conditions[i] = printerlink::ConditionSet(printerlink::kDecodeOrder[i], r.reply, r.received);
    attention = attention || r.conditions[i].value_or(false);
    unknown = unknown || !r.conditions[i];
  }
  // A short answer leaves conditions unknown, and unknown is never "fine".
  r.exit = attention ? kExitAttention : unknown ? kExitPartial : kExitOk;
  return r;
}

int RunTest(Session& s) {
  Collector collector(s.log);
  printerlink::ProbePrinter(s.sockets, s.printer, printerlink::kReplyPort, s.probeWaitMs, &collector);
  const int exit = ExitOf(collector.records);
  if (s.json) {
    WriteJson(s, CommandJson("test", collector.records, exit));
  } else if (exit == kExitOk) {
    s.out << Tr(IDS_CONNECT_OK, s.language) << '\n';
  } else {
    TellFailure(s, collector.records.back());
  }
  return exit;
}

int RunStatus(Session& s) {
  const StatusReading r = ReadStatus(s, s.printer);
  if (s.json) {
    WriteJson(s, StatusJson(r));
  } else {
    s.out << LampsLine(r, s.language) << '\n';
    TellStatusFailure(s, r);
  }
  return r.exit;
}

int RunWatch(Session& s, int intervalSeconds) {
  using Clock = std::chrono::steady_clock;
  if (intervalSeconds < 1) intervalSeconds = 1;  // never a poll without a pause
  std::optional<StatusReading> shown;
  int exit = kExitOk;
  while (!s.stopRequested()) {
    const Clock::time_point started = Clock::now();
    StatusReading r = ReadStatus(s, s.printer);
    exit = r.exit;
    if (!shown || !r.SameLamps(*shown)) {
      if (s.json) {
        WriteJson(s, StatusJson(r));
      } else {
        s.out << printerlink::LocalTimeNow("%H:%M:%S") << ' ' << LampsLine(r, s.language) << '\n' << std::flush;
        TellStatusFailure(s, r);
      }
      shown = std::move(r);
    }
    // Until the next poll is due, looking for Ctrl-C every tenth of a second.
    const Clock::time_point due = started + std::chrono::seconds(intervalSeconds);
    while (!s.stopRequested() && Clock::now() < due) {
      std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(100), due - Clock::now()));
    }
  }
  return exit;
}

int RunPrint(Session& s, const std::string& gbkBytes) {
  Collector collector(s.log);
  printerlink::SendTextJob(s.sockets, s.printer, gbkBytes, s.timings, &collector);
  return Finish(s, "print", collector.records);
}

namespace {

int SendFrame(Session& s, const char* command, std::span<const std::uint8_t> bytes) {
  Collector collector(s.log);
  printerlink::ReplyBuffer unused{};
  printerlink::ExchangeFrame(s.sockets, s.printer, bytes, false, unused, s.timings, &collector);
  return Finish(s, command, collector.records);
}

int SendBuilt(Session& s, const char* command, std::size_t (*build)(printerlink::CommandFrame&)) {
  printerlink::CommandFrame frame{};
  const std::size_t n = build(frame);
  return SendFrame(s, command, std::span(frame.data(), n));
}

void TellSending(Session& s, std::span<const std::uint8_t> bytes) {
  if (s.json) return;
  s.out << Tr(Text::Sending, s.language) << ' ' << printerlink::HexBytes(bytes) << " -> " << s.printer << ':'
        << printerlink::kFramePort << '\n';
}

}  // namespace

int RunDrawer(Session& s) { return SendBuilt(s, "drawer", printerlink::BuildDrawerFrame); }

int RunInit(Session& s) { return SendBuilt(s, "init", printerlink::BuildInitFrame); }

int RunCut(Session& s) {
  // The line is printed by the feed, then cut off; each step on its own
  // connection. A step that fails ends the test: the rest would only fail too.
  Collector collector(s.log);
  printerlink::CommandFrame frame{};
  printerlink::ReplyBuffer unused{};
  if (printerlink::SendTextJob(s.sockets, s.printer, printerlink::kCutTestLine, s.timings, &collector).ok()) {
    std::size_t n = printerlink::BuildFeedFrame(frame);
    if (printerlink::ExchangeFrame(s.sockets, s.printer, std::span(frame.data(), n), false, unused, s.timings,
                                   &collector)
            .ok()) {
      n = printerlink::BuildCutFrame(frame);
      printerlink::ExchangeFrame(s.sockets, s.printer, std::span(frame.data(), n), false, unused, s.timings,
                                 &collector);
    }
  }
  return Finish(s, "cut", collector.records);
}

int RunHex(Session& s, const std::vector<std::uint8_t>& bytes) {
  TellSending(s, bytes);
  // The bytes go as typed, however many: the console's ten-byte frame would
  // carry the same bytes up to its size and is no limit here.
  return SendFrame(s, "hex", bytes);
}

// Says which bytes go, sends a setting frame (GS D, GS E) to port 9100 and
// says how it went: the JSON object, or a failure's cause and then the line
// `failed`. A success is left to the caller to tell. Returns the exit status.
int SendSettingFrame(Session& s, const char* command, std::span<const std::uint8_t> frame, const char* failed) {
  TellSending(s, frame);
  Collector collector(s.log);
  printerlink::ReplyBuffer unused{};
  printerlink::ExchangeFrame(s.sockets, s.printer, frame, false, unused, s.timings, &collector);
  const int exit = ExitOf(collector.records);
  if (s.json) {
    WriteJson(s, CommandJson(command, collector.records, exit));
  } else if (exit != kExitOk) {
    TellFailure(s, collector.records.back());
    s.err << failed << '\n';
  }
  return exit;
}

int RunSetIp(Session& s, const printerlink::Ipv4Octets& next) {
  printerlink::CommandFrame frame{};
  const int exit = SendSettingFrame(s, "set-ip", std::span(frame.data(), printerlink::BuildSetIpFrame(frame, next)),
                                    Tr(IDS_SET_IP_FAILED, s.language));
  if (s.json || exit != kExitOk) return exit;
  const std::string dotted = printerlink::DottedQuad(next);
  std::string note = Tr(Text::OldAddressStays, s.language);
  note.replace(note.find("%1"), 2, s.printer);
  note.replace(note.find("%2"), 2, dotted);
  s.out << Tr(IDS_SET_IP_SUCCESS, s.language) << '\n' << note << '\n';
  return exit;
}

int RunSetMac(Session& s, const printerlink::MacBytes& mac) {
  printerlink::CommandFrame frame{};
  const int exit = SendSettingFrame(s, "set-mac", std::span(frame.data(), printerlink::BuildSetMacFrame(frame, mac)),
                                    Tr(Text::SetMacError, s.language));
  if (!s.json && exit == kExitOk) s.out << Tr(Text::SetMacSuccess, s.language) << '\n';
  return exit;
}

int RunSweep(Session& s, const std::array<std::uint8_t, 3>& subnet, bool withStatus) {
  const std::vector<std::string> addresses = printerlink::SweepAddresses(subnet);
  Collector collector(s.log);
  printerlink::ProbePrinters(s.sockets, addresses, printerlink::kReplyPort, s.sweepWaitMs, &collector);
  const ExchangeRecord& sweep = collector.records.back();
  int exit = ExitFor(sweep.outcome);
  if (exit != kExitOk) {
    if (s.json) WriteJson(s, CommandJson("sweep", collector.records, exit));
    TellFailure(s, sweep);
    return exit;
  }

  // The found printers in host order, each with its lamps when asked; the
  // exit status is the worst of theirs.
  Json printers = Json::array();
  for (const std::string& address : sweep.found) {
    if (!withStatus) {
      if (!s.json) s.out << address << '\n';
      continue;
    }
    const StatusReading r = ReadStatus(s, address);
    exit = std::max(exit, r.exit);
    if (s.json) {
      printers.push_back(StatusJson(r));
    } else {
      s.out << address << ' ' << LampsLine(r, s.language) << '\n';
    }
  }
  if (s.json) {
    Json j = CommandJson("sweep", collector.records, exit);
    if (withStatus) j["printers"] = std::move(printers);
    WriteJson(s, j);
  } else if (sweep.found.empty()) {
    s.err << Tr(Text::NoPrinterFound, s.language) << ' ' << sweep.address << '\n';
  }
  return exit;
}

std::string TestPageNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string page;
  printerlink::BuildTestPage(page, local);
  page += "\n";  // the line feed the console's Print adds
  return page;
}

}  // namespace printercli
