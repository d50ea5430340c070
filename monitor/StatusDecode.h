#pragma once
// How the status monitor shows each condition of the printer's answer to
// ESC v: a caption from the string table and a lamp. An indicator whose byte
// did not arrive is unknown, never "fine".

#include <cstddef>
#include <optional>

#include "Frames.h"
#include "PrinterStatus.h"
#include "Types.h"

using printerlink::kDecodeOrder;
using printerlink::StatusIndicator;

struct IndicatorLook {
  int stringId;  // the caption, from the string table
  UINT iconId;   // IDI_STATE_GOOD or IDI_STATE_BAD
  friend bool operator==(const IndicatorLook&, const IndicatorLook&) = default;
};

// The indicator's caption and icon for this reply, of which `received` bytes
// arrived; nothing when its byte is not among them.
std::optional<IndicatorLook> DecodeIndicator(StatusIndicator indicator, const printerlink::ReplyBuffer& reply,
                                             std::size_t received);
