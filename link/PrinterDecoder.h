#pragma once
// What a connection's bytes say in the printer's language: the printer's
// commands by name, text converted from GBK or the selected code page, and
// everything else as raw bytes. Every command of the common ESC/POS set is
// measured and consumed whole, so that its parameter bytes never pass for
// text; only a command the decoder does not know stays raw, and the
// transcript says where the decoder is back in step. No sockets here;
// whoever holds the bytes (the virtual printer, the exchange log) feeds them
// in as they arrive.

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
  NvImage,             // FS p n m
  ChineseOn,           // FS &
  ChineseOff,          // FS .
  // Known by their length and named; the receipts act on some of them.
  CharacterSpacing,       // ESC SP n
  AbsolutePosition,       // ESC $ nL nH
  RelativePosition,       // ESC \ nL nH
  UserCharactersOn,       // ESC % n
  DefineCharacters,       // ESC & y c1 c2 [x d1..d(y*x)]...
  BitImage,               // ESC * m nL nH d...
  PeripheralDevice,       // ESC = n
  CancelCharacter,        // ESC ? n
  TabPositions,           // ESC D n1..nk NUL
  DoubleStrike,           // ESC G n
  ReverseFeed,            // ESC K n
  PageMode,               // ESC L
  StandardMode,           // ESC S
  PageDirection,          // ESC T n
  Unidirectional,         // ESC U n
  Rotate90,               // ESC V n
  PageArea,               // ESC W xL xH yL yH dxL dxH dyL dyH
  PaperSensor,            // ESC c 3/4 n
  PanelKeys,              // ESC c 5 n
  ReverseFeedLines,       // ESC e n
  Colour,                 // ESC r n
  UpsideDown,             // ESC { n
  PrintPage,              // ESC FF and FF: print the page in page mode
  CancelPage,             // CAN
  ReturnHome,             // ESC <
  Function,               // ESC ( X, GS ( X, FS ( X with pL pH (those not named apart)
  Graphics,               // GS ( L pL pH m fn ..., GS 8 L p1 p2 p3 p4 m fn ...
  PageVerticalPosition,   // GS $ nL nH
  PageRelativeVertical,   // GS \ nL nH
  DefineDownloadedImage,  // GS * x y d...
  PrintDownloadedImage,   // GS / m
  Macro,                  // GS :
  ExecuteMacro,           // GS ^ r t m
  PrinterId,              // GS I n
  MotionUnits,            // GS P x y
  LineStart,              // GS T n
  Smoothing,              // GS b n
  MaintenanceCounter,     // GS g 0 / GS g 2 m nL nH
  InkStatusBack,          // GS j n
  RealTimeRequestEnq,     // DLE ENQ n
  KanjiPrintMode,         // FS ! n
  KanjiUnderline,         // FS - n
  DefineKanji,            // FS 2 c1 c2 d1..d72
  CancelKanji,            // FS ? c1 c2
  KanjiCodeSystem,        // FS C n
  KanjiSpacing,           // FS S n1 n2
  KanjiQuadruple,         // FS W n
  DefineNvImages,         // FS q n [xL xH yL yH d...]...
};

struct DecodedCommand {
  CommandKind kind = CommandKind::Raw;
  std::vector<std::uint8_t> bytes;  // exactly as received (a long raw run: its first bytes)
  // The connection ended inside the command: fewer bytes arrived than it takes.
  bool cutShort = false;
  // A long run of raw bytes keeps only its first bytes, and a picture (GS v 0,
  // ESC *, GS ( L, GS 8 L, GS *, FS q) or any other long command its header; this
  // many followed them.
  std::size_t notKept = 0;
  // Of those that followed, the first ones, for a decoder that keeps
  // pictures (StreamDecoder's keepData): a picture's dots.
  std::vector<std::uint8_t> data;
  // Where the command's first byte was in the connection, counted from 0.
  std::size_t at = 0;
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
  // `keepData`: how many bytes of a picture's dots (or any long command's
  // data past its header) each command keeps in `data`; 0 keeps none.
  explicit StreamDecoder(std::size_t keepData = 0) : keepData_(keepData) {}

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

  std::size_t keepData_ = 0;
  std::vector<std::uint8_t> pending_;
  std::size_t pendingAt_ = 0;  // where pending_ starts in the connection
  // The raw run the last bytes ended in, until something else follows it.
  std::vector<DecodedCommand> openRaw_;
  // The printer's text mode as the commands so far set it.
  bool chinese_ = true;
  int codePage_ = 0;
  // A picture or long command whose data is still coming: counted as it
  // passes, kept only up to keepData_.
  std::vector<DecodedCommand> image_;
  std::size_t imageLeft_ = 0;
  // FS q: its pictures still to come, and the size of the next as it comes.
  int picturesLeft_ = 0;
  std::vector<std::uint8_t> nextPicture_;
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

// A picture's data: what followed its header, whether the decoder kept it in
// `bytes` or in `data` (empty when it kept neither).
std::vector<std::uint8_t> PayloadOf(const DecodedCommand& command, std::size_t header);

// The ESC t code pages: the printer's name for page n ("PC437"), nullptr
// for one the decoder cannot read.
const char* CodePageName(int page);

// "1B 40 0A"
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace printerlink
