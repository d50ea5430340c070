#include "PrinterState.h"

#include "PrinterStatus.h"

namespace vprinter {

StatusReply StatusBytes(const StatusFlags& f) {
  using printerlink::Condition;
  std::array<bool, printerlink::kConditionCount> set{};
  set[printerlink::IndexOf(Condition::Cover)] = f.coverOpen;
  set[printerlink::IndexOf(Condition::Busy)] = f.busy;
  set[printerlink::IndexOf(Condition::Temperature)] = f.overTemperature;
  set[printerlink::IndexOf(Condition::Pause)] = f.paused;
  set[printerlink::IndexOf(Condition::Paper)] = f.paperEnd;
  // The bits a printer raises for each condition are the conditions' table's.
  return printerlink::RaisedBytes(set);
}

namespace {

bool Offline(const StatusFlags& f) { return f.coverOpen || f.paperEnd || f.overTemperature || f.paused; }

}  // namespace

std::vector<std::uint8_t> RealTimeStatus(const StatusFlags& f, std::uint8_t n) {
  std::uint8_t b = 0x12;  // bits 1 and 4 are always set, 0 and 7 always clear
  switch (n) {
    case 1:
      if (!f.drawerOpen) b |= 0x04;  // pin 3 high
      if (Offline(f)) b |= 0x08;
      break;
    case 2:
      if (f.coverOpen) b |= 0x04;
      if (f.paperEnd) b |= 0x20;         // printing stopped at the paper end
      if (f.overTemperature) b |= 0x40;  // an error occurred
      break;
    case 3:
      if (f.overTemperature) b |= 0x40;  // an error it recovers from by itself
      break;
    case 4:
      if (f.paperEnd) b |= 0x0C | 0x60;  // near end and end, both sensor bits each
      break;
    default: return {};
  }
  return {b};
}

std::vector<std::uint8_t> TransmittedStatus(const StatusFlags& f, std::uint8_t n) {
  if (n == 1 || n == '1') return {static_cast<std::uint8_t>(f.paperEnd ? 0x0F : 0x00)};
  if (n == 2 || n == '2') return {static_cast<std::uint8_t>(f.drawerOpen ? 0x00 : 0x01)};  // pin 3 high
  return {};
}

std::array<std::uint8_t, 4> AutomaticStatus(const StatusFlags& f) {
  std::array<std::uint8_t, 4> r{0x10, 0x00, 0x00, 0x00};  // bit 4 of the first byte marks the report
  if (!f.drawerOpen) r[0] |= 0x04;                        // pin 3 high
  if (Offline(f)) r[0] |= 0x08;
  if (f.coverOpen) r[0] |= 0x20;
  if (f.overTemperature) r[1] |= 0x40;
  if (f.paperEnd) r[2] |= 0x0F;
  return r;
}

std::string DescribeFlags(const StatusFlags& f) {
  std::string s;
  auto add = [&s](bool on, const char* name) {
    if (on) s += (s.empty() ? "" : ", ") + std::string(name);
  };
  add(f.coverOpen, "cover open");
  add(f.busy, "busy");
  add(f.overTemperature, "over temperature");
  add(f.paused, "paused");
  add(f.paperEnd, "paper end");
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
