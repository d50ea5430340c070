#include "PrinterStatus.h"

namespace printerlink {

std::size_t StatusByteOf(StatusIndicator indicator) {
  switch (indicator) {
    case StatusIndicator::Cover:
    case StatusIndicator::Busy: return 0;
    case StatusIndicator::Temperature:
    case StatusIndicator::Pause: return 1;
    case StatusIndicator::Paper: return 2;
  }
  return 0;
}

std::uint8_t StatusMaskOf(StatusIndicator indicator) {
  switch (indicator) {
    case StatusIndicator::Cover: return 0x20;
    case StatusIndicator::Busy: return 0x08;
    case StatusIndicator::Temperature: return 0x40;
    case StatusIndicator::Pause: return 0x30;
    case StatusIndicator::Paper: return 0x0C;
  }
  return 0;
}

std::optional<bool> ConditionSet(StatusIndicator indicator, const ReplyBuffer& reply, std::size_t received) {
  const std::size_t index = StatusByteOf(indicator);
  if (index >= received) return std::nullopt;
  const unsigned set = reply[index] & StatusMaskOf(indicator);
  // Paper end needs both sensor bits; one alone is paper near its end, still printing.
  if (indicator == StatusIndicator::Paper) return set == StatusMaskOf(indicator);
  return set != 0;
}

}  // namespace printerlink
