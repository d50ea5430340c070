#include "Frames.h"

#include <algorithm>
#include <initializer_list>

namespace printerlink {
namespace {

std::size_t Write(CommandFrame& frame, std::initializer_list<std::uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), frame.begin());
  return bytes.size();
}

std::size_t ClearAndWrite(CommandFrame& frame, std::initializer_list<std::uint8_t> bytes) {
  frame.fill(0);
  return Write(frame, bytes);
}

constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t GS = 0x1D;

}  // namespace

std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  return static_cast<std::uint8_t>(sum & 0xFF);
}

std::size_t BuildInitFrame(CommandFrame& frame) { return ClearAndWrite(frame, {ESC, 0x40}); }

std::size_t BuildDrawerFrame(CommandFrame& frame) { return ClearAndWrite(frame, {ESC, 0x70, 0x00, 0x08, 0x08}); }

std::size_t BuildFeedFrame(CommandFrame& frame) { return ClearAndWrite(frame, {ESC, 0x64, 0x10}); }

std::size_t BuildCutFrame(CommandFrame& frame) { return ClearAndWrite(frame, {ESC, 0x6D}); }

std::size_t BuildStatusQueryFrame(CommandFrame& frame) { return Write(frame, {ESC, 0x76}); }

std::size_t BuildSetIpFrame(CommandFrame& frame, const Ipv4Octets& address) {
  Write(frame, {GS, 0x44});
  std::copy(address.begin(), address.end(), frame.begin() + 2);
  frame[6] = Checksum(address);
  return 7;
}

std::size_t BuildSetMacFrame(CommandFrame& frame, const MacBytes& mac) {
  Write(frame, {GS, 0x45});
  std::copy(mac.begin(), mac.end(), frame.begin() + 2);
  frame[8] = Checksum(mac);
  return 9;
}

std::size_t BuildRawHexFrame(CommandFrame& frame, std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > frame.size()) return 0;
  std::copy(bytes.begin(), bytes.end(), frame.begin());
  return bytes.size();
}

}  // namespace printerlink
