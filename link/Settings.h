#pragma once
// The settings a technician gives a printer, its address and its MAC, checked
// before anything is sent. A printer given an address or a MAC no station may
// have drops off the network until someone resets it on site.

#include <optional>
#include <string_view>

#include "Frames.h"

namespace printerlink {

// Why a setting is refused; each front end says it in its own words.
enum class SettingProblem {
  MacNotTwelveDigits,     // the MAC text is not exactly twelve hex digits
  MacNotForAStation,      // a group (multicast) MAC, or all zeros
  AddressPartBlank,       // a part of the new address was left blank
  AddressNotForAStation,  // first part 0 (this network) or 224 and above (multicast, reserved, broadcast)
};

// 0.0.0.0/8, "this network": a connection there reaches the technician's own
// machine, never a printer.
bool IsThisNetwork(const Ipv4Octets& address);

// A new address a printer can live on: all four parts given (`filledParts` of
// them are), the first from 1 to 223. Loopback stays allowed: the virtual
// printer answers there.
std::optional<SettingProblem> CheckNewAddress(const Ipv4Octets& address, int filledParts = 4);

// A MAC a printer can have: no group address (lowest bit of the first byte
// set, broadcast included), not all zeros.
std::optional<SettingProblem> CheckMac(const MacBytes& mac);

// Exactly twelve hex digits, either case, as six bytes, first pair first.
std::optional<MacBytes> ParseMacDigits(std::string_view digits);

// The string that tells the technician what is wrong with the setting.
int SettingProblemTextId(SettingProblem problem);

// The console's MAC text read and checked: twelve hex digits, then CheckMac.
// `mac` is written only when nothing is wrong.
std::optional<SettingProblem> ReadMacText(std::string_view text, MacBytes& mac);

}  // namespace printerlink
