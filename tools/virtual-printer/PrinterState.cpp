#include "PrinterState.h"

namespace vprinter {

StatusReply StatusBytes(const StatusFlags& f) {
  StatusReply r{};
  if (f.coverOpen) r[0] |= 0x20;
  if (f.busy) r[0] |= 0x08;
  if (f.overTemperature) r[1] |= 0x40;
  if (f.paused) r[1] |= 0x10;
  if (f.paperEnd) r[2] |= 0x0C;
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
  return s.empty() ? "ready" : s;
}

}  // namespace vprinter
