// Fuzz target for the hex text readers: any text, however odd, gives at least
// one byte, and a MAC text is taken exactly when it has 12 characters.
#include <cstdint>
#include <string>

#include "HexParse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)ParseHexValue(text);

  if (ParseHexPieces(text).empty()) __builtin_trap();

  printerlink::MacBytes mac{};
  if (ParseMacText(text, mac) != (size == 12)) __builtin_trap();
  return 0;
}
