#include "PrinterState.h"

#include <algorithm>
#include <cstdio>

namespace vprinter {

namespace {

// clang-format off
constexpr SimulatedCondition kSimulated[] = {
    // condition             key  option          words               help
    {Condition::Cover,       'c', "--cover-open", "cover open",       "start with the cover open"},
    {Condition::Busy,        'b', "--busy",       "busy",             "start busy"},
    {Condition::Temperature, 't', "--over-temp",  "over temperature", "start over temperature"},
    {Condition::Pause,       'p', "--paused",     "paused",           "start paused"},
    {Condition::Paper,       'e', "--paper-end",  "paper end",        "start out of paper"},
};
// clang-format on

constexpr std::size_t kStartHelpWidth = 29;  // where the bits line up in --help

bool Offline(const StatusFlags& f) {
  return f[Condition::Cover] || f[Condition::Paper] || f[Condition::Temperature] || f[Condition::Pause];
}

}  // namespace

std::span<const SimulatedCondition> SimulatedConditions() { return kSimulated; }

std::string StartHelp(const SimulatedCondition& simulated, bool first) {
  const printerlink::ConditionRow& row = printerlink::RowOf(simulated.condition);
  std::string help = simulated.start;
  help.resize(std::max(help.size() + 1, kStartHelpWidth), ' ');
  char bits[48];
  std::snprintf(bits, sizeof bits, "(%sbyte %zu, 0x%02X)", first ? "status " : "", row.byte.value_or(0),
                static_cast<unsigned>(row.raised));
  return help + bits;
}

StatusReply StatusBytes(const StatusFlags& f) { return printerlink::RaisedBytes(f.conditions); }

std::vector<std::uint8_t> RealTimeStatus(const StatusFlags& f, std::uint8_t n) {
  std::uint8_t b = 0x12;  // bits 1 and 4 are always set, 0 and 7 always clear
  switch (n) {
    case 1:
      if (!f.drawerOpen) b |= 0x04;  // pin 3 high
      if (Offline(f)) b |= 0x08;
      break;
    case 2:
      if (f[Condition::Cover]) b |= 0x04;
      if (f[Condition::Paper]) b |= 0x20;        // printing stopped at the paper end
      if (f[Condition::Temperature]) b |= 0x40;  // an error occurred
      break;
    case 3:
      if (f[Condition::Temperature]) b |= 0x40;  // an error it recovers from by itself
      break;
    case 4:
      if (f[Condition::Paper]) b |= 0x0C | 0x60;  // near end and end, both sensor bits each
      break;
    default: return {};
  }
  return {b};
}

std::vector<std::uint8_t> TransmittedStatus(const StatusFlags& f, std::uint8_t n) {
  if (n == 1 || n == '1') return {static_cast<std::uint8_t>(f[Condition::Paper] ? 0x0F : 0x00)};
  if (n == 2 || n == '2') return {static_cast<std::uint8_t>(f.drawerOpen ? 0x00 : 0x01)};  // pin 3 high
  return {};
}

std::array<std::uint8_t, 4> AutomaticStatus(const StatusFlags& f) {
  std::array<std::uint8_t, 4> r{0x10, 0x00, 0x00, 0x00};  // bit 4 of the first byte marks the report
  if (!f.drawerOpen) r[0] |= 0x04;                        // pin 3 high
  if (Offline(f)) r[0] |= 0x08;
  if (f[Condition::Cover]) r[0] |= 0x20;
  if (f[Condition::Temperature]) r[1] |= 0x40;
  if (f[Condition::Paper]) r[2] |= 0x0F;
  return r;
}

std::string DescribeFlags(const StatusFlags& f) {
  std::string s;
  auto add = [&s](bool on, const char* words) {
    if (on) s += (s.empty() ? "" : ", ") + std::string(words);
  };
  for (const SimulatedCondition& c : kSimulated) add(f[c.condition], c.words);
  add(f.drawerOpen, "drawer open");
  return s.empty() ? "ready" : s;
}

std::vector<std::uint8_t> IdentityAnswer(const PrinterIdentity& identity, std::uint8_t n) {
  const std::string* text = nullptr;
  switch (n) {
    case 1:
    case '1': return {0x20};  // model ID
    case 2:
    case '2': return {0x02};  // type ID: an auto-cutter
    case 3:
    case '3': return {0x10};  // version ID
    case 0x41: text = &identity.firmware; break;
    case 0x42: text = &identity.maker; break;
    case 0x43: text = &identity.model; break;
    case 0x44: text = &identity.serial; break;
    default: return {};
  }
  std::vector<std::uint8_t> block{0x5F};
  block.insert(block.end(), text->begin(), text->end());
  block.push_back(0x00);
  return block;
}

}  // namespace vprinter
