#include "TargetAddress.h"

std::string TargetAddressFor(int addressMode, const std::array<std::uint8_t, 4>& targetFields, int listCount,
                             const std::string& listText) {
  if (addressMode == 0) return DottedQuad(targetFields);
  return listCount > 0 ? listText : std::string(kDefaultPrinterAddress);
}
