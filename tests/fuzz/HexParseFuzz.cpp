// Fuzz target for the hex text readers: any text, however odd, gives a count
// of at least one, never writes past the ten bytes of the frame, agrees with
// the full list, and a MAC text is taken exactly when it has 12 characters.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "HexParse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)ParseHexValue(text);

  struct {
    printerlink::CommandFrame frame;
    std::array<std::uint8_t, 16> guard;
  } area;
  area.frame.fill(0x5A);
  area.guard.fill(0xA5);
  const int count = ParseHexList(text, area.frame);
  if (count < 1) __builtin_trap();
  for (std::uint8_t b : area.guard) {
    if (b != 0xA5) __builtin_trap();
  }
  const auto pieces = ParseHexPieces(text);
  if (static_cast<int>(pieces.size()) != count) __builtin_trap();
  const std::size_t written = std::min<std::size_t>(pieces.size(), area.frame.size());
  if (std::memcmp(pieces.data(), area.frame.data(), written) != 0) __builtin_trap();

  printerlink::MacBytes mac{};
  if (ParseMacText(text, mac) != (size == 12)) __builtin_trap();
  return 0;
}
