#include "Settings.h"

#include "ResourceIds.h"

#include <algorithm>

namespace printerlink {
namespace {

constexpr std::uint8_t kFirstMulticastOctet = 224;  // 224.0.0.0/4 and the reserved 240.0.0.0/4 above it
constexpr std::uint8_t kGroupBit = 0x01;            // of a MAC's first byte: the frame goes to a group

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool IsThisNetwork(const Ipv4Octets& address) { return address[0] == 0; }

std::optional<SettingProblem> CheckNewAddress(const Ipv4Octets& address, int filledParts) {
  if (filledParts < static_cast<int>(address.size())) return SettingProblem::AddressPartBlank;
  if (IsThisNetwork(address) || address[0] >= kFirstMulticastOctet) return SettingProblem::AddressNotForAStation;
  return std::nullopt;
}

std::optional<SettingProblem> CheckMac(const MacBytes& mac) {
  const bool zero = std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b == 0; });
  if (zero || (mac[0] & kGroupBit)) return SettingProblem::MacNotForAStation;
  return std::nullopt;
}

std::optional<MacBytes> ParseMacDigits(std::string_view digits) {
  MacBytes mac{};
  if (digits.size() != 2 * mac.size()) return std::nullopt;
  for (std::size_t j = 0; j < mac.size(); ++j) {
    const int hi = HexDigit(digits[2 * j]);
    const int lo = HexDigit(digits[2 * j + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    mac[j] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return mac;
}

std::optional<SettingProblem> ReadMacText(std::string_view text, MacBytes& mac) {
  const std::optional<MacBytes> read = ParseMacDigits(text);
  if (!read) return SettingProblem::MacNotTwelveDigits;
  if (const auto problem = CheckMac(*read)) return problem;
  mac = *read;
  return std::nullopt;
}

int SettingProblemTextId(SettingProblem problem) {
  switch (problem) {
    case SettingProblem::MacNotTwelveDigits: return IDS_MAC_LENGTH;
    case SettingProblem::MacNotForAStation: return IDS_MAC_NOT_FOR_A_STATION;
    case SettingProblem::AddressPartBlank:
    case SettingProblem::AddressNotForAStation: return IDS_NEW_IP_NOT_FOR_A_STATION;
  }
  return 0;
}

}  // namespace printerlink
