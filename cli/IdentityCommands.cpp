// Which printer is which: identify, the details of sweep --details, the
// follow-up of set-ip --follow, and drawer --check.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <ostream>
#include <thread>

#include "CommandOutput.h"
#include "DrawerCheck.h"
#include "Identity.h"
#include "OutcomeWords.h"

namespace printercli {
namespace {

using printerlink::Identity;
using printerlink::IdentityField;

// Printers asked at once by sweep --details; more wait for a free place.
constexpr std::size_t kMaxIdentitiesAtOnce = 32;
constexpr int kFollowProbeIntervalMs = 1000;

Json TextOrNull(const std::optional<std::string>& text) { return text ? Json(*text) : Json(nullptr); }

// The MAC, or why there is none, in words.
std::string MacWords(const printerlink::HardwareAddress& h, Language language) {
  switch (h.source) {
    case printerlink::MacSource::Neighbour: return printerlink::MacText(h.mac);
    case printerlink::MacSource::Routed: return Tr(Text::Routed, language);
    case printerlink::MacSource::Local: return Tr(Text::LocalMac, language);
    case printerlink::MacSource::NoTable: return Tr(Text::NoNeighbourTable, language);
  }
  return {};
}

std::string FieldWords(const Identity& id, IdentityField f, Language language) {
  return id.Field(f).value_or(Tr(Text::Unknown, language));
}

// "Serial VPC0A80132" or "MAC 00:00:5E:00:53:32": what tells the printer apart.
std::string Tell(const Identity& id, Language language) {
  if (const auto& serial = id.Field(IdentityField::Serial)) {
    return std::string(Tr(Text::LabelSerial, language)) + " " + *serial;
  }
  return std::string(Tr(Text::LabelMac, language)) + " " + MacWords(id.hardware, language);
}

// In the order of the link layer's identity fields.
constexpr Text kLabels[] = {Text::LabelSerial, Text::LabelMaker, Text::LabelModel, Text::LabelFirmware};
static_assert(std::size(kLabels) == printerlink::kIdentityFieldCount);

void WriteIdentity(Session& s, const Identity& id) {
  for (std::size_t i = 0; i < printerlink::kIdentityFieldCount; ++i) {
    s.out << Tr(kLabels[i], s.language) << ": " << id.fields[i].value_or(Tr(Text::Unknown, s.language)) << '\n';
  }
  s.out << Tr(Text::LabelMac, s.language) << ": " << MacWords(id.hardware, s.language) << '\n';
  if (id.hardware.found()) s.out << Tr(Text::LabelVendor, s.language) << ": " << id.hardware.vendor << '\n';
}

const char* SamenessName(printerlink::Sameness same) {
  switch (same) {
    case printerlink::Sameness::Same: return "same";
    case printerlink::Sameness::Other: return "other";
    case printerlink::Sameness::CannotTell: return "cannot tell";
  }
  return "";
}

}  // namespace

Json IdentityJson(const Identity& id) {
  Json j = Json::object();
  j["address"] = id.address;
  for (const printerlink::IdentityRow& row : printerlink::kIdentityFields) {
    j[row.name] = TextOrNull(id.Field(row.field));
  }
  const printerlink::HardwareAddress& h = id.hardware;
  j["mac"] = h.found() ? Json(printerlink::MacText(h.mac)) : Json(nullptr);
  j["mac_source"] = printerlink::MacSourceName(h.source);
  j["vendor"] = h.found() ? Json(h.vendor) : Json(nullptr);
  return j;
}

std::string DetailsLine(const Identity& id, Language language) {
  std::string line = MacWords(id.hardware, language);
  if (id.hardware.found()) line += " (" + id.hardware.vendor + ")";
  line += ", " + FieldWords(id, IdentityField::Maker, language) + " " + FieldWords(id, IdentityField::Model, language);
  line += ", " + std::string(Tr(Text::LabelSerial, language)) + " " + FieldWords(id, IdentityField::Serial, language);
  return line;
}

std::vector<Identity> AskIdentities(Session& s, const std::vector<std::string>& addresses) {
  std::vector<Identity> found(addresses.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < addresses.size(); i = next++)
      found[i] = printerlink::AskIdentity(s.At(addresses[i]));
  };
  std::vector<std::thread> workers;
  const std::size_t count = std::min(kMaxIdentitiesAtOnce, addresses.size());
  for (std::size_t i = 0; i + 1 < count; ++i) workers.emplace_back(work);
  work();  // this thread takes its share too
  for (std::thread& t : workers) t.join();
  return found;
}

namespace {

// identify's object. A printer that took the questions was reached, whatever
// it left unanswered: the top level says so ("outcome": "ok") and each field
// it did not tell is null. One that did not: how its connection failed, as
// any command says it. Each question's own record is in "exchanges".
Json IdentifyJson(const Identity& id, int exit) {
  Json j = Json::object();
  j["command"] = "identify";
  j["exit"] = exit;
  const printerlink::ExchangeRecord& deciding = id.done.Deciding();
  if (id.reached) {
    const auto told = std::count_if(id.fields.begin(), id.fields.end(), [](const auto& f) { return f.has_value(); });
    j["outcome"] = printerlink::OutcomeName(printerlink::Outcome::Ok);
    j["outcome_text"] = "reached on port " + std::to_string(printerlink::kFramePort) + ": " + std::to_string(told) +
                        " of " + std::to_string(printerlink::kIdentityFieldCount) +
                        " answers came, the others are null";
  } else {
    j["outcome"] = printerlink::OutcomeName(deciding.outcome);
    j["outcome_text"] = printerlink::OutcomeWords(deciding, Language::English);
  }
  j.update(IdentityJson(id));
  Json all = Json::array();
  for (const printerlink::ExchangeRecord& r : id.done.records) all.push_back(RecordJson(r));
  j["exchanges"] = std::move(all);
  return j;
}

// Looks at `target` once a second until the printer can be asked there (it
// takes the questions on port 9100), or the time is up. An answer on port
// 4000 alone is a printer still starting, or one that takes no question:
// looked at again. `heard` tells whether anything answered at all.
std::optional<Identity> Follow(Session& s, const std::string& target, int seconds, bool& heard) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + std::chrono::seconds(seconds);
  for (Clock::time_point due = start; Clock::now() < end; due += std::chrono::milliseconds(kFollowProbeIntervalMs)) {
    std::this_thread::sleep_until(std::min(due, end));
    if (printerlink::TestConnection(s.At(target)).ok()) {
      heard = true;
      Identity there = printerlink::ReadIdentity(s.At(target));
      if (there.reached) return there;
    }
    if (!s.json && s.progress) {
      const auto waited = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
      s.err << '\r'
            << res::FillIn(Tr(Text::FollowProgress, s.language),
                           {target, std::to_string(waited), std::to_string(seconds)})
            << std::flush;
    }
  }
  return std::nullopt;
}

}  // namespace

int RunIdentify(Session& s) {
  const Identity id = printerlink::ReadIdentity(s.At(s.printer));
  const int exit = id.reached ? kExitOk : ExitOf(id.done);
  if (s.json) {
    WriteJson(s, IdentifyJson(id, exit));
  } else if (id.reached) {
    WriteIdentity(s, id);
  } else {
    TellFailure(s, id.done.Deciding());
  }
  return exit;
}

int RunSetIpFollow(Session& s, const printerlink::Ipv4Octets& next, int seconds) {
  const std::string target = printerlink::DottedQuad(next);
  const Identity before = printerlink::ReadIdentity(s.At(s.printer));
  if (!before.reached) {
    // Nothing sent: a printer that cannot be asked would not take GS D either.
    const int exit = ExitOf(before.done);
    TellFailure(s, before.done.Deciding());
    if (s.json) WriteJson(s, CommandJson("set-ip", before.done, exit));
    return exit;
  }
  const printerlink::Done setting =
      SendSettingFrame(s, printerlink::SetAddressPlan(next), Tr(IDS_SET_IP_FAILED, s.language));
  if (const int exit = ExitOf(setting); exit != kExitOk) {
    if (s.json) WriteJson(s, CommandJson("set-ip", setting, exit));
    return exit;
  }
  if (!s.json) {
    s.out << Tr(IDS_SET_IP_SUCCESS, s.language) << '\n'
          << res::FillIn(Tr(Text::Following, s.language), {std::to_string(seconds), target}) << '\n'
          << std::flush;
  }

  bool heard = false;
  const std::optional<Identity> after = Follow(s, target, seconds, heard);
  if (!s.json && s.progress) s.err << '\n';

  const printerlink::Sameness same = after ? printerlink::Compare(before, *after) : printerlink::Sameness::CannotTell;
  const int exit = !after ? kExitPartial : same == printerlink::Sameness::Same ? kExitOk : kExitAttention;
  if (s.json) {
    // One object: the setting's exchange inside the follow-up's.
    Json sent = CommandJson("set-ip", setting, kExitOk);
    sent.erase("command");
    sent.erase("exit");
    Json j = Json::object();
    j["command"] = "set-ip";
    j["exit"] = exit;
    j["address"] = target;
    j["setting"] = std::move(sent);
    j["answered"] = after.has_value();
    j["same"] = after ? Json(SamenessName(same)) : Json(nullptr);
    j["before"] = IdentityJson(before);
    j["after"] = after ? IdentityJson(*after) : Json(nullptr);
    WriteJson(s, j);
  } else if (!after) {
    s.err << res::FillIn(Tr(heard ? Text::NotAsked : Text::NothingAnswered, s.language),
                         {target, std::to_string(seconds)})
          << '\n';
  } else if (same == printerlink::Sameness::Same) {
    s.out << res::FillIn(Tr(Text::SamePrinter, s.language), {target, Tell(*after, s.language)}) << '\n';
  } else if (same == printerlink::Sameness::Other) {
    s.err << res::FillIn(Tr(Text::OtherPrinter, s.language),
                         {target, Tell(*after, s.language), Tell(before, s.language)})
          << '\n';
  } else {
    s.err << res::FillIn(Tr(Text::CannotTell, s.language), {target}) << '\n';
  }
  return exit;
}

int RunDrawerCheck(Session& s, bool sensorInverted) {
  const printerlink::DrawerCheck check = printerlink::CheckDrawer(s.At(s.printer));
  const bool read = check.pin3Before && check.pin3After;
  // No reading is a failed exchange, also when what came was no DLE EOT 1 answer.
  const int failedExit = ExitOf(check.done) != kExitOk ? ExitOf(check.done) : kExitPartial;
  const int exit = !read ? failedExit : check.changed() ? kExitOk : kExitAttention;
  // Pin 3 high means closed unless the drawer's sensor is the other way round.
  const auto open = [&](bool high) { return high == sensorInverted; };
  const auto level = [&](bool high) { return Tr(high ? Text::High : Text::Low, s.language); };
  const auto state = [&](bool high) { return Tr(open(high) ? Text::Open : Text::Closed, s.language); };
  if (s.json) {
    Json j = CommandJson("drawer", check.done, exit);
    const auto pin = [](const std::optional<bool>& p) { return p ? Json(*p) : Json(nullptr); };
    const auto drawer = [&](const std::optional<bool>& p) {
      return p ? Json(open(*p) ? "open" : "closed") : Json(nullptr);
    };
    j["pin3_high_before"] = pin(check.pin3Before);
    j["pin3_high_after"] = pin(check.pin3After);
    j["drawer_before"] = drawer(check.pin3Before);
    j["drawer_after"] = drawer(check.pin3After);
    j["sensor_inverted"] = sensorInverted;
    j["result"] = !read ? "no reading" : check.changed() ? "opened" : "no change";
    WriteJson(s, j);
  } else if (check.failed() && check.done.Deciding().failed()) {
    TellFailure(s, check.done.Deciding());
  } else if (!read) {
    s.err << Tr(Text::DrawerNoReading, s.language) << '\n';
  } else if (check.changed()) {
    const bool b = *check.pin3Before;
    const bool a = *check.pin3After;
    s.out << res::FillIn(Tr(Text::DrawerOpened, s.language), {level(b), level(a), state(b), state(a)}) << '\n';
  } else {
    const bool b = *check.pin3Before;
    s.out << res::FillIn(Tr(Text::DrawerNoChange, s.language), {level(b), state(b)}) << '\n';
    if (open(b)) s.out << Tr(Text::DrawerOpenAlready, s.language) << '\n';
  }
  return exit;
}

}  // namespace printercli
