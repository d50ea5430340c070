// The socket layer's parts that do not depend on the system: address text and
// the library's start-up scope.

#include "SocketLibrary.h"

#include <arpa/inet.h>

namespace printerlink {

std::string DottedQuad(const std::array<std::uint8_t, 4>& o) {
  return std::to_string(o[0]) + '.' + std::to_string(o[1]) + '.' + std::to_string(o[2]) + '.' + std::to_string(o[3]);
}

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
  std::uint32_t host = 0;
  int octets = 0;
  std::size_t i = 0;
  while (octets < 4) {
    if (octets > 0) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
    unsigned value = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || value > 255) return std::nullopt;
    host = (host << 8) | value;
    ++octets;
  }
  if (i != text.size()) return std::nullopt;
  return htonl(host);
}

SocketLibraryScope::SocketLibraryScope(SocketLibrary& library, SocketVersion required) : library_(library) {
  SocketVersion granted;
  if (library_.Startup(required, granted) != 0) return;
  if (granted != required) {
    library_.Cleanup();
    wrongVersion_ = true;
    return;
  }
  started_ = true;
}

SocketLibraryScope::~SocketLibraryScope() {
  if (started_) library_.Cleanup();
}

}  // namespace printerlink
