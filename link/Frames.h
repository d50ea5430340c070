#pragma once
// The ten-byte buffers a command goes out in and its reply comes back in, and
// the bytes of every printer command that travels in them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace printerlink {

inline constexpr std::size_t kFrameSize = 10;

// The bytes of the command being sent; index 0 is the first byte on the wire.
// Only the first `length` bytes a builder returns are ever sent.
using CommandFrame = std::array<std::uint8_t, kFrameSize>;
// The bytes of the last reply; index 0 is the first byte received.
using ReplyBuffer = std::array<std::uint8_t, kFrameSize>;

using Ipv4Octets = std::array<std::uint8_t, 4>;  // first octet of the dotted text first
using MacBytes = std::array<std::uint8_t, 6>;    // first hex pair of the MAC text first

// The printer's configuration frames end in the sum of the bytes they cover,
// kept to its low eight bits.
std::uint8_t Checksum(std::span<const std::uint8_t> bytes);

// Each builder writes its frame from index 0 and returns the number of bytes
// to send. Init, Drawer, Feed and Cut clear all ten bytes first; the others
// write only their own bytes and leave the rest as an earlier command left it.
std::size_t BuildInitFrame(CommandFrame& frame);                              // ESC @
std::size_t BuildDrawerFrame(CommandFrame& frame);                            // ESC p 0 8 8: pin 2, 16 ms on, 16 ms off
std::size_t BuildFeedFrame(CommandFrame& frame);                              // ESC d 16: print and feed 16 lines
std::size_t BuildCutFrame(CommandFrame& frame);                               // ESC m
std::size_t BuildStatusQueryFrame(CommandFrame& frame);                       // ESC v, answered on port 4000
std::size_t BuildSetIpFrame(CommandFrame& frame, const Ipv4Octets& address);  // GS D o1..o4 s
std::size_t BuildSetMacFrame(CommandFrame& frame, const MacBytes& mac);       // GS E m0..m5 s

// Any bytes at all, sent as given. A list of 1 to 10 bytes is written and
// its length returned; an empty list or one longer than the frame writes
// nothing and returns 0, so the frame is never written past its tenth byte.
std::size_t BuildRawHexFrame(CommandFrame& frame, std::span<const std::uint8_t> bytes);

}  // namespace printerlink
