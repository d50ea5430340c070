#include "TargetAddress.h"

#include <cstdio>

std::string DottedQuad(const std::array<std::uint8_t, 4>& o) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", o[0], o[1], o[2], o[3]);
  return text;
}

std::string TargetAddressFor(int addressMode, const std::array<std::uint8_t, 4>& targetFields, int listCount,
                             const std::string& listText) {
  if (addressMode == 0) return DottedQuad(targetFields);
  return listCount > 0 ? listText : std::string(kDefaultPrinterAddress);
}
