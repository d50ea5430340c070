#include "TargetAddress.h"

std::string TargetAddressFor(int addressMode, const std::array<std::uint8_t, 4>& targetFields, int listCount,
                             const std::string& listText) {
  // An empty list falls back on the typed address: the one on the screen.
  if (addressMode == 0 || listCount == 0) return DottedQuad(targetFields);
  return listText;
}
