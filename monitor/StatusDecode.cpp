#include "StatusDecode.h"

#include "Strings.h"

std::optional<IndicatorLook> DecodeIndicator(StatusIndicator indicator, const printerlink::ReplyBuffer& reply,
                                             std::size_t received) {
  const std::optional<bool> set = printerlink::ConditionSet(indicator, reply, received);
  if (!set) return std::nullopt;
  return IndicatorLook{res::ConditionCaptionId(indicator, *set),
                       static_cast<UINT>(*set ? IDI_STATE_BAD : IDI_STATE_GOOD)};
}
