#pragma once
// How the status monitor shows each condition of the printer's answer to
// ESC v: a caption from the string table and a lamp. An indicator whose byte
// did not arrive is unknown, never "fine".

#include <cstddef>
#include <optional>

#include "Frames.h"
#include "PrinterStatus.h"
#include "Types.h"

struct IndicatorLook {
  int stringId;  // the caption, from the string table
  UINT iconId;   // IDI_STATE_GOOD or IDI_STATE_BAD
  friend bool operator==(const IndicatorLook&, const IndicatorLook&) = default;
};

// The lamp of a condition read so: its caption and icon; nothing while unknown.
std::optional<IndicatorLook> LookOf(const printerlink::ConditionRow& row, const std::optional<bool>& set);

// The indicator's caption and icon for this reply, of which `received` bytes
// arrived; nothing when its byte is not among them.
inline std::optional<IndicatorLook> DecodeIndicator(const printerlink::ConditionRow& row,
                                                    const printerlink::ReplyBuffer& reply, std::size_t received) {
  return LookOf(row, printerlink::ConditionSet(row, reply, received));
}
