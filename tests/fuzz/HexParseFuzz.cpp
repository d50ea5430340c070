// Fuzz target for the hex text readers: any text, however odd, gives at least
// one byte, and a MAC text is taken only when it is 12 hex digits.
#include <cstdint>
#include <string>

#include "HexParse.h"
#include "Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)ParseHexValue(text);

  if (ParseHexPieces(text).empty()) __builtin_trap();

  const bool twelveDigits = size == 12 && text.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
  if (printerlink::ParseMacDigits(text).has_value() != twelveDigits) __builtin_trap();
  return 0;
}
