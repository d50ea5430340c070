#pragma once
// The printer's conditions, one row each: where its answer to ESC v says
// so, what the status monitor's lamp and printertest call it, what the
// exchange log notes when it changes, and how urgent it is. Every front end
// reads this table; a new condition is a new row, its strings and its lamp.
//
// The printer answers with three status bytes; a condition whose byte did
// not arrive is unknown, never "fine".

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "Frames.h"

namespace printerlink {

enum class Condition { Online, Cover, Busy, Temperature, Pause, Paper };

// How urgent a condition that needs attention is: the printer cannot print
// (critical), or prints once it is done or resumed (warning).
enum class Severity { Warning, Critical };

struct ConditionRow {
  Condition condition;
  // The name in JSON and in monitoring output. The on-line row is named for
  // its good state and is true when fine; every other name is the fault.
  const char* name;
  bool nameMeansFine;
  Severity severity;
  // Where the status bytes say so: the byte, the bits read, whether every one
  // of them must be set, and what a printer in this condition raises. The
  // on-line row is read from the connection itself: no byte.
  std::optional<std::size_t> byte;
  std::uint8_t mask;
  bool allBits;
  std::uint8_t raised;
  int lampId;                         // the monitor's indicator
  int fineCaptionId, faultCaptionId;  // its caption in each state
  int unknownCaptionId;               // printertest's caption when its byte did not arrive
  int nameId;                         // the condition's bits in a tooltip, and "not read"
  int setChangeId, clearedChangeId;   // the change record when it starts or ends needing attention
};

inline constexpr std::size_t kConditionCount = 6;
inline constexpr std::size_t kStatusByteCount = 3;  // in the printer's answer to ESC v

// In lamp order: on-line first, then the conditions in the order of the
// status bytes they are read from.
extern const std::array<ConditionRow, kConditionCount> kConditions;

const ConditionRow& RowOf(Condition condition);
inline std::size_t IndexOf(Condition condition) { return static_cast<std::size_t>(condition); }

// What the polls have read, condition by condition in table order: whether it
// needs attention (off-line, cover open, ...), or nothing while it is unknown.
using ConditionStates = std::array<std::optional<bool>, kConditionCount>;

// Whether the condition needs attention in this reply, of which `received`
// bytes arrived; nothing when its byte is not among them, or it has no byte.
// Bits outside the table are ignored.
std::optional<bool> ConditionSet(const ConditionRow& row, const ReplyBuffer& reply, std::size_t received);

// Every condition after a status read: off-line when the printer was not
// reached (the rest unknown), else on-line and each condition its byte says.
ConditionStates DecodeStatus(bool reached, const ReplyBuffer& reply, std::size_t received);

// The bits of status byte `byte` that some condition is read from.
std::uint8_t UsedBits(std::size_t byte);

// The three status bytes a printer raises for these conditions.
std::array<std::uint8_t, kStatusByteCount> RaisedBytes(const std::array<bool, kConditionCount>& set);

// The worst severity among the conditions that need attention; nothing when
// none does.
std::optional<Severity> WorstSeverity(const ConditionStates& states);

}  // namespace printerlink
