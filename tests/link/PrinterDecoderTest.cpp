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
      {"drawer m 0 is pin 2, times are twice the bytes",
       {0x1B, 0x70, 0x00, 0x08, 0x08},
       {"ESC p  drawer pulse: pin 2, on 16 ms, off 16 ms"}},
      {"drawer m 1 is pin 5, on and off not swapped",
       {0x1B, 0x70, 0x01, 0x32, 0x64},
       {"ESC p  drawer pulse: pin 5, on 100 ms, off 200 ms"}},
      {"feed count is the third byte", {0x1B, 0x64, 0x10}, {"ESC d  print and feed 16 lines"}},
      {"ESC m cuts", {0x1B, 0x6D}, {"ESC m  cut"}},
      {"ESC v asks for status", {0x1B, 0x76}, {"ESC v  status request"}},
      {"GS D octets in the order sent",
       {0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCD},
       {"GS D   set address 192.168.1.100, checksum CD ok"}},
      {"GS D checksum wraps: 255.255.255.255 -> FC",
       {0x1D, 0x44, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC},
       {"GS D   set address 255.255.255.255, checksum FC ok"}},
      {"GS E MAC in colon form",
       {0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xFF},
       {"GS E   set MAC 55:44:33:22:11:00, checksum FF ok"}},
      {"GS E checksum wraps: FF x 6 -> FA",
       {0x1D, 0x45, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA},
       {"GS E   set MAC FF:FF:FF:FF:FF:FF, checksum FA ok"}},
      {"a frame's parameters are never read as commands",
       {0x1D, 0x44, 0x1B, 0x76, 0x00, 0x00, 0x91},
       {"GS D   set address 27.118.0.0, checksum 91 ok"}},
      {"commands of one connection keep their order",
       {0x1B, 0x40, 0x1B, 0x64, 0x01, 0x1B, 0x6D},
       {"ESC @  initialise", "ESC d  print and feed 1 line", "ESC m  cut"}},
      {"the connection ended inside a frame",
       {0x1D, 0x44, 0xC0, 0xA8},
       {"GS D   set address CUT SHORT: 1D 44 C0 A8 (4 of 7 bytes)"}},
      {"unknown ESC keeps its code byte, neighbours join, the line says where decoding resumed",
       {0x41, 0x1B, 0x7E, 0x01},
       {"text   \"A\"", "raw    1B 7E 01 (unknown command; in step again at byte 4)"}},
      {"unknown ESC does not swallow the next ESC",
       {0x1B, 0x1B, 0x40},
       {"raw    1B (unknown command; in step again at byte 1)", "ESC @  initialise"}},
      {"lone ESC at the end is raw",
       {0x41, 0x1B},
       {"text   \"A\"", "raw    1B (unknown command; in step again at byte 2)"}},
      {"control bytes and DEL are raw", {0x07, 0x7F}, {"raw    07 7F"}},
      {"text splits after each line feed", FromText("AB\nCD"), {"text   \"AB\\n\"", "text   \"CD\""}},
      {"GBK shown as UTF-8", {0xB2, 0xE2, 0xCA, 0xD4, 0xD2, 0xB3, 0x0A}, {"text   \"测试页\\n\""}},
      {"GBK lead byte without a trail byte is raw",
       {0x41, 0x81, 0x0A},
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
      {"GS D sum not kept to eight bits",
       {0x1D, 0x44, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       "frame has FF, the bytes sum to FC"},
      {"GS E checksum left at zero",
       {0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0x00},
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
  const Bytes stream = {0x1B, 0x40,                                // ESC @
                        0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCD,  // GS D
                        'O',  'K',  0xB2, 0xE2, 0xCA, 0xD4, 0x0A,  // text with GBK, line feed
                        0x1B, 0x76,                                // ESC v
                        0x1B, 0x61, 0x01,                          // ESC a centre
                        0xD2, 0xB3, 'x',                           // text without a line feed
                        0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xFF, 0x1B, 0x70, 0x00};  // drawer cut short
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

// What receipt software sends, as it sends it. Each row is also decoded
// with the bytes cut at every point, below.
const std::vector<DecodeCase>& ReceiptCases() {
  static const std::vector<DecodeCase> cases = {
      {"ESC ! bits: font B, emphasised, double height and width, underline",
       {0x1B, 0x21, 0xB9},
       {"ESC !  print mode: font B, emphasised, double height, double width, underlined"}},
      {"ESC ! 0 is plain font A", {0x1B, 0x21, 0x00}, {"ESC !  print mode: font A"}},
      {"ESC E takes the low bit only",
       {0x1B, 0x45, 0x01, 0x1B, 0x45, 0xFE},
       {"ESC E  emphasis on", "ESC E  emphasis off"}},
      {"ESC - 2 is two dots thick, ASCII digit too",
       {0x1B, 0x2D, 0x02, 0x1B, 0x2D, '1'},
       {"ESC -  underline on, two dots thick", "ESC -  underline on, one dot thick"}},
      {"ESC a numbers and ASCII digits",
       {0x1B, 0x61, 0x01, 0x1B, 0x61, '2', 0x1B, 0x61, 0x00},
       {"ESC a  align centre", "ESC a  align right", "ESC a  align left"}},
      {"ESC J feeds dots, not lines", {0x1B, 0x4A, 0x18}, {"ESC J  print and feed 24 dots"}},
      {"ESC t names the code page", {0x1B, 0x74, 0x10}, {"ESC t  code page 16 (WPC1252), one byte a character"}},
      {"ESC M 1 is font B", {0x1B, 0x4D, 0x01}, {"ESC M  font B"}},
      {"ESC R character set", {0x1B, 0x52, 0x0F}, {"ESC R  international character set 15"}},
      {"ESC 2 has no parameter, ESC 3 has one",
       {0x1B, 0x32, 0x1B, 0x33, 0x40},
       {"ESC 2  default line spacing", "ESC 3  line spacing 64 dots"}},
      {"ESC i full cut beside ESC m", {0x1B, 0x69, 0x1B, 0x6D}, {"ESC i  full cut", "ESC m  cut"}},
      {"ESC u", {0x1B, 0x75, 0x00}, {"ESC u  peripheral status request"}},
      {"GS V 0 and 49: no feed byte", {0x1D, 0x56, 0x00, 0x1D, 0x56, 0x31}, {"GS V   full cut", "GS V   partial cut"}},
      {"GS V 66 n feeds first", {0x1D, 0x56, 0x42, 0x03}, {"GS V   feed 3 dots and partial cut"}},
      {"GS V 65 with a feed byte that looks like a command",
       {0x1D, 0x56, 0x41, 0x1B},
       {"GS V   feed 27 dots and full cut"}},
      {"GS ! high nibble is width, low is height", {0x1D, 0x21, 0x11}, {"GS !   character size: 2 x wide, 2 x high"}},
      {"GS B", {0x1D, 0x42, 0x01}, {"GS B   reverse printing on"}},
      {"GS L and GS W are little-endian",
       {0x1D, 0x4C, 0x10, 0x00, 0x1D, 0x57, 0x40, 0x02},
       {"GS L   left margin 16 dots", "GS W   print area width 576 dots"}},
      {"barcode settings",
       {0x1D, 0x68, 0x50, 0x1D, 0x77, 0x02, 0x1D, 0x48, 0x02, 0x1D, 0x66, 0x00},
       {"GS h   barcode height 80 dots", "GS w   barcode module width 2 dots", "GS H   barcode label below",
        "GS f   barcode label font A"}},
      {"GS k form A ends at NUL", {0x1D, 0x6B, 0x04, 'A', 'B', '1', 0x00}, {"GS k   barcode CODE39 \"AB1\""}},
      {"GS k form B counts, NUL inside is data",
       {0x1D, 0x6B, 0x49, 0x03, '{', 'B', 0x00},
       {"GS k   barcode CODE128 \"{B\\x00\""}},
      {"GS ( k QR model, size, level",
       {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00, 0x1D, 0x28, 0x6B, 0x03,
        0x00, 0x31, 0x43, 0x06, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x31},
       {"GS ( k QR code model 2", "GS ( k QR code module size 6 dots", "GS ( k QR code error correction M"}},
      {"GS ( k QR store takes pL + 256 pH bytes of data",
       {0x1D, 0x28, 0x6B, 0x06, 0x00, 0x31, 0x50, 0x30, 'h', 'i', 0x1B, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30},
       {"GS ( k QR code store \"hi\\x1B\"", "GS ( k QR code print"}},
      {"GS v 0: size in dots, data counted",
       {0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x03, 0x00, 1, 2, 3, 4, 5, 6},
       {"GS v 0 raster image 16 x 3 dots, 6 bytes of image data"}},
      {"GS r and GS a",
       {0x1D, 0x72, 0x01, 0x1D, 0x72, '2', 0x1D, 0x61, 0x0F, 0x1D, 0x61, 0x00},
       {"GS r   status request: paper sensor", "GS r   status request: drawer",
        "GS a   automatic status back: report drawer, online/offline, errors, paper sensor",
        "GS a   automatic status back: off"}},
      {"DLE EOT 1 to 4",
       {0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x03, 0x10, 0x04, 0x04},
       {"DLE EOT real-time status request: printer", "DLE EOT real-time status request: offline cause",
        "DLE EOT real-time status request: error cause", "DLE EOT real-time status request: paper sensor"}},
      {"DLE DC4 pulse and clear",
       {0x10, 0x14, 0x01, 0x00, 0x05, 0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08},
       {"DLE DC4 real-time drawer pulse: pin 2, 500 ms", "DLE DC4 real-time clear the buffers"}},
      {"FS p, FS & and FS .",
       {0x1C, 0x70, 0x01, 0x00, 0x1C, 0x26, 0x1C, 0x2E},
       {"FS p   print stored image 1", "FS &   Chinese character mode on", "FS .   Chinese character mode off"}},
      {"text after FS . is in the ESC t code page",
       {0x1C, 0x2E, 0x1B, 0x74, 0x10, 'c', 'a', 'f', 0xE9, 0x0A},
       {"FS .   Chinese character mode off", "ESC t  code page 16 (WPC1252), one byte a character",
        "text   \"café\\n\""}},
      {"FS & brings GBK back, ESC @ too",
       {0x1C, 0x2E, 0x1C, 0x26, 0xB2, 0xE2, 0x0A, 0x1C, 0x2E, 0x1B, 0x40, 0xB2, 0xE2, 0x0A},
       {"FS .   Chinese character mode off", "FS &   Chinese character mode on", "text   \"测\\n\"",
        "FS .   Chinese character mode off", "ESC @  initialise", "text   \"测\\n\""}},
  };
  return cases;
}

std::vector<std::string> LinesOf(const std::vector<DecodedCommand>& commands) {
  std::vector<std::string> lines;
  for (const DecodedCommand& c : commands) lines.push_back(Describe(c));
  return lines;
}

// Each family of the common command set, with parameter bytes that would
// read as text or as other commands if the decoder lost count of them.
const std::vector<DecodeCase>& FamilyCases() {
  static const std::vector<DecodeCase> cases = {
      {"positions and spacing: parameters that look like text and commands stay parameters",
       {0x1B, 0x24, 0x41, 0x00, 0x1B, 0x5C, 0xF4, 0xFF, 0x1B, 0x20, 0x30, 0x1D, 0x54, 0x31},
       {"ESC $  absolute position 65 dots", "ESC \\  relative position -12 dots", "ESC SP character spacing 48 dots",
        "GS T   print position to the start of the line"}},
      {"upside-down, rotation, double-strike, colour",
       {0x1B, 0x7B, 0x01, 0x1B, 0x56, 0x31, 0x1B, 0x47, 0x00, 0x1B, 0x72, 0x31},
       {"ESC {  upside-down printing on", "ESC V  90 degree rotation on", "ESC G  double-strike off",
        "ESC r  print colour 2"}},
      {"ESC & measured character by character, its dots never text",
       {0x1B, 0x26, 0x03, 0x41, 0x42, 0x02, 'L', 'L', 'L', 'L', 'L', 'L', 0x01, 0x1B, 0x40, 0x0A, 0x1B, 0x25, 0x01},
       {"ESC &  define user-defined characters 41 to 42, 24 dots high", "ESC %  user-defined characters on"}},
      {"ESC * 24-dot columns: three bytes a column, ESC bytes inside",
       {0x1B, 0x2A, 0x21, 0x02, 0x00, 0x1B, 0x40, 0x1B, 0x1D, 0x56, 0x00, 0x0A},
       {"ESC *  bit image 2 x 24 dots, double density, 6 bytes of image data", "text   \"\\n\""}},
      {"ESC D tab positions end at NUL",
       {0x1B, 0x44, 0x08, 0x10, 0x00, '\t', 'x'},
       {"ESC D  tab positions at columns 8, 16", "text   \"\\tx\""}},
      {"GS ( L store and print: the picture's bytes are counted",
       {0x1D, 0x28, 0x4C, 0x0C, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31, 0x08,
        0x00, 0x02, 0x00, 0x1B, 0x41, 0x1D, 0x28, 0x4C, 0x02, 0x00, 0x30, 0x32},
       {"GS ( L graphics store raster 8 x 2 dots, colour 1, 2 bytes of image data",
        "GS ( L graphics print the stored picture"}},
      {"GS 8 L takes a four-byte count",
       {0x1D, 0x38, 0x4C, 0x0C, 0x00, 0x00, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31, 0x08, 0x00, 0x02, 0x00, 'A', 'B'},
       {"GS 8 L graphics store raster 8 x 2 dots, colour 1, 2 bytes of image data"}},
      {"GS ( X and FS ( X of any X are measured by pL pH",
       {0x1D, 0x28, 0x45, 0x03, 0x00, 0x01, 0x49, 0x4E, 0x1C, 0x28, 0x41,
        0x02, 0x00, 0x30, 0x02, 0x1D, 0x28, 0x5A, 0x01, 0x00, 0x41},
       {"GS ( E user setup, fn 1, 3 parameter bytes", "FS ( A kanji character style, fn 48, 2 parameter bytes",
        "GS ( Z function, fn 65, 1 parameter byte"}},
      {"GS ( k names the other 2D codes",
       {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x41, 0x00},
       {"GS ( k PDF417 function 65, 1 parameter byte"}},
      {"kanji commands",
       {0x1C, 0x43, 0x01, 0x1C, 0x53, 0x02, 0x03, 0x1C, 0x2D, 0x01, 0x1C, 0x21, 0x0C, 0x1C, 0x57, 0x01},
       {"FS C   kanji code system Shift JIS", "FS S   kanji spacing 2 dots left, 3 dots right",
        "FS -   kanji underline on, one dot thick", "FS !   kanji print mode 0C", "FS W   kanji quadruple size on"}},
      {"FS 2 takes 72 bytes of dots",
       [] {
         Bytes b = {0x1C, 0x32, 0xFE, 0xA1};
         b.insert(b.end(), 72, 0x1B);
         b.push_back('x');
         return b;
       }(),
       {"FS 2   define user-defined kanji FE A1", "text   \"x\""}},
      {"printer information and the downloaded image",
       {0x1D, 0x49, 0x42, 0x1D, 0x2A, 0x01, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x1D, 0x2F, 0x00},
       {"GS I   printer information request: maker", "GS *   define downloaded image 8 x 8 dots, 8 bytes of image data",
        "GS /   print downloaded image, mode 0"}},
      {"page mode: area, direction, positions, print and cancel",
       {0x1B, 0x4C, 0x1B, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x90, 0x01, 0x1B, 0x54, 0x01,
        0x1D, 0x24, 0x10, 0x00, 0x1D, 0x5C, 0x08, 0x00, 0x18, 0x1B, 0x0C, 0x0C, 0x1B, 0x53},
       {"ESC L  page mode", "ESC W  page mode print area at 0, 0, 512 x 400 dots",
        "ESC T  page mode print direction bottom to top", "GS $   page mode vertical position 16 dots",
        "GS \\   page mode relative vertical position +8 dots", "CAN    cancel the page's data (page mode)",
        "ESC FF print the page (page mode)", "FF     print the page (page mode)", "ESC S  standard mode"}},
      {"box drawing in PC437 after ESC t, not GBK pairs",
       {0x1B, 0x74, 0x00, 0xC9, 0xCD, 0xCD, 0xBB, 0xB0, 0xDB, 0x0A},
       {"ESC t  code page 0 (PC437), one byte a character", "text   \"╔══╗░█\\n\""}},
      {"Katakana from the decoder's own table, its graphics and kanji around the kana",
       {0x1B, 0x74, 0x01, 0xB1, 0xB2, 0xDD, 0x80, 0x95, 0x9C, 0xE0, 0xE9, 0xF1, 0xFE, 0x0A},
       {"ESC t  code page 1 (Katakana), one byte a character", "text   \"ｱｲﾝ▁─╭═♥円▓\\n\""}},
      {"DLE DC4 forms: buzzer, status, power off, pulse, clear, each its own length",
       {0x10, 0x14, 0x07, 0x01, 0x10, 0x14, 0x03, 0x01, 0x1B, 0x02, 0x0A, 0x41, 0x10, 0x14,
        0x02, 0x01, 0x08, 0x10, 0x14, 0x01, 0x01, 0x02, 0x10, 0x14, 0x03, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08},
       {"DLE DC4 real-time send status 1 (automatic status back)", "DLE DC4 real-time buzzer pattern 1, 2 times",
        "DLE DC4 real-time power off", "DLE DC4 real-time drawer pulse: pin 5, 200 ms", "DLE DC4 real-time buzzer off",
        "DLE DC4 real-time clear the buffers"}},
      {"FS q measured picture by picture, dots that look like commands included",
       [] {
         Bytes b = {0x1C, 0x71, 0x02, 0x01, 0x00, 0x01, 0x00};  // two pictures, the first 8 x 8 dots
         b.insert(b.end(), 8, 0x1B);
         b.insert(b.end(), {0x01, 0x00, 0x02, 0x00});  // the second 8 x 16
         b.insert(b.end(), 16, 0x0A);
         b.push_back('x');
         return b;
       }(),
       {"FS q   define NV bit images: 2 pictures, the first 8 x 8 dots, 28 bytes of data", "text   \"x\""}},
      {"PC866 Cyrillic and PC858's euro",
       {0x1B, 0x74, 0x11, 0x8F, 0xE0, 0x1B, 0x74, 0x13, 0xD5, 0x0A},
       {"ESC t  code page 17 (PC866), one byte a character", "text   \"Пр\"",
        "ESC t  code page 19 (PC858), one byte a character", "text   \"€\\n\""}},
  };
  return cases;
}

TEST(PrinterDecoder, EveryFamilyIsConsumedWholeWhereverTheBytesAreCut) {
  for (const DecodeCase& c : FamilyCases()) {
    EXPECT_EQ(Lines(c.bytes), c.expected) << c.catches;
    for (std::size_t cut = 1; cut < c.bytes.size(); ++cut) {
      StreamDecoder decoder;
      std::vector<DecodedCommand> got = decoder.Feed(std::span(c.bytes).first(cut));
      Append(got, decoder.Feed(std::span(c.bytes).subspan(cut)));
      Append(got, decoder.Finish());
      EXPECT_EQ(LinesOf(got), c.expected) << c.catches << ", cut after byte " << cut;
    }
  }
}

// A picture's dots are kept, up to the bound asked for, for whoever draws it.
TEST(PrinterDecoder, PictureDotsAreKeptUpToTheBound) {
  Bytes raster = {0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x03, 0x00};
  for (std::uint8_t i = 1; i <= 6; ++i) raster.push_back(i);
  StreamDecoder keepAll(100), keepFour(4);
  auto all = keepAll.Feed(raster);
  Append(all, keepAll.Finish());
  auto four = keepFour.Feed(raster);
  Append(four, keepFour.Finish());
  ASSERT_EQ(all.size(), 1u);
  ASSERT_EQ(four.size(), 1u);
  EXPECT_EQ(PayloadOf(all[0], 8), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(PayloadOf(four[0], 8), (Bytes{1, 2, 3, 4})) << "more kept than the bound";
  EXPECT_EQ(four[0].notKept, 6u) << "the dots past the bound were not counted";
}

TEST(PrinterDecoder, ReceiptCommandsAreNamedWhereverTheBytesAreCut) {
  for (const DecodeCase& c : ReceiptCases()) {
    EXPECT_EQ(Lines(c.bytes), c.expected) << c.catches;
    for (std::size_t cut = 1; cut < c.bytes.size(); ++cut) {
      StreamDecoder decoder;
      std::vector<DecodedCommand> got = decoder.Feed(std::span(c.bytes).first(cut));
      Append(got, decoder.Feed(std::span(c.bytes).subspan(cut)));
      Append(got, decoder.Finish());
      EXPECT_EQ(LinesOf(got), c.expected) << c.catches << ", cut after byte " << cut;
    }
  }
}

TEST(PrinterDecoder, CommandsCutShortSayHowMuchCame) {
  const std::vector<DecodeCase> cases = {
      {"ESC a without its parameter", {0x1B, 0x61}, {"ESC a  align CUT SHORT: 1B 61 (2 of 3 bytes)"}},
      {"GS V 66 without its feed", {0x1D, 0x56, 0x42}, {"GS V   cut CUT SHORT: 1D 56 42 (3 of 4 bytes)"}},
      {"GS k form B short of its count",
       {0x1D, 0x6B, 0x49, 0x05, 'a'},
       {"GS k   barcode CUT SHORT: 1D 6B 49 05 61 (5 of 9 bytes)"}},
      {"GS k form A without its NUL", {0x1D, 0x6B, 0x04, 'A'}, {"GS k   barcode CUT SHORT: 1D 6B 04 41 (4 bytes)"}},
      {"GS ( k short of pL",
       {0x1D, 0x28, 0x6B, 0x05, 0x00, 0x31},
       {"GS ( k 2D code CUT SHORT: 1D 28 6B 05 00 31 (6 of 10 bytes)"}},
      {"GS v 0 image data short",
       {0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x04, 0x00, 0xFF},
       {"GS v 0 raster image 8 x 4 dots CUT SHORT: 1 of 4 bytes of image data"}},
      {"DLE EOT without n", {0x10, 0x04}, {"DLE EOT real-time status request CUT SHORT: 10 04 (2 of 3 bytes)"}},
      {"DLE DC4 7 without m", {0x10, 0x14, 0x07}, {"DLE DC4 real-time request CUT SHORT: 10 14 07 (3 of 4 bytes)"}},
      {"FS q short in its second picture",
       {0x1C, 0x71, 0x02, 0x01, 0x00, 0x01, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x01, 0x00},
       {"FS q   define NV bit images: 2 pictures, the first 8 x 8 dots, CUT SHORT after 10 bytes of its data"}},
      {"GS v other than 0 is an unknown command",
       {0x1D, 0x76, 0x31},
       {"raw    1D 76 (unknown command; in step again at byte 2)", "text   \"1\""}},
  };
  for (const DecodeCase& c : cases) EXPECT_EQ(Lines(c.bytes), c.expected) << c.catches;
}

// An image is counted as it passes: the decoder keeps its header only, and
// the status request right after it comes out at once.
TEST(PrinterDecoder, RasterImageDataIsCountedNotKept) {
  const std::size_t widthBytes = 72, rows = 2000;
  Bytes header = {0x1D,
                  0x76,
                  0x30,
                  0x00,
                  static_cast<std::uint8_t>(widthBytes),
                  0x00,
                  static_cast<std::uint8_t>(rows & 0xFF),
                  static_cast<std::uint8_t>(rows >> 8)};
  const Bytes data(widthBytes * rows, 0x1B);  // image bytes that look like commands
  StreamDecoder decoder;
  std::vector<DecodedCommand> got = decoder.Feed(header);
  for (std::size_t at = 0; at < data.size(); at += 1000) {
    Append(got, decoder.Feed(std::span(data).subspan(at, std::min<std::size_t>(1000, data.size() - at))));
  }
  Append(got, decoder.Feed(Bytes{0x1B, 0x76}));
  ASSERT_EQ(got.size(), 2u) << "image data was read as commands";
  EXPECT_EQ(got[0].bytes.size(), 8u);
  EXPECT_EQ(got[0].notKept, data.size());
  EXPECT_EQ(Describe(got[0]), "GS v 0 raster image 576 x 2000 dots, 144000 bytes of image data");
  EXPECT_EQ(got[1].kind, CommandKind::StatusRequest);
}

}  // namespace

namespace {

TEST(PrinterDecoder, OneLineFormDropsTheColumnsAndKeepsTheText) {
  const struct {
    std::string catches;
    Bytes bytes;
    std::string expected;
  } cases[] = {
      {"the cut's two frames on one line", {0x1B, 0x64, 0x10, 0x1B, 0x6D}, "ESC d print and feed 16 lines; ESC m cut"},
      {"blanks inside quoted text are the text's own", FromText("a  b\n"), "text \"a  b\\n\""},
      {"a mnemonic as long as the column", {0x00, 0x01}, "raw 00 01"},
      {"nothing sent", {}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DescribeLine(c.bytes), c.expected) << c.catches;
}

}  // namespace
