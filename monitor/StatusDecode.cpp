#include "StatusDecode.h"

#include "ResourceIds.h"

std::optional<IndicatorLook> DecodeIndicator(StatusIndicator indicator, const printerlink::ReplyBuffer& reply,
                                             std::size_t received) {
  const std::optional<bool> set = printerlink::ConditionSet(indicator, reply, received);
  if (!set) return std::nullopt;
  auto look = [fault = *set](int faultText, int fineText) {
    return fault ? IndicatorLook{faultText, static_cast<UINT>(IDI_STATE_BAD)}
                 : IndicatorLook{fineText, static_cast<UINT>(IDI_STATE_GOOD)};
  };
  switch (indicator) {
    case StatusIndicator::Cover: return look(IDS_COVER_OPEN, IDS_COVER_CLOSED);
    case StatusIndicator::Busy: return look(IDS_BUSY, IDS_IDLE);
    case StatusIndicator::Temperature: return look(IDS_TEMP_OVER, IDS_TEMP_OK);
    case StatusIndicator::Pause: return look(IDS_PAUSED, IDS_PRINT_ALLOWED);
    case StatusIndicator::Paper: return look(IDS_PAPER_END, IDS_PAPER_OK);
  }
  return std::nullopt;
}
