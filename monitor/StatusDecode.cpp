#include "StatusDecode.h"

#include "ResourceIds.h"

std::optional<IndicatorLook> LookOf(const printerlink::ConditionRow& row, const std::optional<bool>& set) {
  if (!set) return std::nullopt;
  return IndicatorLook{*set ? row.faultCaptionId : row.fineCaptionId,
                       static_cast<UINT>(*set ? IDI_STATE_BAD : IDI_STATE_GOOD)};
}
