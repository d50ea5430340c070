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

std::optional<bool> ConditionSet(StatusIndicator indicator, const ReplyBuffer& reply, std::size_t received) {
  const std::size_t index = StatusByteOf(indicator);
  if (index >= received) return std::nullopt;
  const unsigned b = reply[index];
  switch (indicator) {
    case StatusIndicator::Cover: return (b & 0x20) != 0;
    case StatusIndicator::Busy: return (b & 0x08) != 0;
    case StatusIndicator::Temperature: return (b & 0x40) != 0;
    case StatusIndicator::Pause: return (b & 0x30) != 0;
    case StatusIndicator::Paper:
      // Paper end needs both sensor bits; one alone is paper near its end, still printing.
      return (b & 0x0C) == 0x0C;
  }
  return std::nullopt;
}

}  // namespace printerlink
