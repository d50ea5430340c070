#pragma once
// What a connection's bytes say in the printer's language: the printer's
// commands by name, text converted from GBK, and everything else as raw
// bytes. No sockets here; whoever holds the bytes (the virtual printer, the
// exchange log) feeds them in as they arrive.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace printerlink {

enum class CommandKind {
  Initialise,     // ESC @
  DrawerPulse,    // ESC p m t1 t2
  Feed,           // ESC d n
  Cut,            // ESC m
  StatusRequest,  // ESC v
  SetAddress,     // GS D o1 o2 o3 o4 s
  SetMac,         // GS E m0..m5 s
  Text,           // printable text, line feeds included
  Raw,            // anything else
  // What receipt software commonly sends besides.
  PrintMode,           // ESC ! n
  Emphasis,            // ESC E n
  Underline,           // ESC - n
  Align,               // ESC a n
  FeedDots,            // ESC J n
  CodePage,            // ESC t n
  Font,                // ESC M n
  CharacterSet,        // ESC R n
  DefaultLineSpacing,  // ESC 2
  LineSpacing,         // ESC 3 n
  FullCut,             // ESC i
  PeripheralStatus,    // ESC u n
  GsCut,               // GS V m [n]
  CharacterSize,       // GS ! n
  Reverse,             // GS B n
  LeftMargin,          // GS L nL nH
  PrintWidth,          // GS W nL nH
  BarcodeHeight,       // GS h n
  BarcodeWidth,        // GS w n
  BarcodeLabel,        // GS H n
  BarcodeLabelFont,    // GS f n
  Barcode,             // GS k m d1..dk NUL, or GS k m n d1..dn
  QrCode,              // GS ( k pL pH 49 fn ...
  RasterImage,         // GS v 0 m xL xH yL yH d...
  TransmitStatus,      // GS r n
  AutoStatusBack,      // GS a n
  RealTimeStatus,      // DLE EOT n
  RealTimeRequest,     // DLE DC4 fn ...
  PrinterId,           // GS I n
  NvImage,             // FS p n m
  ChineseOn,           // FS &
  ChineseOff,          // FS .
};

struct DecodedCommand {
  CommandKind kind = CommandKind::Raw;
  std::vector<std::uint8_t> bytes;  // exactly as received (a long raw run: its first bytes)
  // The connection ended inside the command: fewer bytes arrived than it takes.
  bool cutShort = false;
  // A long run of raw bytes keeps only its first bytes, and a raster image
  // its header; this many followed them.
  std::size_t notKept = 0;
  // Text: the code page (ESC t) its bytes are in; kGbk in Chinese character mode.
  int codePage = kGbk;
  static constexpr int kGbk = -1;

  std::size_t Length() const { return bytes.size() + notKept; }

  friend bool operator==(const DecodedCommand&, const DecodedCommand&) = default;
};

// Splits a connection's bytes into commands. Whatever TCP did to the bytes on
// the way, the same bytes always give the same commands: feeding them in any
// pieces and then finishing gives what DecodeStream gives for them at once.
class StreamDecoder {
public:
  // Takes the next bytes of the connection and returns the commands they
  // completed. A command that more bytes could still complete or extend (an
  // ESC at the end, half a GBK character, a line of text without its line
  // feed, a run of raw bytes) waits for the next bytes. Neighbouring raw
  // bytes come out as one run. The decoder keeps no more than one command's
  // worth of bytes, however long the connection.
  std::vector<DecodedCommand> Feed(std::span<const std::uint8_t> bytes);

  // The connection has ended: decodes what is left, a command cut short
  // included, returns those last commands and starts over for the next
  // connection.
  std::vector<DecodedCommand> Finish();

private:
  std::size_t Decode(std::span<const std::uint8_t> bytes, bool final, std::vector<DecodedCommand>& out);

  std::vector<std::uint8_t> pending_;
  // The raw run the last bytes ended in, until something else follows it.
  std::vector<DecodedCommand> openRaw_;
  // The printer's text mode as the commands so far set it.
  bool chinese_ = true;
  int codePage_ = 0;
  // A raster image whose data is still coming: counted as it passes, never kept.
  std::vector<DecodedCommand> image_;
  std::size_t imageLeft_ = 0;
};

// Feed and Finish at once.
std::vector<DecodedCommand> DecodeStream(std::span<const std::uint8_t> bytes);

// One line of the transcript for a command, e.g.
// "GS D   set address 192.168.1.100, checksum CD ok".
std::string Describe(const DecodedCommand& command);

// The commands of a connection on one line, without the transcript's columns:
// "ESC d print and feed 16 lines; ESC m cut". Empty for no bytes.
std::string DescribeLine(std::span<const std::uint8_t> bytes);

// Whether a GS D or GS E frame's last byte is the sum of the bytes it covers
// (true for every other command).
bool ChecksumMatches(const DecodedCommand& command);

// A text command's bytes as UTF-8, in GBK or its code page; what the source
// cannot read becomes \xHH escapes.
std::string TextOf(const DecodedCommand& text);

// Reading a command's parameters, for whoever acts on them (the virtual
// printer's receipts):
// a two-byte little-endian number starting at `at`;
std::size_t Little16(std::span<const std::uint8_t> bytes, std::size_t at);
// a one-byte parameter the printer takes both as a number and as its ASCII
// digit (1 and '1' alike);
int Digit(std::uint8_t n);
// the data of GS k, without its count or its closing NUL.
std::span<const std::uint8_t> BarcodeData(std::span<const std::uint8_t> command);

// "1B 40 0A"
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace printerlink
