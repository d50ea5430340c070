#include "SweepHosts.h"

#include "SocketLibrary.h"

namespace printerlink {

std::vector<std::string> SweepAddresses(const std::array<std::uint8_t, 3>& subnet) {
  std::vector<std::string> addresses;
  for (int host = kSweepFirstHost; host <= kSweepLastHost; ++host) {
    addresses.push_back(DottedQuad({subnet[0], subnet[1], subnet[2], static_cast<std::uint8_t>(host)}));
  }
  return addresses;
}

}  // namespace printerlink
