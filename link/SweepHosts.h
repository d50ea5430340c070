#pragma once
// The hosts a sweep of a /24 probes and the one wait they all share. The
// probing itself is the transport's (ProbePrinters).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace printerlink {

inline constexpr int kSweepFirstHost = 1;
inline constexpr int kSweepLastHost = 254;     // host numbers 0 and 255 are never probed
inline constexpr int kSweepProbeWaitMs = 500;  // one wait for a whole /24, cold ARP included

// The addresses a sweep of subnet.0/24 probes, hosts 1 to 254 in order.
std::vector<std::string> SweepAddresses(const std::array<std::uint8_t, 3>& subnet);

}  // namespace printerlink
