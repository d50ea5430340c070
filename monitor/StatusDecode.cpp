#include "StatusDecode.h"

#include "ResourceIds.h"

std::size_t StatusByteOf(StatusIndicator indicator) {
  switch (indicator) {
    case StatusIndicator::Cover:
    case StatusIndicator::Busy:
      return 0;
    case StatusIndicator::Temperature:
    case StatusIndicator::Pause:
      return 1;
    case StatusIndicator::Paper:
      return 2;
  }
  return 0;
}

std::optional<IndicatorLook> DecodeIndicator(StatusIndicator indicator, const printerlink::ReplyBuffer& reply,
                                             std::size_t received) {
  const std::size_t index = StatusByteOf(indicator);
  if (index >= received) return std::nullopt;
  const unsigned b = reply[index];
  auto look = [](bool fault, int faultText, int fineText) {
    return fault ? IndicatorLook{faultText, static_cast<UINT>(IDI_STATE_BAD)}
                 : IndicatorLook{fineText, static_cast<UINT>(IDI_STATE_GOOD)};
  };
  switch (indicator) {
    case StatusIndicator::Cover:
      return look(b & 0x20, IDS_COVER_OPEN, IDS_COVER_CLOSED);
    case StatusIndicator::Busy:
      return look(b & 0x08, IDS_BUSY, IDS_IDLE);
    case StatusIndicator::Temperature:
      return look(b & 0x40, IDS_TEMP_OVER, IDS_TEMP_OK);
    case StatusIndicator::Pause:
      return look(b & 0x30, IDS_PAUSED, IDS_PRINT_ALLOWED);
    case StatusIndicator::Paper:
      // Paper end needs both sensor bits; one alone is paper near its end, still printing.
      return look((b & 0x0C) == 0x0C, IDS_PAPER_END, IDS_PAPER_OK);
  }
  return std::nullopt;
}
