#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PrinterDecoder.h"

using namespace printerlink;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

void Append(std::vector<DecodedCommand>& to, std::vector<DecodedCommand> more) {
  to.insert(to.end(), more.begin(), more.end());
}

std::vector<std::string> Lines(const Bytes& bytes) {
  std::vector<std::string> lines;
  for (const DecodedCommand& c : DecodeStream(bytes)) lines.push_back(Describe(c));
  return lines;
}

struct DecodeCase {
  std::string catches;
  Bytes bytes;
  std::vector<std::string> expected;
};

TEST(PrinterDecoder, EachCommandIsNamedWithItsParameters) {
  const std::vector<DecodeCase> cases = {
      {"ESC @ initialises", {0x1B, 0x40}, {"ESC @  initialise"}},
      {"drawer m 0 is pin 2, times are twice the bytes", {0x1B, 0x70, 0x00, 0x08, 0x08},
       {"ESC p  drawer pulse: pin 2, on 16 ms, off 16 ms"}},
      {"drawer m 1 is pin 5, on and off not swapped", {0x1B, 0x70, 0x01, 0x32, 0x64},
       {"ESC p  drawer pulse: pin 5, on 100 ms, off 200 ms"}},
      {"feed count is the third byte", {0x1B, 0x64, 0x10}, {"ESC d  print and feed 16 lines"}},
      {"ESC m cuts", {0x1B, 0x6D}, {"ESC m  cut"}},
      {"ESC v asks for status", {0x1B, 0x76}, {"ESC v  status request"}},
      {"GS D octets in the order sent", {0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCD},
       {"GS D   set address 192.168.1.100, checksum CD ok"}},
      {"GS D checksum wraps: 255.255.255.255 -> FC", {0x1D, 0x44, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC},
       {"GS D   set address 255.255.255.255, checksum FC ok"}},
      {"GS E MAC in colon form", {0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xFF},
       {"GS E   set MAC 55:44:33:22:11:00, checksum FF ok"}},
      {"GS E checksum wraps: FF x 6 -> FA", {0x1D, 0x45, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA},
       {"GS E   set MAC FF:FF:FF:FF:FF:FF, checksum FA ok"}},
      {"a frame's parameters are never read as commands", {0x1D, 0x44, 0x1B, 0x76, 0x00, 0x00, 0x91},
       {"GS D   set address 27.118.0.0, checksum 91 ok"}},
      {"commands of one connection keep their order", {0x1B, 0x40, 0x1B, 0x64, 0x01, 0x1B, 0x6D},
       {"ESC @  initialise", "ESC d  print and feed 1 line", "ESC m  cut"}},
      {"the connection ended inside a frame", {0x1D, 0x44, 0xC0, 0xA8},
       {"GS D   set address CUT SHORT: 1D 44 C0 A8 (4 of 7 bytes)"}},
      {"unknown ESC keeps its code byte, neighbours join", {0x1B, 0x61, 0x01}, {"raw    1B 61 01"}},
      {"unknown ESC does not swallow the next ESC", {0x1B, 0x1B, 0x40}, {"raw    1B", "ESC @  initialise"}},
      {"lone ESC at the end is raw", {0x41, 0x1B}, {"text   \"A\"", "raw    1B"}},
      {"control bytes and DEL are raw", {0x07, 0x7F}, {"raw    07 7F"}},
      {"text splits after each line feed", FromText("AB\nCD"), {"text   \"AB\\n\"", "text   \"CD\""}},
      {"GBK shown as UTF-8", {0xB2, 0xE2, 0xCA, 0xD4, 0xD2, 0xB3, 0x0A}, {"text   \"测试页\\n\""}},
      {"GBK lead byte without a trail byte is raw", {0x41, 0x81, 0x0A},
       {"text   \"A\"", "raw    81", "text   \"\\n\""}},
      {"quotes, backslashes, CR and tab escaped", FromText("\"\\\r\t"), {"text   \"\\\"\\\\\\r\\t\""}},
  };
  for (const DecodeCase& c : cases) EXPECT_EQ(Lines(c.bytes), c.expected) << c.catches;
}

TEST(PrinterDecoder, ChecksumMismatchIsReportedWithBothValues) {
  const struct {
    std::string catches;
    Bytes bytes;
    std::string shows;
  } cases[] = {
      {"GS D off by one", {0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCE}, "frame has CE, the bytes sum to CD"},
      {"GS D sum not kept to eight bits", {0x1D, 0x44, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "frame has FF, the bytes sum to FC"},
      {"GS E checksum left at zero", {0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0x00},
       "frame has 00, the bytes sum to FF"},
  };
  for (const auto& c : cases) {
    const auto commands = DecodeStream(c.bytes);
    ASSERT_EQ(commands.size(), 1u) << c.catches;
    EXPECT_FALSE(ChecksumMatches(commands[0])) << c.catches;
    EXPECT_NE(Describe(commands[0]).find("CHECKSUM MISMATCH: " + c.shows), std::string::npos)
        << c.catches << ": " << Describe(commands[0]);
  }
}

// TCP delivers a connection's bytes in whatever pieces it likes; the
// transcript must not depend on where they were cut.
TEST(PrinterDecoder, BytesCutAnywhereDecodeTheSame) {
  const Bytes stream = {0x1B, 0x40,                                      // ESC @
                        0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCD,        // GS D
                        'O',  'K',  0xB2, 0xE2, 0xCA, 0xD4, 0x0A,        // text with GBK, line feed
                        0x1B, 0x76,                                      // ESC v
                        0x1B, 0x61, 0x01,                                // unknown: raw
                        0xD2, 0xB3, 'x',                                 // text without a line feed
                        0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xFF,
                        0x1B, 0x70, 0x00};                               // drawer cut short
  const std::vector<DecodedCommand> whole = DecodeStream(stream);
  ASSERT_EQ(whole.size(), 8u);

  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    StreamDecoder decoder;
    std::vector<DecodedCommand> got = decoder.Feed(std::span(stream).first(cut));
    Append(got, decoder.Feed(std::span(stream).subspan(cut)));
    Append(got, decoder.Finish());
    EXPECT_EQ(got, whole) << "cut after byte " << cut;
  }
  StreamDecoder byteByByte;
  std::vector<DecodedCommand> got;
  for (std::uint8_t b : stream) Append(got, byteByByte.Feed(std::span(&b, 1)));
  Append(got, byteByByte.Finish());
  EXPECT_EQ(got, whole) << "one byte per read";
}

// A flood of raw bytes (an image, noise) is one entry, shown by its first
// bytes and its length, and the decoder holds on to none of it.
TEST(PrinterDecoder, LongRawRunIsOneEntryWithItsFirstBytesAndLength) {
  const Bytes noise(100000, 0x07);
  StreamDecoder decoder;
  std::vector<DecodedCommand> got;
  for (std::size_t at = 0; at < noise.size(); at += 4096) {
    Append(got, decoder.Feed(std::span(noise).subspan(at, std::min<std::size_t>(4096, noise.size() - at))));
  }
  EXPECT_TRUE(got.empty()) << "a raw run that may go on came out early";
  const Bytes status = {0x1B, 0x76};
  Append(got, decoder.Feed(status));
  ASSERT_EQ(got.size(), 2u) << "the run must end where the status request starts";
  EXPECT_EQ(got[0].Length(), noise.size());
  EXPECT_LE(got[0].bytes.size(), 32u) << "the run kept more than its first bytes";
  EXPECT_EQ(Describe(got[0]).substr(0, 12), "raw    07 07");
  EXPECT_NE(Describe(got[0]).find("... (100000 bytes)"), std::string::npos) << Describe(got[0]);
  EXPECT_EQ(got[1].kind, CommandKind::StatusRequest);
  EXPECT_TRUE(decoder.Finish().empty()) << "the status request was kept after it came out";
}

// The server answers ESC v from what Feed returns, so the request must come
// out as soon as its second byte is in, not when the connection ends.
TEST(PrinterDecoder, StatusRequestCompletesWithItsLastByte) {
  StreamDecoder decoder;
  const Bytes first = {'A', 0x1B};
  const Bytes second = {0x76};
  const auto early = decoder.Feed(first);
  ASSERT_EQ(early.size(), 1u) << "text followed by ESC is complete";
  EXPECT_EQ(early[0].kind, CommandKind::Text);
  const auto now = decoder.Feed(second);
  ASSERT_EQ(now.size(), 1u);
  EXPECT_EQ(now[0].kind, CommandKind::StatusRequest);
}

}  // namespace
