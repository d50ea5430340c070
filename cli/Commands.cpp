#include "Commands.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <ostream>
#include <thread>

#include <nlohmann/json.hpp>

#include "CommandOutput.h"
#include "ExchangeLog.h"
#include "OutcomeWords.h"
#include "PrinterDecoder.h"
#include "TestPage.h"

namespace printercli {

using printerlink::ConditionRow;
using printerlink::Done;
using printerlink::ExchangeRecord;
using printerlink::Outcome;

int ExitOf(const Done& done) { return done.records.empty() ? kExitOk : ExitFor(done.Deciding().outcome); }

Json RecordJson(const ExchangeRecord& record) { return Json::parse(printerlink::RecordToJson(record)); }

Json CommandJson(const char* command, const Done& done, int exit) {
  Json j = Json::object();
  if (!done.records.empty()) {
    j = RecordJson(done.Deciding());
    j["outcome_text"] = printerlink::OutcomeWords(done.Deciding(), Language::English);
  }
  j["command"] = command;
  j["exit"] = exit;
  if (done.records.size() > 1) {
    Json all = Json::array();
    for (const ExchangeRecord& r : done.records) all.push_back(RecordJson(r));
    j["exchanges"] = std::move(all);
  }
  return j;
}

void WriteJson(Session& s, const Json& j) {
  s.out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n' << std::flush;
}

namespace {

std::string Where(const ExchangeRecord& r) { return r.address + ":" + std::to_string(r.port); }

}  // namespace

void TellFailure(Session& s, const ExchangeRecord& r) {
  if (s.json) return;
  s.err << Tr(IDS_CANT_CONNECT, s.language) << ' ' << Where(r) << ": " << printerlink::OutcomeWords(r, s.language)
        << '\n';
}

namespace {

// Frames and text jobs: the exit status of their exchanges, and what happened.
int Finish(Session& s, const char* command, const Done& done) {
  const int exit = ExitOf(done);
  if (s.json) {
    WriteJson(s, CommandJson(command, done, exit));
  } else if (exit == kExitOk) {
    for (const ExchangeRecord& r : done.records) {
      s.out << Where(r) << ": " << printerlink::OutcomeWords(r, s.language) << '\n';
    }
  } else {
    TellFailure(s, done.Deciding());
  }
  return exit;
}

// "On-line, Cover Close, Wait for Task, Temp ok, Print, Paper Ok [00 00 00]" or "Off-line".
std::string LampsLine(const StatusReading& r, Language language) {
  if (!r.read.answered) return Tr(IDS_OFFLINE, language);
  std::string line = Tr(IDS_ONLINE, language);
  for (const ConditionRow& row : printerlink::kConditions) {
    if (!row.byte) continue;
    line += ", ";
    line += Caption(row, r.read, language);
  }
  const printerlink::Done& d = r.read.done;
  return line + " [" + printerlink::HexBytes(std::span(d.reply.data(), d.received)) + "]";
}

Json StatusJson(const StatusReading& r) {
  Json j = CommandJson("status", r.read.done, r.exit);
  Json states = Json::object();
  for (const ConditionRow& row : printerlink::kConditions) {
    const std::optional<bool> value = NamedValue(row, r.read);
    states[row.name] = value ? Json(*value) : Json(nullptr);
  }
  j["states"] = std::move(states);
  return j;
}

// The reason a status reading is not fine, for standard error.
void TellStatusFailure(Session& s, const StatusReading& r) {
  const Done& d = r.read.done;
  if (s.json || d.records.empty()) return;
  const ExchangeRecord& deciding = d.Deciding();
  if (deciding.failed()) {
    TellFailure(s, deciding);
  } else if (r.exit == kExitPartial) {
    s.err << Where(deciding) << ": " << res::FillIn(Tr(Text::ShortReply, s.language), {std::to_string(d.received)})
          << '\n';
  }
}

void TellSending(Session& s, std::span<const std::uint8_t> bytes) {
  if (s.json) return;
  s.out << Tr(Text::Sending, s.language) << ' ' << printerlink::HexBytes(bytes) << " -> " << s.printer << ':'
        << printerlink::kFramePort << '\n';
}

}  // namespace

Done SendSettingFrame(Session& s, const printerlink::Plan& plan, const char* failed) {
  TellSending(s, plan.front().bytes);
  Done done = printerlink::Run(s.At(s.printer), plan);
  if (!s.json && ExitOf(done) != kExitOk) {
    TellFailure(s, done.Deciding());
    s.err << failed << '\n';
  }
  return done;
}

int SendSetting(Session& s, const char* command, const printerlink::Plan& plan, const char* failed) {
  const Done done = SendSettingFrame(s, plan, failed);
  const int exit = ExitOf(done);
  if (s.json) WriteJson(s, CommandJson(command, done, exit));
  return exit;
}

std::optional<bool> NamedValue(const ConditionRow& row, const printerlink::StatusRead& read) {
  // The on-line row is the answer itself: a printer that took the query but
  // said nothing is not on-line.
  const std::optional<bool> attention = !row.byte       ? std::optional<bool>(!read.answered)
                                        : read.answered ? read.conditions[printerlink::IndexOf(row.condition)]
                                                        : std::nullopt;
  if (!attention) return std::nullopt;
  return row.nameMeansFine ? !*attention : *attention;
}

const char* Caption(const ConditionRow& row, const printerlink::StatusRead& read, Language language) {
  const std::optional<bool> value = NamedValue(row, read);
  if (!value) return Tr(row.unknownCaptionId, language);
  return Tr(*value != row.nameMeansFine ? row.faultCaptionId : row.fineCaptionId, language);
}

std::string Joined(const std::vector<std::string>& words, const char* last) {
  std::string joined;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) joined += i + 1 < words.size() ? ", " : last;
    joined += words[i];
  }
  return joined;
}

std::string ConditionNames(const char* last) {
  std::vector<std::string> names;
  for (const ConditionRow& row : printerlink::kConditions) names.emplace_back(row.name);
  return Joined(names, last);
}

std::string ConditionWords(const char* last, std::optional<printerlink::Severity> severity) {
  std::vector<std::string> words;
  for (const ConditionRow& row : printerlink::kConditions) {
    if (!row.byte || (severity && row.severity != *severity)) continue;
    words.emplace_back(row.name);
    std::replace(words.back().begin(), words.back().end(), '_', ' ');
  }
  return Joined(words, last);
}

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
  if (read.answered != other.read.answered) return false;
  if (read.answered && read.conditions != other.read.conditions) return false;
  // Off-line for another reason is another line: refused is not timed out.
  const auto outcome = [](const StatusReading& r) {
    return r.read.done.records.empty() ? Outcome::Ok : r.read.done.Deciding().outcome;
  };
  return outcome(*this) == outcome(other);
}

StatusReading ReadStatus(Session& s, const std::string& address) {
  StatusReading r{printerlink::ReadStatus(s.At(address))};
  r.exit = ExitOf(r.read.done);
  if (r.exit != kExitOk) return r;
  // A short answer leaves conditions unknown, and unknown is never "fine".
  const auto& c = r.read.conditions;
  const bool attention = printerlink::WorstSeverity(c).has_value();
  const bool unknown = std::any_of(c.begin(), c.end(), [](const auto& v) { return !v; });
  r.exit = attention ? kExitAttention : unknown ? kExitPartial : kExitOk;
  return r;
}

int RunTest(Session& s) {
  const Done done = printerlink::TestConnection(s.At(s.printer));
  const int exit = ExitOf(done);
  if (s.json) {
    WriteJson(s, CommandJson("test", done, exit));
  } else if (exit == kExitOk) {
    s.out << Tr(IDS_CONNECT_OK, s.language) << '\n';
  } else {
    TellFailure(s, done.Deciding());
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

int RunOperation(Session& s, const char* command, const printerlink::Plan& plan) {
  return Finish(s, command, printerlink::Run(s.At(s.printer), plan));
}

int RunHex(Session& s, const std::vector<std::uint8_t>& bytes) {
  TellSending(s, bytes);
  // The bytes go as typed, however many: the console's ten-byte frame would
  // carry the same bytes up to its size and is no limit here.
  return Finish(s, "hex", printerlink::SendRaw(s.At(s.printer), bytes));
}

int RunSetIp(Session& s, const printerlink::Ipv4Octets& next) {
  const int exit = SendSetting(s, "set-ip", printerlink::SetAddressPlan(next), Tr(IDS_SET_IP_FAILED, s.language));
  if (s.json || exit != kExitOk) return exit;
  s.out << Tr(IDS_SET_IP_SUCCESS, s.language) << '\n'
        << res::FillIn(Tr(Text::OldAddressStays, s.language), {s.printer, printerlink::DottedQuad(next)}) << '\n';
  return exit;
}

int RunSetMac(Session& s, const printerlink::MacBytes& mac) {
  const int exit = SendSetting(s, "set-mac", printerlink::SetMacPlan(mac), Tr(Text::SetMacError, s.language));
  if (!s.json && exit == kExitOk) s.out << Tr(Text::SetMacSuccess, s.language) << '\n';
  return exit;
}

int RunSweep(Session& s, const std::array<std::uint8_t, 3>& subnet, bool withStatus, bool withDetails) {
  const printerlink::SweepDone sweep = printerlink::Sweep(s.sockets, subnet, s.sweepWaitMs, s.log);
  Done done;
  done.records = {sweep.record};
  int exit = ExitFor(sweep.record.outcome);
  if (exit != kExitOk) {
    if (s.json) WriteJson(s, CommandJson("sweep", done, exit));
    TellFailure(s, sweep.record);
    return exit;
  }

  // The found printers in host order, each with its details and lamps when
  // asked; the exit status is the worst of their lamps'.
  std::vector<printerlink::Identity> details;
  if (withDetails) {
    details = AskIdentities(s, sweep.record.found);
    for (std::size_t i = 0; i < details.size(); ++i) details[i].hardware = sweep.hardware[i];
  }
  Json printers = Json::array();
  for (std::size_t i = 0; i < sweep.record.found.size(); ++i) {
    const std::string& address = sweep.record.found[i];
    Json printer = withDetails ? IdentityJson(details[i]) : Json::object();
    std::string line = address;
    if (withDetails) line += " " + DetailsLine(details[i], s.language);
    if (withStatus) {
      const StatusReading r = ReadStatus(s, address);
      exit = std::max(exit, r.exit);
      printer.update(StatusJson(r));
      line += " " + LampsLine(r, s.language);
    }
    if (s.json) {
      printers.push_back(std::move(printer));
    } else {
      s.out << line << '\n';
    }
  }
  if (s.json) {
    Json j = CommandJson("sweep", done, exit);
    if (withStatus || withDetails) j["printers"] = std::move(printers);
    WriteJson(s, j);
  } else if (sweep.record.found.empty()) {
    s.err << Tr(Text::NoPrinterFound, s.language) << ' ' << sweep.record.address << '\n';
  }
  return exit;
}

std::string TestPageNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string page;
  printerlink::BuildTestPage(page, local);
  return page;
}

}  // namespace printercli
