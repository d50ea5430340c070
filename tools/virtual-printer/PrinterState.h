#pragma once
// The conditions the virtual printer is in, as the keys toggle them, and the
// three status bytes it answers ESC v with.

#include <array>
#include <cstdint>
#include <string>

namespace vprinter {

struct StatusFlags {
  bool coverOpen = false;
  bool busy = false;
  bool overTemperature = false;
  bool paused = false;
  bool paperEnd = false;
  friend bool operator==(const StatusFlags&, const StatusFlags&) = default;
};

using StatusReply = std::array<std::uint8_t, 3>;

// Byte 0: 0x20 cover open, 0x08 busy. Byte 1: 0x40 over temperature, 0x10
// paused. Byte 2: 0x0C paper end (both paper-end sensor bits).
StatusReply StatusBytes(const StatusFlags& flags);

// "cover open, paper end", or "ready" when nothing is wrong.
std::string DescribeFlags(const StatusFlags& flags);

}  // namespace vprinter
