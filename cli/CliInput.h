#pragma once
// What the technician types on the command line, read strictly: anything the
// program cannot read exactly is refused with the piece that was wrong, so
// nothing half-understood goes to the printer.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Frames.h"

namespace printercli {

// "1B,64,10": bytes separated by commas, each one or two hex digits in either
// case, blanks around a piece allowed. `badPiece` names the first piece that
// is no byte ("ZZ", "100", "" for an empty piece); `bytes` is then empty.
struct HexList {
  std::vector<std::uint8_t> bytes;
  std::optional<std::string> badPiece;
};
HexList ParseHexBytes(std::string_view text);

// Twelve hex digits, bare ("0012AB34CD56") or in six pairs joined by one
// kind of separator, ':' or '-' ("00:12:AB:34:CD:56").
std::optional<printerlink::MacBytes> ParseMac(std::string_view text);

// "192.168.1" as the three octets of a /24.
std::optional<std::array<std::uint8_t, 3>> ParseSubnet(std::string_view text);

// A dotted-quad address as its four octets, first octet first.
std::optional<printerlink::Ipv4Octets> ParseAddress(std::string_view text);

inline constexpr int kWatchIntervalSeconds = 2;  // the status monitor's poll

// The SECONDS of status --watch: the status monitor's 2 s when given without
// a value, else a whole number from 1 to 86400.
std::optional<int> ParseWatchSeconds(std::string_view text);

inline constexpr int kFollowSeconds = 60;  // set-ip --follow: a printer's restart with room to spare
// The SECONDS of set-ip --follow: 60 without a value, else 1 to 3600.
std::optional<int> ParseFollowSeconds(std::string_view text);

// UTF-8 text as the GBK bytes the printer prints, character for character:
// nothing added, nothing removed, line ends kept as they are. A byte-order
// mark at the very start is no character and is dropped. The first character
// GBK lacks, or the first bytes that are no UTF-8, make the whole conversion
// fail with its line and column (both from 1, columns counted in characters).
struct GbkText {
  std::string bytes;
  std::string error;  // "line 2, column 7: "€" (U+20AC) has no GBK form"; empty when converted
  int line = 0;
  int column = 0;
  bool ok() const { return error.empty(); }
};
GbkText Utf8ToGbk(std::string_view utf8);

// How many bytes at the start of `text` are well-formed UTF-8: all of them
// when it is UTF-8 throughout.
std::size_t Utf8Length(std::string_view text);

}  // namespace printercli
