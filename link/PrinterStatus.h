#pragma once
// What the printer's answer to ESC v says, condition by condition. The
// printer answers with three status bytes; a condition whose byte did not
// arrive is unknown, never "fine".

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "Frames.h"

namespace printerlink {

enum class StatusIndicator { Cover, Busy, Temperature, Pause, Paper };

// The conditions in the order of the status bytes they are read from.
inline constexpr std::array<StatusIndicator, 5> kDecodeOrder = {StatusIndicator::Cover, StatusIndicator::Busy,
                                                                StatusIndicator::Temperature, StatusIndicator::Pause,
                                                                StatusIndicator::Paper};

// The status byte a condition is read from: cover and busy from byte 0,
// temperature and pause from byte 1, paper from byte 2.
std::size_t StatusByteOf(StatusIndicator indicator);
// The bits of that byte the condition is read from: 0x20 cover open, 0x08
// busy, 0x40 over temperature, 0x30 pause, 0x0C the two paper end sensors.
std::uint8_t StatusMaskOf(StatusIndicator indicator);

// Whether the condition needs attention (cover open, busy, over temperature,
// paused, paper end) in this reply, of which `received` bytes arrived;
// nothing when its byte is not among them. Bits outside the table are ignored.
std::optional<bool> ConditionSet(StatusIndicator indicator, const ReplyBuffer& reply, std::size_t received);

}  // namespace printerlink
