#include "HexParse.h"

#include <algorithm>

std::int32_t ParseHexValue(const std::string& text) {
  std::uint32_t value = 0;
  std::size_t k = 0;
  for (auto it = text.rbegin(); it != text.rend(); ++it, ++k) {
    // 16^k fits in 32 bits only up to k = 7; beyond it the weight is 0, so
    // a ninth character from the right adds nothing.
    if (k >= 8) break;
    const unsigned char c = static_cast<unsigned char>(*it);
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      continue;  // lower case, blanks and the rest take the position but add nothing
    }
    value += digit << (4 * k);
  }
  return static_cast<std::int32_t>(value);
}

std::vector<std::uint8_t> ParseHexPieces(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::size_t start = 0;  // where the rest begins
  for (std::size_t comma = text.find(','); comma != std::string::npos && comma > start; comma = text.find(',', start)) {
    bytes.push_back(static_cast<std::uint8_t>(ParseHexValue(text.substr(start, comma - start)) & 0xFF));
    start = comma + 1;
  }
  bytes.push_back(static_cast<std::uint8_t>(ParseHexValue(text.substr(start)) & 0xFF));
  return bytes;
}
