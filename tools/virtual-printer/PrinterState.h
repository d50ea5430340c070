#pragma once
// The conditions the virtual printer is in, as the keys toggle them, and the
// three status bytes it answers ESC v with.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "PrinterStatus.h"

namespace vprinter {

using printerlink::Condition;

struct StatusFlags {
  // Per row of the printer's conditions' table, whether the printer is in
  // it. The on-line row's flag stays clear: the printer is on-line while it
  // listens (--refuse takes it off-line).
  std::array<bool, printerlink::kConditionCount> conditions{};
  // The cash drawer: closed at the start, opened by every drawer pulse. Pin 3
  // of its connector reads high while it is closed. ESC v does not carry it.
  bool drawerOpen = false;

  bool operator[](Condition c) const { return conditions[printerlink::IndexOf(c)]; }
  bool& operator[](Condition c) { return conditions[printerlink::IndexOf(c)]; }
  friend bool operator==(const StatusFlags&, const StatusFlags&) = default;
};

// A condition the virtual printer can be put in: the key of its terminal
// that toggles it, the option it starts in it with, and the words its
// transcript, its state line and its help call it by.
struct SimulatedCondition {
  Condition condition;
  char key;
  const char* option;  // "--cover-open"
  const char* words;   // "cover open"
  const char* start;   // the option's help before the bits it raises: "start with the cover open"
};
// In the order of the conditions' table.
std::span<const SimulatedCondition> SimulatedConditions();

// The option's help: what it starts in and the status bits the conditions'
// table has it raise, "start busy  (byte 0, 0x08)"; the first names the
// status byte as such.
std::string StartHelp(const SimulatedCondition& simulated, bool first);

// What the printer tells of itself when asked with GS I. The defaults name no
// maker; the serial number is made from the address, so that two virtual
// printers differ.
struct PrinterIdentity {
  std::string maker = "Virtual";
  std::string model = "VP-80";
  std::string serial;  // empty: "VP" and the address's octets in hex
  std::string firmware = "1.00";
};

// The answer to GS I n: a text block (0x5F, the text, NUL) for the maker (n
// 0x42), model (0x43), serial number (0x44) and firmware (0x41); one ID byte
// for n 1 to 3; nothing for another n.
std::vector<std::uint8_t> IdentityAnswer(const PrinterIdentity& identity, std::uint8_t n);

using StatusReply = std::array<std::uint8_t, 3>;

// The bits each condition raises, as the printer's conditions' table has them.
StatusReply StatusBytes(const StatusFlags& flags);

// The answers to the status queries point-of-sale software sends, in the
// ESC/POS bit layouts, fixed bits included. The printer counts as offline
// while its cover is open, its paper has ended, it is over temperature or
// paused; over temperature is an error it recovers from by itself. The
// drawer's pin 3 reads high while the drawer is closed.

// DLE EOT n, n 1 to 4 (printer, offline cause, error cause, paper sensor):
// one byte; nothing for another n.
std::vector<std::uint8_t> RealTimeStatus(const StatusFlags& flags, std::uint8_t n);
// GS r n, n 1 or '1' (paper sensor) and 2 or '2' (drawer): one byte;
// nothing for another n.
std::vector<std::uint8_t> TransmittedStatus(const StatusFlags& flags, std::uint8_t n);
// The four bytes of an automatic status back report (GS a).
std::array<std::uint8_t, 4> AutomaticStatus(const StatusFlags& flags);

// "cover open, paper end", or "ready" when nothing is wrong.
std::string DescribeFlags(const StatusFlags& flags);

}  // namespace vprinter
