#pragma once
// What the printer's answer to ESC v says, indicator by indicator. The
// printer answers with three status bytes; an indicator whose byte did not
// arrive is unknown, never "fine".

#include <array>
#include <cstddef>
#include <optional>

#include "Frames.h"
#include "Types.h"

enum class StatusIndicator { Cover, Busy, Temperature, Pause, Paper };

// The order a poll shows them in.
inline constexpr std::array<StatusIndicator, 5> kDecodeOrder = {
    StatusIndicator::Cover, StatusIndicator::Busy, StatusIndicator::Temperature, StatusIndicator::Pause,
    StatusIndicator::Paper};

struct IndicatorLook {
  int stringId;  // the caption, from the string table
  UINT iconId;   // IDI_STATE_GOOD or IDI_STATE_BAD
  friend bool operator==(const IndicatorLook&, const IndicatorLook&) = default;
};

// The status byte an indicator is read from: cover and busy from byte 0,
// temperature and pause from byte 1, paper from byte 2.
std::size_t StatusByteOf(StatusIndicator indicator);

// The indicator's caption and icon for this reply, of which `received` bytes
// arrived; nothing when its byte is not among them. Bits outside the table
// are ignored.
std::optional<IndicatorLook> DecodeIndicator(StatusIndicator indicator, const printerlink::ReplyBuffer& reply,
                                             std::size_t received);
