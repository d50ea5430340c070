#pragma once
// Did the cash drawer open? The drawer connector's sensor (pin 3, DLE EOT 1)
// read before a drawer pulse and again once the drawer had time to spring
// open. Which level means "closed" differs between drawers; the reading
// keeps the pin level and leaves its meaning to the caller.

#include <optional>

#include "PrinterCommands.h"

namespace printerlink {

inline constexpr int kDrawerSettleMs = 200;  // from the pulse to the second reading

struct DrawerCheck {
  Done done;                       // the readings and the pulse, as far as they went
  std::optional<bool> pin3Before;  // high; nothing when the printer gave no reading
  std::optional<bool> pin3After;
  bool pulsed = false;  // the printer took the pulse

  // The printer could not be reached, or failed to take the pulse.
  bool failed() const { return !pulsed; }
  bool changed() const { return pin3Before && pin3After && *pin3Before != *pin3After; }
};

// Reads the sensor, pulses, waits kDrawerSettleMs and reads it again. A
// printer that gives no reading still gets the pulse: the drawer is what the
// technician asked for. One that cannot be reached is asked nothing more.
DrawerCheck CheckDrawer(const Printer& printer);

}  // namespace printerlink
