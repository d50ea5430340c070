#include "PrinterDecoder.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>

#include "Charset.h"
#include "Frames.h"
#include "SocketLibrary.h"
#include "Strings.h"

namespace printerlink {

std::size_t Little16(std::span<const std::uint8_t> b, std::size_t at) { return b[at] | (std::size_t{b[at + 1]} << 8); }

int Digit(std::uint8_t n) { return n >= '0' && n <= '9' ? n - '0' : n; }

std::span<const std::uint8_t> BarcodeData(std::span<const std::uint8_t> b) {
  if (b.size() < 4) return {};
  if (b[2] >= 65) return b.subspan(4);
  return b.subspan(3, b.back() == 0 ? b.size() - 4 : b.size() - 3);
}

namespace {

constexpr std::uint8_t DLE = 0x10;
constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t FS = 0x1C;
constexpr std::uint8_t GS = 0x1D;
constexpr std::uint8_t NUL = 0x00;
constexpr std::uint8_t LF = 0x0A;

// A line of text without a line feed is still shown in pieces of about this
// many bytes, so a job that never feeds a line cannot pile up undecoded.
constexpr std::size_t kMaxTextRun = 256;
// A long run of raw bytes (an image, say) is kept and shown by its first
// bytes only.
constexpr std::size_t kRawBytesShown = 32;
// Barcode data of the NUL-ended form: no symbology takes more; data that runs
// on without its NUL ends the command here.
constexpr std::size_t kMaxBarcodeData = 255;
// What a command's parameters show of its data (barcode, QR code) at most.
constexpr std::size_t kDataShown = 64;

// How many bytes the command starting at `b` takes, from what has arrived of
// it (the prefix and code at least). More than b.size() means: not all there
// yet, or not enough to tell how long it is.
using LengthOf = std::size_t (*)(std::span<const std::uint8_t> b);

template <std::size_t N>
std::size_t Fixed(std::span<const std::uint8_t>) {
  return N;
}

// GS V m, with a feed count after m for the forms that feed first.
std::size_t GsCutLength(std::span<const std::uint8_t> b) {
  if (b.size() < 3) return 3;
  const std::uint8_t m = b[2];
  return (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) ? 4 : 3;
}

// GS k m: m 0..6 takes data up to a NUL, m 65..79 a count and that many bytes.
std::size_t BarcodeLength(std::span<const std::uint8_t> b) {
  if (b.size() < 3) return 3;
  if (b[2] >= 65) return b.size() < 4 ? 4 : 4 + std::size_t{b[3]};
  const auto end = std::find(b.begin() + 3, b.end(), NUL);
  if (end != b.end()) return static_cast<std::size_t>(end - b.begin()) + 1;
  if (b.size() >= 3 + kMaxBarcodeData) return 3 + kMaxBarcodeData;
  return b.size() + 1;
}

// ESC ( X, GS ( X, FS ( X pL pH: pL + 256 pH bytes follow.
std::size_t FunctionLength(std::span<const std::uint8_t> b) {
  if (b.size() < 5) return 5;
  return 5 + Little16(b, 3);
}

// GS 8 L p1 p2 p3 p4: a four-byte count follows.
std::size_t LongFunctionLength(std::span<const std::uint8_t> b) {
  if (b.size() < 7) return 7;
  return 7 + (Little16(b, 3) | (Little16(b, 5) << 16));
}

// GS v 0 m xL xH yL yH: x bytes a row, y rows.
std::size_t RasterLength(std::span<const std::uint8_t> b) {
  if (b.size() < 8) return 8;
  return 8 + Little16(b, 4) * Little16(b, 6);
}

// ESC * m nL nH: n columns of one byte (8-dot modes) or three (24-dot).
std::size_t BitImageLength(std::span<const std::uint8_t> b) {
  if (b.size() < 5) return 5;
  return 5 + Little16(b, 3) * (b[2] >= 32 ? 3 : 1);
}

// GS * x y: x times y times eight bytes.
std::size_t DownloadedImageLength(std::span<const std::uint8_t> b) {
  if (b.size() < 4) return 4;
  return 4 + std::size_t{b[2]} * b[3] * 8;
}

// ESC & y c1 c2, then for each character from c1 to c2 its width x and
// y times x bytes. Measured character by character as the bytes come.
std::size_t DefineCharactersLength(std::span<const std::uint8_t> b) {
  if (b.size() < 5) return 5;
  const std::size_t y = b[2];
  const int count = b[4] >= b[3] ? b[4] - b[3] + 1 : 0;
  std::size_t at = 5;
  for (int i = 0; i < count; ++i) {
    if (at >= b.size()) return at + 1;
    at += 1 + y * b[at];
  }
  return at;
}

// ESC D n1..nk NUL: at most 32 tab positions.
std::size_t TabPositionsLength(std::span<const std::uint8_t> b) {
  constexpr std::size_t kMaxTabs = 32;
  const std::size_t limit = std::min(b.size(), 2 + kMaxTabs + 1);
  for (std::size_t i = 2; i < limit; ++i) {
    if (b[i] == NUL) return i + 1;
  }
  return b.size() >= 2 + kMaxTabs + 1 ? 2 + kMaxTabs + 1 : b.size() + 1;
}

// DLE DC4 fn and what follows fn: 1 (pulse: m t) and 2 (power off: a b)
// two bytes, 3 (buzzer: a n r t1 t2) five, 7 (send a status: m) one, 8
// (clear the buffers: d1..d7) seven.
std::size_t RealTimeRequestLength(std::span<const std::uint8_t> b) {
  if (b.size() < 3) return 3;
  switch (b[2]) {
    case 1:
    case 2: return 5;
    case 3: return 8;
    case 7: return 4;
    case 8: return 10;
    default: return 3;
  }
}

// FS q n, then n pictures, each xL xH yL yH and (xL + 256 xH) x (yL + 256 yH)
// x 8 bytes of dots. Measured picture by picture as the bytes come.
std::size_t NvImagesLength(std::span<const std::uint8_t> b) {
  if (b.size() < 3) return 3;
  std::size_t at = 3;
  for (int i = 0; i < b[2]; ++i) {
    if (at + 4 > b.size()) return at + 4;
    at += 4 + Little16(b, at) * Little16(b, at + 2) * 8;
  }
  return at;
}

// Any third byte: the pL pH forms, measured alike whatever function they carry.
constexpr int kAnySub = 256;
// A command longer than this (a QR code's data, a long function) keeps its
// first kLongHead bytes; the rest is counted as it passes.
constexpr std::size_t kMaxKept = 8192;
constexpr std::size_t kLongHead = 16;

struct KnownCommand {
  std::uint8_t prefix;
  std::uint8_t code;
  CommandKind kind;
  LengthOf length;
  const char* mnemonic;
  const char* meaning;
  int sub = -1;                 // the third byte that tells it from its neighbours; -1 none
  std::size_t head = 0;         // a picture: its header, kept; its dots are counted as they pass
  std::size_t streamAbove = 0;  // ...once the command is longer than this
};

// GS v 0's header; its image data is counted as it passes.
constexpr std::size_t kRasterHeader = 8;
// FS q n and its first picture's xL xH yL yH; the rest is counted as it passes.
constexpr std::size_t kNvImagesHeader = 7;

constexpr KnownCommand kKnownCommands[] = {
    {ESC, 0x40, CommandKind::Initialise, Fixed<2>, "ESC @", "initialise"},
    {ESC, 0x70, CommandKind::DrawerPulse, Fixed<5>, "ESC p", "drawer pulse"},
    {ESC, 0x64, CommandKind::Feed, Fixed<3>, "ESC d", "print and feed"},
    {ESC, 0x6D, CommandKind::Cut, Fixed<2>, "ESC m", "cut"},
    {ESC, 0x76, CommandKind::StatusRequest, Fixed<2>, "ESC v", "status request"},
    {GS, 0x44, CommandKind::SetAddress, Fixed<7>, "GS D", "set address"},
    {GS, 0x45, CommandKind::SetMac, Fixed<9>, "GS E", "set MAC"},
    {ESC, 0x21, CommandKind::PrintMode, Fixed<3>, "ESC !", "print mode"},
    {ESC, 0x45, CommandKind::Emphasis, Fixed<3>, "ESC E", "emphasis"},
    {ESC, 0x2D, CommandKind::Underline, Fixed<3>, "ESC -", "underline"},
    {ESC, 0x61, CommandKind::Align, Fixed<3>, "ESC a", "align"},
    {ESC, 0x4A, CommandKind::FeedDots, Fixed<3>, "ESC J", "print and feed dots"},
    {ESC, 0x74, CommandKind::CodePage, Fixed<3>, "ESC t", "code page"},
    {ESC, 0x4D, CommandKind::Font, Fixed<3>, "ESC M", "font"},
    {ESC, 0x52, CommandKind::CharacterSet, Fixed<3>, "ESC R", "character set"},
    {ESC, 0x32, CommandKind::DefaultLineSpacing, Fixed<2>, "ESC 2", "default line spacing"},
    {ESC, 0x33, CommandKind::LineSpacing, Fixed<3>, "ESC 3", "line spacing"},
    {ESC, 0x69, CommandKind::FullCut, Fixed<2>, "ESC i", "full cut"},
    {ESC, 0x75, CommandKind::PeripheralStatus, Fixed<3>, "ESC u", "peripheral status request"},
    {GS, 0x56, CommandKind::GsCut, GsCutLength, "GS V", "cut"},
    {GS, 0x21, CommandKind::CharacterSize, Fixed<3>, "GS !", "character size"},
    {GS, 0x42, CommandKind::Reverse, Fixed<3>, "GS B", "reverse"},
    {GS, 0x4C, CommandKind::LeftMargin, Fixed<4>, "GS L", "left margin"},
    {GS, 0x57, CommandKind::PrintWidth, Fixed<4>, "GS W", "print area width"},
    {GS, 0x68, CommandKind::BarcodeHeight, Fixed<3>, "GS h", "barcode height"},
    {GS, 0x77, CommandKind::BarcodeWidth, Fixed<3>, "GS w", "barcode module width"},
    {GS, 0x48, CommandKind::BarcodeLabel, Fixed<3>, "GS H", "barcode label"},
    {GS, 0x66, CommandKind::BarcodeLabelFont, Fixed<3>, "GS f", "barcode label font"},
    {GS, 0x6B, CommandKind::Barcode, BarcodeLength, "GS k", "barcode"},
    {GS, 0x76, CommandKind::RasterImage, RasterLength, "GS v 0", "raster image", 0x30, kRasterHeader},
    {GS, 0x76, CommandKind::RasterImage, RasterLength, "GS v 0", "raster image", 0x00, kRasterHeader},
    {GS, 0x72, CommandKind::TransmitStatus, Fixed<3>, "GS r", "status request"},
    {GS, 0x61, CommandKind::AutoStatusBack, Fixed<3>, "GS a", "automatic status back"},
    {DLE, 0x04, CommandKind::RealTimeStatus, Fixed<3>, "DLE EOT", "real-time status request"},
    {DLE, 0x14, CommandKind::RealTimeRequest, RealTimeRequestLength, "DLE DC4", "real-time request"},
    {FS, 0x70, CommandKind::NvImage, Fixed<4>, "FS p", "print stored image"},
    {FS, 0x26, CommandKind::ChineseOn, Fixed<2>, "FS &", "Chinese character mode on"},
    {FS, 0x2E, CommandKind::ChineseOff, Fixed<2>, "FS .", "Chinese character mode off"},
    {ESC, 0x20, CommandKind::CharacterSpacing, Fixed<3>, "ESC SP", "character spacing"},
    {ESC, 0x24, CommandKind::AbsolutePosition, Fixed<4>, "ESC $", "absolute position"},
    {ESC, 0x5C, CommandKind::RelativePosition, Fixed<4>, "ESC \\", "relative position"},
    {ESC, 0x25, CommandKind::UserCharactersOn, Fixed<3>, "ESC %", "user-defined characters"},
    {ESC, 0x26, CommandKind::DefineCharacters, DefineCharactersLength, "ESC &", "define user-defined characters"},
    {ESC, 0x2A, CommandKind::BitImage, BitImageLength, "ESC *", "bit image", -1, 5},
    {ESC, 0x3D, CommandKind::PeripheralDevice, Fixed<3>, "ESC =", "select peripheral device"},
    {ESC, 0x3F, CommandKind::CancelCharacter, Fixed<3>, "ESC ?", "cancel user-defined character"},
    {ESC, 0x44, CommandKind::TabPositions, TabPositionsLength, "ESC D", "tab positions"},
    {ESC, 0x47, CommandKind::DoubleStrike, Fixed<3>, "ESC G", "double-strike"},
    {ESC, 0x4B, CommandKind::ReverseFeed, Fixed<3>, "ESC K", "print and feed back"},
    {ESC, 0x4C, CommandKind::PageMode, Fixed<2>, "ESC L", "page mode"},
    {ESC, 0x53, CommandKind::StandardMode, Fixed<2>, "ESC S", "standard mode"},
    {ESC, 0x54, CommandKind::PageDirection, Fixed<3>, "ESC T", "page mode print direction"},
    {ESC, 0x55, CommandKind::Unidirectional, Fixed<3>, "ESC U", "unidirectional printing"},
    {ESC, 0x56, CommandKind::Rotate90, Fixed<3>, "ESC V", "90 degree rotation"},
    {ESC, 0x57, CommandKind::PageArea, Fixed<10>, "ESC W", "page mode print area"},
    {ESC, 0x63, CommandKind::PaperSensor, Fixed<4>, "ESC c", "paper sensors and panel keys"},
    {ESC, 0x65, CommandKind::ReverseFeedLines, Fixed<3>, "ESC e", "print and feed back lines"},
    {ESC, 0x72, CommandKind::Colour, Fixed<3>, "ESC r", "print colour"},
    {ESC, 0x7B, CommandKind::UpsideDown, Fixed<3>, "ESC {", "upside-down printing"},
    {ESC, 0x0C, CommandKind::PrintPage, Fixed<2>, "ESC FF", "print the page (page mode)"},
    {ESC, 0x3C, CommandKind::ReturnHome, Fixed<2>, "ESC <", "return home"},
    {ESC, 0x28, CommandKind::Function, FunctionLength, "ESC (", "function", kAnySub, kLongHead, kMaxKept},
    {GS, 0x28, CommandKind::QrCode, FunctionLength, "GS ( k", "2D code", 0x6B, kLongHead, kMaxKept},
    {GS, 0x28, CommandKind::Graphics, FunctionLength, "GS ( L", "graphics", 0x4C, 15, 15},
    {GS, 0x28, CommandKind::Function, FunctionLength, "GS (", "function", kAnySub, kLongHead, kMaxKept},
    {GS, 0x38, CommandKind::Graphics, LongFunctionLength, "GS 8 L", "graphics", 0x4C, 17, 17},
    {GS, 0x24, CommandKind::PageVerticalPosition, Fixed<4>, "GS $", "page mode vertical position"},
    {GS, 0x5C, CommandKind::PageRelativeVertical, Fixed<4>, "GS \\", "page mode relative vertical position"},
    {GS, 0x2A, CommandKind::DefineDownloadedImage, DownloadedImageLength, "GS *", "define downloaded image", -1, 4},
    {GS, 0x2F, CommandKind::PrintDownloadedImage, Fixed<3>, "GS /", "print downloaded image"},
    {GS, 0x3A, CommandKind::Macro, Fixed<2>, "GS :", "macro definition start or end"},
    {GS, 0x5E, CommandKind::ExecuteMacro, Fixed<5>, "GS ^", "execute macro"},
    {GS, 0x49, CommandKind::PrinterId, Fixed<3>, "GS I", "printer information request"},
    {GS, 0x50, CommandKind::MotionUnits, Fixed<4>, "GS P", "motion units"},
    {GS, 0x54, CommandKind::LineStart, Fixed<3>, "GS T", "print position to the start of the line"},
    {GS, 0x62, CommandKind::Smoothing, Fixed<3>, "GS b", "smoothing"},
    {GS, 0x67, CommandKind::MaintenanceCounter, Fixed<6>, "GS g", "maintenance counter"},
    {GS, 0x6A, CommandKind::InkStatusBack, Fixed<3>, "GS j", "automatic ink status back"},
    {DLE, 0x05, CommandKind::RealTimeRequestEnq, Fixed<3>, "DLE ENQ", "real-time request"},
    {FS, 0x21, CommandKind::KanjiPrintMode, Fixed<3>, "FS !", "kanji print mode"},
    {FS, 0x2D, CommandKind::KanjiUnderline, Fixed<3>, "FS -", "kanji underline"},
    {FS, 0x32, CommandKind::DefineKanji, Fixed<76>, "FS 2", "define user-defined kanji"},
    {FS, 0x3F, CommandKind::CancelKanji, Fixed<4>, "FS ?", "cancel user-defined kanji"},
    {FS, 0x43, CommandKind::KanjiCodeSystem, Fixed<3>, "FS C", "kanji code system"},
    {FS, 0x53, CommandKind::KanjiSpacing, Fixed<4>, "FS S", "kanji spacing"},
    {FS, 0x57, CommandKind::KanjiQuadruple, Fixed<3>, "FS W", "kanji quadruple size"},
    {FS, 0x28, CommandKind::Function, FunctionLength, "FS (", "function", kAnySub, kLongHead, kMaxKept},
    {FS, 0x71, CommandKind::DefineNvImages, NvImagesLength, "FS q", "define NV bit images", -1, kNvImagesHeader},
};

// The page mode's two commands of one byte.
constexpr KnownCommand kFormFeed = {0x0C, 0, CommandKind::PrintPage, Fixed<1>, "FF", "print the page (page mode)"};
constexpr KnownCommand kCancel = {0x18,     0,     CommandKind::CancelPage,
                                  Fixed<1>, "CAN", "cancel the page's data (page mode)"};

bool IsPrefix(std::uint8_t b) { return b == ESC || b == GS || b == FS || b == DLE; }

// What the bytes at the start of `b` are; nullptr for an unknown command, and
// `undecided` when more bytes must come to tell.
const KnownCommand* FindCommand(std::span<const std::uint8_t> b, bool& undecided) {
  undecided = false;
  if (b.size() == 1 && b[0] == kFormFeed.prefix) return &kFormFeed;
  if (b.size() == 1 && b[0] == kCancel.prefix) return &kCancel;
  for (const KnownCommand& k : kKnownCommands) {
    if (k.prefix != b[0] || k.code != b[1]) continue;
    if (k.sub < 0) return &k;
    // GS ( k, GS ( L, GS v 0 and GS 8 L are told from their neighbours by their third byte.
    if (b.size() < 3) {
      undecided = true;
      return nullptr;
    }
    if (k.sub == kAnySub || k.sub == b[2]) return &k;
  }
  return nullptr;
}

// The table's row for a command the decoder made.
const KnownCommand* CommandOf(const DecodedCommand& c) {
  if (c.kind == CommandKind::Text || c.kind == CommandKind::Raw || c.bytes.empty()) return nullptr;
  bool undecided = false;
  return FindCommand(c.bytes, undecided);
}

bool IsTextByte(std::uint8_t b) { return b == '\t' || b == LF || b == '\r' || (b >= 0x20 && b <= 0x7E); }
bool IsGbkLead(std::uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool IsGbkTrail(std::uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

// Raw bytes join the raw run just before them, which keeps its first
// kRawBytesShown bytes and counts the rest.
void Emit(std::vector<DecodedCommand>& out, CommandKind kind, std::span<const std::uint8_t> bytes,
          bool cutShort = false, int codePage = DecodedCommand::kGbk) {
  if (kind == CommandKind::Raw && !out.empty() && out.back().kind == CommandKind::Raw) {
    DecodedCommand& run = out.back();
    const std::size_t room = kRawBytesShown - std::min(kRawBytesShown, run.bytes.size());
    const std::size_t kept = std::min(room, bytes.size());
    run.bytes.insert(run.bytes.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept));
    run.notKept += bytes.size() - kept;
    return;
  }
  DecodedCommand c;
  c.kind = kind;
  c.bytes.assign(bytes.begin(), bytes.end());
  c.cutShort = cutShort;
  c.codePage = codePage;
  out.push_back(std::move(c));
}

// Where the text run starting at `pos` ends. A run ends after a line feed,
// once it is kMaxTextRun bytes long, or before a byte that is not text. In
// Chinese character mode bytes above 0x7F come in GBK pairs; otherwise each
// is a character of the code page. Before the end of the stream (`final`
// false) a run that reaches the end of the bytes so far may still grow:
// returns false then.
bool TextRunEnd(std::span<const std::uint8_t> bytes, std::size_t pos, bool final, bool chinese, std::size_t& end) {
  std::size_t j = pos;
  while (j < bytes.size()) {
    const std::uint8_t c = bytes[j];
    if (IsTextByte(c) || (!chinese && c >= 0x80)) {
      ++j;
      if (c == LF || j - pos >= kMaxTextRun) break;
    } else if (chinese && IsGbkLead(c)) {
      if (j + 1 >= bytes.size()) {
        if (!final) return false;  // its second byte may be on the way
        break;
      }
      if (!IsGbkTrail(bytes[j + 1])) break;
      j += 2;
      if (j - pos >= kMaxTextRun) break;
    } else {
      break;
    }
  }
  if (j == bytes.size() && !final && (j == pos || bytes[j - 1] != LF) && j - pos < kMaxTextRun) return false;
  end = j;
  return true;
}

std::string Hex2(unsigned value) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
  return buf;
}

// Appends the UTF-8 of one character of `length` bytes; false when the
// source has none.
bool AppendCharacter(Charset& charset, const std::uint8_t* bytes, std::size_t length, std::string& out) {
  const Converted c = charset.Convert(std::string_view(reinterpret_cast<const char*>(bytes), length));
  if (c.error != 0 || c.read != length) return false;
  out += c.bytes;
  return true;
}

// The code pages ESC t selects: the printer's name, and iconv's where the C
// library has the table.
struct CodePage {
  int page;
  const char* name;
  const char* iconv;  // nullptr: the decoder's own table
};

constexpr CodePage kCodePages[] = {
    {0, "PC437", "CP437"},           {1, "Katakana", nullptr},
    {2, "PC850", "CP850"},           {3, "PC860", "CP860"},
    {4, "PC863", "CP863"},           {5, "PC865", "CP865"},
    {13, "PC857", "CP857"},          {14, "PC737", "CP737"},
    {15, "ISO8859-7", "ISO-8859-7"}, {16, "WPC1252", "CP1252"},
    {17, "PC866", "CP866"},          {18, "PC852", "CP852"},
    {19, "PC858", "CP858"},          {34, "PC855", "CP855"},
    {35, "PC861", "CP861"},          {36, "PC862", "CP862"},
    {37, "PC864", "CP864"},          {38, "PC869", "CP869"},
    {39, "ISO8859-2", "ISO-8859-2"}, {40, "ISO8859-15", "ISO-8859-15"},
    {45, "WPC1250", "CP1250"},       {46, "WPC1251", "CP1251"},
    {47, "WPC1253", "CP1253"},       {48, "WPC1254", "CP1254"},
    {49, "WPC1255", "CP1255"},       {50, "WPC1256", "CP1256"},
    {51, "WPC1257", "CP1257"},       {52, "WPC1258", "CP1258"},
};

const CodePage* FindCodePage(int page) {
  for (const CodePage& p : kCodePages) {
    if (p.page == page) return &p;
  }
  return nullptr;
}

// The Katakana page, which iconv has no table for: 0xA1 to 0xDF are the
// half-width katakana of JIS X 0201, U+FF61 to U+FF9F; around them the
// page's block and box graphics, card suits, and the kanji of dates, times,
// money and addresses, each one cell wide on paper.
constexpr char16_t kKatakanaLow[] = {
    // 0x80 to 0xA0
    0x2581, 0x2582, 0x2583, 0x2584, 0x2585, 0x2586, 0x2587, 0x2588, 0x258F, 0x258E, 0x258D,
    0x258C, 0x258B, 0x258A, 0x2589, 0x253C, 0x2534, 0x252C, 0x2524, 0x251C, 0x00AF, 0x2500,
    0x2502, 0x2595, 0x250C, 0x2510, 0x2514, 0x2518, 0x256D, 0x256E, 0x2570, 0x256F, 0x00A0,
};
constexpr char16_t kKatakanaHigh[] = {
    // 0xE0 to 0xFF
    0x2550, 0x255E, 0x256A, 0x2561, 0x25E2, 0x25E3, 0x25E5, 0x25E4, 0x2660, 0x2665, 0x2666,
    0x2663, 0x25CF, 0x25CB, 0x2571, 0x2572, 0x2573, 0x5186, 0x5E74, 0x6708, 0x65E5, 0x6642,
    0x5206, 0x79D2, 0x3012, 0x5E02, 0x533A, 0x753A, 0x6751, 0x4EBA, 0x2593, 0x00A0,
};

bool AppendKatakana(std::uint8_t b, std::string& out) {
  const char32_t cp = b < 0x80    ? 0
                      : b <= 0xA0 ? kKatakanaLow[b - 0x80]
                      : b <= 0xDF ? 0xFF61 + (b - 0xA1)
                                  : kKatakanaHigh[b - 0xE0];
  if (cp == 0) return false;
  if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
  }
  out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  return true;
}

// Opening a converter costs more than converting a line; each thread keeps one
// per source.
Charset* ConverterFor(int codePage) {
  thread_local std::map<int, std::unique_ptr<Charset>> converters;
  auto& slot = converters[codePage];
  if (!slot) {
    const CodePage* page = FindCodePage(codePage);
    const char* name = codePage == DecodedCommand::kGbk ? "GBK" : page != nullptr ? page->iconv : nullptr;
    if (name == nullptr) return nullptr;
    slot = std::make_unique<Charset>("UTF-8", name);
  }
  return slot.get();
}

// Text as UTF-8: ASCII below 0x80, and above it GBK pairs or single bytes of
// the code page; anything the source cannot read is kept visible as \xHH.
// With `quoted`, control characters, quotes and backslashes are escaped so
// that the text reads as one line.
std::string ConvertText(std::span<const std::uint8_t> bytes, bool quoted, int codePage) {
  Charset* converter = ConverterFor(codePage);
  const bool gbk = codePage == DecodedCommand::kGbk;
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    if (b < 0x80) {
      if (!quoted) {
        out.push_back(static_cast<char>(b));
      } else if (b == '\n') {
        out += "\\n";
      } else if (b == '\r') {
        out += "\\r";
      } else if (b == '\t') {
        out += "\\t";
      } else if (b == '"' || b == '\\') {
        out.push_back('\\');
        out.push_back(static_cast<char>(b));
      } else if (b < 0x20 || b == 0x7F) {
        out += "\\x" + Hex2(b);
      } else {
        out.push_back(static_cast<char>(b));
      }
      continue;
    }
    if (gbk) {
      if (converter != nullptr && IsGbkLead(b) && i + 1 < bytes.size() && IsGbkTrail(bytes[i + 1]) &&
          AppendCharacter(*converter, &bytes[i], 2, out)) {
        ++i;
        continue;
      }
    } else if (converter != nullptr && AppendCharacter(*converter, &bytes[i], 1, out)) {
      continue;
    } else if (codePage == 1 && AppendKatakana(b, out)) {
      continue;
    }
    out += "\\x" + Hex2(b);
  }
  return out;
}

std::string Line(const std::string& mnemonic, const std::string& text) {
  std::string line = mnemonic;
  line.resize(std::max<std::size_t>(line.size() + 1, 7), ' ');
  return line + text;
}

std::string Colons(std::span<const std::uint8_t> bytes) {
  std::string s;
  for (std::uint8_t b : bytes) s += (s.empty() ? "" : ":") + Hex2(b);
  return s;
}

// The last byte of a configuration frame against the sum of the bytes
// between the command and it.
std::string ChecksumText(const DecodedCommand& c) {
  const auto covered = std::span(c.bytes).subspan(2, c.bytes.size() - 3);
  const std::uint8_t expected = printerlink::Checksum(covered);
  const std::uint8_t got = c.bytes.back();
  if (got == expected) return "checksum " + Hex2(got) + " ok";
  return "CHECKSUM MISMATCH: frame has " + Hex2(got) + ", the bytes sum to " + Hex2(expected) +
         "; a printer ignores this frame";
}

std::string DrawerPin(std::uint8_t m) {
  // ESC/POS takes the pin both as a number and as its ASCII digit.
  if (m == 0 || m == '0') return "pin 2";
  if (m == 1 || m == '1') return "pin 5";
  return "unknown pin (m = " + Hex2(m) + ")";
}

std::string OnOff(std::uint8_t n) { return (n & 1) != 0 ? "on" : "off"; }

using res::Plural;

// Data bytes as quoted text, shortened past kDataShown.
std::string QuotedData(std::span<const std::uint8_t> data) {
  const std::size_t shown = std::min(kDataShown, data.size());
  std::string s = "\"" + ConvertText(data.first(shown), true, DecodedCommand::kGbk) + "\"";
  if (shown < data.size()) s += "... (" + Plural(data.size(), "byte", "bytes") + ")";
  return s;
}

std::string PrintModeText(std::uint8_t n) {
  std::string s = (n & 0x01) != 0 ? "font B" : "font A";
  if ((n & 0x08) != 0) s += ", emphasised";
  if ((n & 0x10) != 0) s += ", double height";
  if ((n & 0x20) != 0) s += ", double width";
  if ((n & 0x80) != 0) s += ", underlined";
  return s;
}

std::string AlignText(std::uint8_t n) {
  switch (Digit(n)) {
    case 0: return "left";
    case 1: return "centre";
    case 2: return "right";
    default: return "unknown (n = " + Hex2(n) + ")";
  }
}

std::string UnderlineText(std::uint8_t n) {
  switch (Digit(n)) {
    case 0: return "off";
    case 1: return "on, one dot thick";
    case 2: return "on, two dots thick";
    default: return "unknown (n = " + Hex2(n) + ")";
  }
}

std::string GsCutText(std::span<const std::uint8_t> b) {
  const std::uint8_t m = b[2];
  switch (m) {
    case 0:
    case 48: return "full cut";
    case 1:
    case 49: return "partial cut";
    case 65: return "feed " + Plural(b[3], "dot", "dots") + " and full cut";
    case 66: return "feed " + Plural(b[3], "dot", "dots") + " and partial cut";
    case 97: return "full cut at the next print start, feed " + Plural(b[3], "dot", "dots");
    case 98: return "partial cut at the next print start, feed " + Plural(b[3], "dot", "dots");
    case 103: return "feed " + Plural(b[3], "dot", "dots") + " past the cutting position and full cut";
    case 104: return "feed " + Plural(b[3], "dot", "dots") + " past the cutting position and partial cut";
    default: return "unknown mode (m = " + Hex2(m) + ")";
  }
}

const char* BarcodeSystem(std::uint8_t m) {
  static const char* const kNames[] = {"UPC-A", "UPC-E",   "EAN-13", "EAN-8",  "CODE39",
                                       "ITF",   "CODABAR", "CODE93", "CODE128"};
  if (m <= 6) return kNames[m];
  if (m >= 65 && m <= 73) return kNames[m - 65];
  return nullptr;
}

std::string BarcodeText(std::span<const std::uint8_t> b) {
  const std::uint8_t m = b[2];
  const char* system = BarcodeSystem(m);
  std::string s = system != nullptr ? system : "unknown system (m = " + Hex2(m) + ")";
  const std::string data = s + " " + QuotedData(BarcodeData(b));
  return m < 65 && b.back() != NUL ? data + " without its closing NUL" : data;
}

std::string QrText(std::span<const std::uint8_t> b) {
  if (b.size() < 7 || b[5] != 49) {
    static const char* const kSymbols[] = {"PDF417",           "QR code",    "MaxiCode",  "GS1 DataBar",
                                           "composite symbol", "Aztec code", "DataMatrix"};
    const bool named = b.size() > 6 && b[5] >= 48 && b[5] <= 54;
    if (!named) return "2D code, " + Plural(b.size() - 5, "byte", "bytes");
    return std::string(kSymbols[b[5] - 48]) + " function " + std::to_string(b[6]) + ", " +
           Plural(b.size() - 7, "parameter byte", "parameter bytes");
  }
  const std::uint8_t fn = b[6];
  const auto params = b.subspan(7);
  switch (fn) {
    case 65:
      if (!params.empty()) {
        if (params[0] == 49) return "QR code model 1";
        if (params[0] == 50) return "QR code model 2";
        if (params[0] == 51) return "QR code micro";
        return "QR code model unknown (n = " + Hex2(params[0]) + ")";
      }
      break;
    case 67:
      if (!params.empty()) return "QR code module size " + Plural(params[0], "dot", "dots");
      break;
    case 69:
      if (!params.empty()) {
        static const char kLevels[] = "LMQH";
        const int level = params[0] - 48;
        if (level >= 0 && level < 4) return std::string("QR code error correction ") + kLevels[level];
        return "QR code error correction unknown (n = " + Hex2(params[0]) + ")";
      }
      break;
    case 80: return "QR code store " + QuotedData(params.empty() ? params : params.subspan(1));
    case 81: return "QR code print";
    case 82: return "QR code size request";
    default: break;
  }
  return "QR code function " + std::to_string(fn) + ", " + Plural(params.size(), "parameter byte", "parameter bytes");
}

std::string RasterText(const DecodedCommand& c) {
  const auto& b = c.bytes;
  const std::size_t widthBytes = Little16(b, 4);
  const std::size_t rows = Little16(b, 6);
  static const char* const kModes[] = {"", ", double width", ", double height", ", double width and height"};
  const std::uint8_t mode = static_cast<std::uint8_t>(Digit(b[3]));
  std::string s =
      std::to_string(widthBytes * 8) + " x " + std::to_string(rows) + " dots" + (mode < 4 ? kModes[mode] : "");
  if (c.cutShort) {
    return s + " CUT SHORT: " + std::to_string(c.notKept) + " of " + Plural(widthBytes * rows, "byte", "bytes") +
           " of image data";
  }
  return s + ", " + Plural(c.notKept, "byte", "bytes") + " of image data";
}

// What the ESC ( X, GS ( X and FS ( X functions are, by prefix and X.
struct FunctionName {
  std::uint8_t prefix;
  std::uint8_t sub;
  const char* meaning;
};
constexpr FunctionName kFunctions[] = {
    {ESC, 'A', "beeper"},
    {GS, 'A', "test print"},
    {GS, 'C', "edit NV user memory"},
    {GS, 'D', "enable or disable real-time commands"},
    {GS, 'E', "user setup"},
    {GS, 'H', "request for a response or status"},
    {GS, 'K', "print control"},
    {GS, 'M', "customise printer settings"},
    {GS, 'N', "character effects"},
    {GS, 'P', "page mode print area"},
    {GS, 'Q', "draw lines and boxes"},
    {GS, 'z', "counter"},
    {FS, 'A', "kanji character style"},
    {FS, 'C', "kanji code"},
    {FS, 'E', "receipt enhancement"},
    {FS, 'L', "label and black mark paper"},
    {FS, 'e', "extended automatic status back"},
};

std::string FunctionText(std::span<const std::uint8_t> b) {
  std::string what = "function";
  for (const FunctionName& f : kFunctions) {
    if (f.prefix == b[0] && f.sub == b[2]) what = f.meaning;
  }
  const std::size_t params = Little16(b, 3);
  if (params == 0 || b.size() < 6) return what + ", no parameters";
  return what + ", fn " + std::to_string(b[5]) + ", " + Plural(params, "parameter byte", "parameter bytes");
}

// GS ( L and GS 8 L: m fn at `at`, a bx by c xL xH yL yH after them.
std::string GraphicsText(const DecodedCommand& c) {
  const auto& b = c.bytes;
  const std::size_t at = b[1] == 0x28 ? 5 : 7;
  if (b.size() < at + 2) return "graphics, no function";
  const std::uint8_t fn = b[at + 1];
  const std::size_t data = c.notKept + (b.size() > at + 10 ? b.size() - (at + 10) : 0);
  switch (fn) {
    case 112:
    case 48 + 64 + 3:  // 'S': define download graphics, same header
      if (b.size() >= at + 10) {
        const std::string size = std::to_string(Little16(b, at + 6)) + " x " + std::to_string(Little16(b, at + 8)) +
                                 " dots, colour " + std::to_string(Digit(b[at + 5]));
        return std::string(fn == 112 ? "graphics store raster " : "graphics define download ") + size + ", " +
               Plural(data, "byte", "bytes") + " of image data";
      }
      break;
    case 50:
    case 2: return "graphics print the stored picture";
    case 49:
    case 1: return "graphics dot density";
    case 67: return "graphics define NV picture, " + Plural(data, "byte", "bytes");
    case 69: return "graphics print NV picture";
    case 85: return "graphics print download picture";
    default: break;
  }
  return "graphics function " + std::to_string(fn);
}

std::string Signed16(std::span<const std::uint8_t> b, std::size_t at) {
  const int n = static_cast<std::int16_t>(Little16(b, at));
  return (n >= 0 ? "+" : "") + std::to_string(n);
}

std::string BitImageText(const DecodedCommand& c) {
  const auto& b = c.bytes;
  const std::uint8_t m = b[2];
  const std::string height = m >= 32 ? "24" : "8";
  const std::string density = (m & 1) != 0 ? "double density" : "single density";
  return std::to_string(Little16(b, 3)) + " x " + height + " dots, " + density + ", " +
         Plural(c.notKept, "byte", "bytes") + " of image data";
}

std::string RealTimeStatusText(std::uint8_t n) {
  switch (n) {
    case 1: return "printer";
    case 2: return "offline cause";
    case 3: return "error cause";
    case 4: return "paper sensor";
    default: return "unknown (n = " + Hex2(n) + ")";
  }
}

std::string RealTimeRequestText(std::span<const std::uint8_t> b) {
  switch (b[2]) {
    case 1: return "drawer pulse: " + DrawerPin(b[3]) + ", " + std::to_string(b[4] * 100) + " ms";
    case 2: return "power off";
    case 3:
      if (b[3] == 0) return "buzzer off";
      return "buzzer pattern " + std::to_string(b[3]) + ", " +
             (b[5] == 0 ? std::string("repeated until stopped") : Plural(b[5], "time", "times"));
    case 7: return "send status " + std::to_string(b[3]) + (b[3] == 1 ? " (automatic status back)" : "");
    case 8: return "clear the buffers";
    default: return "unknown function " + std::to_string(b[2]);
  }
}

// GS I n: what n asks for.
std::string PrinterIdText(std::uint8_t n) {
  switch (n) {
    case 1:
    case '1': return "model ID";
    case 2:
    case '2': return "type ID";
    case 3:
    case '3': return "version ID";
    case 0x41: return "firmware version";
    case 0x42: return "maker";
    case 0x43: return "model";
    case 0x44: return "serial number";
    default: return "n = " + Hex2(n);
  }
}

std::string AutoStatusText(std::uint8_t n) {
  if ((n & 0x0F) == 0) return "off";
  std::string s;
  auto add = [&](std::uint8_t bit, const char* what) {
    if ((n & bit) != 0) s += (s.empty() ? "" : ", ") + std::string(what);
  };
  add(0x01, "drawer");
  add(0x02, "online/offline");
  add(0x04, "errors");
  add(0x08, "paper sensor");
  return "report " + s;
}

std::string Parameters(const DecodedCommand& c) {
  const auto& b = c.bytes;
  switch (c.kind) {
    case CommandKind::DrawerPulse:
      return "drawer pulse: " + DrawerPin(b[2]) + ", on " + std::to_string(b[3] * 2) + " ms, off " +
             std::to_string(b[4] * 2) + " ms";
    case CommandKind::Feed: return "print and feed " + Plural(b[2], "line", "lines");
    case CommandKind::SetAddress: return "set address " + DottedQuad({b[2], b[3], b[4], b[5]}) + ", " + ChecksumText(c);
    case CommandKind::SetMac: return "set MAC " + Colons(std::span(b).subspan(2, 6)) + ", " + ChecksumText(c);
    case CommandKind::PrintMode: return "print mode: " + PrintModeText(b[2]);
    case CommandKind::Emphasis: return "emphasis " + OnOff(b[2]);
    case CommandKind::Underline: return "underline " + UnderlineText(b[2]);
    case CommandKind::Align: return "align " + AlignText(b[2]);
    case CommandKind::FeedDots: return "print and feed " + Plural(b[2], "dot", "dots");
    case CommandKind::CodePage: {
      const char* name = CodePageName(b[2]);
      return "code page " + std::to_string(b[2]) + (name != nullptr ? std::string(" (") + name + ")" : " (not read)") +
             ", one byte a character";
    }
    case CommandKind::Font: return std::string("font ") + (Digit(b[2]) == 1 ? "B" : Digit(b[2]) == 0 ? "A" : "?");
    case CommandKind::CharacterSet: return "international character set " + std::to_string(b[2]);
    case CommandKind::LineSpacing: return "line spacing " + Plural(b[2], "dot", "dots");
    case CommandKind::PeripheralStatus: return "peripheral status request";
    case CommandKind::GsCut: return GsCutText(b);
    case CommandKind::CharacterSize:
      return "character size: " + std::to_string((b[2] >> 4) + 1) + " x wide, " + std::to_string((b[2] & 0x0F) + 1) +
             " x high";
    case CommandKind::Reverse: return "reverse printing " + OnOff(b[2]);
    case CommandKind::LeftMargin: return "left margin " + Plural(Little16(b, 2), "dot", "dots");
    case CommandKind::PrintWidth: return "print area width " + Plural(Little16(b, 2), "dot", "dots");
    case CommandKind::BarcodeHeight: return "barcode height " + Plural(b[2], "dot", "dots");
    case CommandKind::BarcodeWidth: return "barcode module width " + Plural(b[2], "dot", "dots");
    case CommandKind::BarcodeLabel: {
      static const char* const kWhere[] = {"not printed", "above", "below", "above and below"};
      const int n = Digit(b[2]);
      return std::string("barcode label ") + (n >= 0 && n < 4 ? kWhere[n] : "unknown");
    }
    case CommandKind::BarcodeLabelFont: return std::string("barcode label font ") + (Digit(b[2]) == 1 ? "B" : "A");
    case CommandKind::Barcode: return "barcode " + BarcodeText(b);
    case CommandKind::QrCode: return QrText(b);
    case CommandKind::RasterImage: return "raster image " + RasterText(c);
    case CommandKind::TransmitStatus: {
      const int n = Digit(b[2]);
      return std::string("status request: ") + (n == 1 ? "paper sensor" : n == 2 ? "drawer" : "unknown");
    }
    case CommandKind::AutoStatusBack: return "automatic status back: " + AutoStatusText(b[2]);
    case CommandKind::RealTimeStatus: return "real-time status request: " + RealTimeStatusText(b[2]);
    case CommandKind::RealTimeRequest: return "real-time " + RealTimeRequestText(b);
    case CommandKind::NvImage: return "print stored image " + std::to_string(b[2]);
    case CommandKind::DefineNvImages: {
      if (b.size() < kNvImagesHeader) return "define NV bit images: none";
      const std::string s = "define NV bit images: " + Plural(b[2], "picture", "pictures") + ", the first " +
                            std::to_string(Little16(b, 3) * 8) + " x " + std::to_string(Little16(b, 5) * 8) + " dots, ";
      if (c.cutShort) return s + "CUT SHORT after " + Plural(c.notKept, "byte", "bytes") + " of its data";
      return s + Plural(c.notKept, "byte", "bytes") + " of data";
    }
    case CommandKind::CharacterSpacing: return "character spacing " + Plural(b[2], "dot", "dots");
    case CommandKind::AbsolutePosition: return "absolute position " + Plural(Little16(b, 2), "dot", "dots");
    case CommandKind::RelativePosition: return "relative position " + Signed16(b, 2) + " dots";
    case CommandKind::UserCharactersOn: return "user-defined characters " + OnOff(b[2]);
    case CommandKind::DefineCharacters:
      return "define user-defined characters " + Hex2(b[3]) + " to " + Hex2(b[4]) + ", " +
             Plural(b[2] * 8, "dot", "dots") + " high";
    case CommandKind::BitImage: return "bit image " + BitImageText(c);
    case CommandKind::CancelCharacter: return "cancel user-defined character " + Hex2(b[2]);
    case CommandKind::TabPositions: {
      std::string s = "tab positions";
      for (std::size_t i = 2; i < b.size() && b[i] != NUL; ++i)
        s += (i == 2 ? " at columns " : ", ") + std::to_string(b[i]);
      return b.size() <= 3 ? "tab positions cleared" : s;
    }
    case CommandKind::DoubleStrike: return "double-strike " + OnOff(b[2]);
    case CommandKind::ReverseFeed: return "print and feed back " + Plural(b[2], "dot", "dots");
    case CommandKind::PageDirection: {
      static const char* const kDirections[] = {"left to right", "bottom to top", "right to left", "top to bottom"};
      const int n = Digit(b[2]);
      return std::string("page mode print direction ") + (n >= 0 && n < 4 ? kDirections[n] : "unknown");
    }
    case CommandKind::Unidirectional: return "unidirectional printing " + OnOff(b[2]);
    case CommandKind::Rotate90: return "90 degree rotation " + std::string(Digit(b[2]) == 0 ? "off" : "on");
    case CommandKind::PageArea:
      return "page mode print area at " + std::to_string(Little16(b, 2)) + ", " + std::to_string(Little16(b, 4)) +
             ", " + std::to_string(Little16(b, 6)) + " x " + std::to_string(Little16(b, 8)) + " dots";
    case CommandKind::ReverseFeedLines: return "print and feed back " + Plural(b[2], "line", "lines");
    case CommandKind::Colour: return "print colour " + std::to_string(Digit(b[2]) + 1);
    case CommandKind::UpsideDown: return "upside-down printing " + OnOff(b[2]);
    case CommandKind::Function: return FunctionText(b);
    case CommandKind::Graphics: return GraphicsText(c);
    case CommandKind::PageVerticalPosition:
      return "page mode vertical position " + Plural(Little16(b, 2), "dot", "dots");
    case CommandKind::PageRelativeVertical: return "page mode relative vertical position " + Signed16(b, 2) + " dots";
    case CommandKind::DefineDownloadedImage:
      return "define downloaded image " + std::to_string(b[2] * 8) + " x " + std::to_string(b[3] * 8) + " dots, " +
             Plural(c.notKept, "byte", "bytes") + " of image data";
    case CommandKind::PrintDownloadedImage: return "print downloaded image, mode " + std::to_string(Digit(b[2]));
    case CommandKind::ExecuteMacro:
      return "execute macro " + Plural(b[2], "time", "times") + ", " + std::to_string(b[3] * 100) + " ms apart";
    case CommandKind::PrinterId: return "printer information request: " + PrinterIdText(b[2]);
    case CommandKind::MotionUnits: return "motion units " + std::to_string(b[2]) + ", " + std::to_string(b[3]);
    case CommandKind::Smoothing: return "smoothing " + OnOff(b[2]);
    case CommandKind::RealTimeRequestEnq: return "real-time request " + std::to_string(b[2]);
    case CommandKind::KanjiPrintMode: return "kanji print mode " + Hex2(b[2]);
    case CommandKind::KanjiUnderline: return "kanji underline " + UnderlineText(b[2]);
    case CommandKind::DefineKanji: return "define user-defined kanji " + Hex2(b[2]) + " " + Hex2(b[3]);
    case CommandKind::CancelKanji: return "cancel user-defined kanji " + Hex2(b[2]) + " " + Hex2(b[3]);
    case CommandKind::KanjiCodeSystem:
      return std::string("kanji code system ") + (Digit(b[2]) == 1 ? "Shift JIS" : "JIS");
    case CommandKind::KanjiSpacing:
      return "kanji spacing " + std::to_string(b[2]) + " dots left, " + std::to_string(b[3]) + " dots right";
    case CommandKind::KanjiQuadruple: return "kanji quadruple size " + OnOff(b[2]);
    case CommandKind::Text: return "\"" + ConvertText(b, true, c.codePage) + "\"";
    case CommandKind::Raw: {
      std::string s = c.Length() <= kRawBytesShown ? HexBytes(b)
                                                   : HexBytes(std::span(b).first(std::min(kRawBytesShown, b.size()))) +
                                                         " ... (" + std::to_string(c.Length()) + " bytes)";
      // An unknown command: its parameters, if it had any, may have passed for text after it.
      if (std::any_of(b.begin(), b.end(), IsPrefix)) {
        s += " (unknown command; in step again at byte " + std::to_string(c.at + c.Length()) + ")";
      }
      return s;
    }
    default: {
      const KnownCommand* k = CommandOf(c);
      return k != nullptr ? k->meaning : HexBytes(b);
    }
  }
}

// The transcript's first column: the command's mnemonic ("GS ( E" for a
// function of the pL pH forms), or "text" or "raw".
std::string Mnemonic(const DecodedCommand& c) {
  if (c.kind == CommandKind::Text) return "text";
  const KnownCommand* k = CommandOf(c);
  if (k == nullptr) return "raw";
  if (k->sub == kAnySub) return std::string(k->mnemonic) + " " + static_cast<char>(c.bytes[2]);
  return k->mnemonic;
}

// What follows the first column: the command's parameters in words, or for
// a command the connection cut short, the bytes that came of it.
std::string Meaning(const DecodedCommand& c) {
  const KnownCommand* k = CommandOf(c);
  if (k == nullptr || !c.cutShort) return Parameters(c);
  // A picture cut short in its data is told by its parameters.
  if (k->head > 0 && c.bytes.size() == k->head) {
    const std::size_t data = k->length(c.bytes) - k->head;
    if (c.kind == CommandKind::RasterImage || c.kind == CommandKind::DefineNvImages) return Parameters(c);
    return Parameters(c) + " CUT SHORT: " + std::to_string(c.notKept) + " of " + Plural(data, "byte", "bytes") +
           " of data";
  }
  const std::size_t full = k->length(c.bytes);
  // A barcode's NUL-ended data does not say how long it was meant to be.
  const bool counted = k->length != BarcodeLength || (c.bytes.size() >= 4 && c.bytes[2] >= 65);
  const std::string of = full > c.bytes.size() && counted
                             ? " (" + std::to_string(c.bytes.size()) + " of " + std::to_string(full) + " bytes)"
                             : " (" + Plural(c.bytes.size(), "byte", "bytes") + ")";
  return std::string(k->meaning) + " CUT SHORT: " + HexBytes(c.bytes) + of;
}

}  // namespace

// Decodes from the start of `bytes` into `out` and returns how many bytes it
// used. With `final` false it stops before anything later bytes could change.
std::size_t StreamDecoder::Decode(std::span<const std::uint8_t> bytes, bool final, std::vector<DecodedCommand>& out) {
  std::size_t pos = 0;
  // Every command made here learns where it started in the connection.
  auto emit = [&](CommandKind kind, std::span<const std::uint8_t> command, bool cutShort = false,
                  int codePage = DecodedCommand::kGbk) {
    const std::size_t before = out.size();
    Emit(out, kind, command, cutShort, codePage);
    if (out.size() > before) out.back().at = pendingAt_ + pos;
  };
  while (pos < bytes.size()) {
    if (!image_.empty()) {
      DecodedCommand& image = image_.front();
      // Between FS q's pictures: the next one's xL xH yL yH.
      const bool header = imageLeft_ == 0;
      const std::size_t take = std::min(header ? 4 - nextPicture_.size() : imageLeft_, bytes.size() - pos);
      const auto passing = bytes.subspan(pos, take);
      const std::size_t keep = std::min(take, keepData_ - std::min(keepData_, image.data.size()));
      image.data.insert(image.data.end(), passing.begin(), passing.begin() + static_cast<std::ptrdiff_t>(keep));
      image.notKept += take;
      pos += take;
      if (!header) {
        imageLeft_ -= take;
      } else {
        nextPicture_.insert(nextPicture_.end(), passing.begin(), passing.end());
        if (nextPicture_.size() == 4) {
          imageLeft_ = Little16(nextPicture_, 0) * Little16(nextPicture_, 2) * 8;
          --picturesLeft_;
          nextPicture_.clear();
        }
      }
      if (imageLeft_ == 0 && picturesLeft_ == 0) {
        out.push_back(std::move(image));
        image_.clear();
      }
      continue;
    }
    const std::uint8_t b = bytes[pos];
    const std::size_t left = bytes.size() - pos;
    if (b == kFormFeed.prefix || b == kCancel.prefix) {
      emit(b == kFormFeed.prefix ? kFormFeed.kind : kCancel.kind, bytes.subspan(pos, 1));
      ++pos;
      continue;
    }
    if (IsPrefix(b)) {
      if (left < 2) {
        if (!final) break;
        emit(CommandKind::Raw, bytes.subspan(pos, 1));
        ++pos;
        continue;
      }
      const auto here = bytes.subspan(pos);
      bool undecided = false;
      const KnownCommand* known = FindCommand(here, undecided);
      if (undecided && !final) break;
      const std::uint8_t code = bytes[pos + 1];
      if (known == nullptr) {
        // An unknown command: its code goes with it, unless the code is the
        // start of the next command.
        const std::size_t length = IsPrefix(code) ? 1 : 2;
        emit(CommandKind::Raw, bytes.subspan(pos, length));
        pos += length;
        continue;
      }
      const std::size_t length = known->length(here);
      // A picture, or a command too long to keep, is kept by its header; the
      // rest passes counted.
      const bool streamed = known->head > 0 && length > std::max(known->head, known->streamAbove);
      const std::size_t needed = streamed ? known->head : length;
      if (left < needed) {
        if (!final) break;
        emit(known->kind, here, true);
        pos = bytes.size();
        continue;
      }
      const auto command = here.first(needed);
      switch (known->kind) {
        case CommandKind::Initialise:
          chinese_ = true;
          codePage_ = 0;
          break;
        // A client that picks a code page prints one byte a character.
        case CommandKind::CodePage:
          codePage_ = command[2];
          chinese_ = false;
          break;
        case CommandKind::ChineseOn: chinese_ = true; break;
        case CommandKind::ChineseOff: chinese_ = false; break;
        default: break;
      }
      if (streamed) {
        DecodedCommand& image = image_.emplace_back();
        image.kind = known->kind;
        image.bytes.assign(command.begin(), command.end());
        image.at = pendingAt_ + pos;
        imageLeft_ = length - needed;
        if (known->kind == CommandKind::DefineNvImages) {
          // The first picture's dots; the others' sizes come between them.
          imageLeft_ = Little16(command, 3) * Little16(command, 5) * 8;
          picturesLeft_ = command[2] - 1;
        }
        pos += needed;
        continue;
      }
      emit(known->kind, command);
      pos += length;
      continue;
    }
    std::size_t end = pos;
    if (!TextRunEnd(bytes, pos, final, chinese_, end)) break;
    if (end == pos) {
      emit(CommandKind::Raw, bytes.subspan(pos, 1));
      ++pos;
    } else {
      emit(CommandKind::Text, bytes.subspan(pos, end - pos), false, chinese_ ? DecodedCommand::kGbk : codePage_);
      pos = end;
    }
  }
  if (final && !image_.empty()) {
    image_.front().cutShort = true;
    out.push_back(std::move(image_.front()));
    image_.clear();
    imageLeft_ = 0;
    picturesLeft_ = 0;
    nextPicture_.clear();
  }
  return pos;
}

std::vector<DecodedCommand> StreamDecoder::Feed(std::span<const std::uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  // The open raw run goes first, so that raw bytes right after it join it.
  std::vector<DecodedCommand> completed = std::move(openRaw_);
  openRaw_.clear();
  const std::size_t used = Decode(pending_, false, completed);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
  pendingAt_ += used;
  // A raw run at the end of what is decoded so far may go on with the next bytes.
  if (!completed.empty() && completed.back().kind == CommandKind::Raw) {
    openRaw_.push_back(std::move(completed.back()));
    completed.pop_back();
  }
  return completed;
}

std::vector<DecodedCommand> StreamDecoder::Finish() {
  std::vector<DecodedCommand> rest = std::move(openRaw_);
  openRaw_.clear();
  Decode(pending_, true, rest);
  pending_.clear();
  pendingAt_ = 0;
  chinese_ = true;
  codePage_ = 0;
  return rest;
}

std::vector<DecodedCommand> DecodeStream(std::span<const std::uint8_t> bytes) {
  StreamDecoder decoder;
  std::vector<DecodedCommand> commands = decoder.Feed(bytes);
  std::vector<DecodedCommand> rest = decoder.Finish();
  commands.insert(commands.end(), std::make_move_iterator(rest.begin()), std::make_move_iterator(rest.end()));
  return commands;
}

bool ChecksumMatches(const DecodedCommand& c) {
  if ((c.kind != CommandKind::SetAddress && c.kind != CommandKind::SetMac) || c.cutShort) return true;
  return printerlink::Checksum(std::span(c.bytes).subspan(2, c.bytes.size() - 3)) == c.bytes.back();
}

std::string Describe(const DecodedCommand& c) { return Line(Mnemonic(c), Meaning(c)); }

std::string DescribeLine(std::span<const std::uint8_t> bytes) {
  std::string line;
  for (const DecodedCommand& c : DecodeStream(bytes)) {
    // The transcript pads the mnemonic into a column; one line needs one space.
    if (!line.empty()) line += "; ";
    line += Mnemonic(c);
    line += " " + Meaning(c);
  }
  return line;
}

std::string TextOf(const DecodedCommand& c) { return ConvertText(c.bytes, false, c.codePage); }

std::vector<std::uint8_t> PayloadOf(const DecodedCommand& c, std::size_t header) {
  std::vector<std::uint8_t> data;
  if (c.bytes.size() > header) data.assign(c.bytes.begin() + static_cast<std::ptrdiff_t>(header), c.bytes.end());
  data.insert(data.end(), c.data.begin(), c.data.end());
  return data;
}

const char* CodePageName(int page) {
  const CodePage* p = FindCodePage(page);
  return p != nullptr ? p->name : nullptr;
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string s;
  for (std::uint8_t b : bytes) {
    if (!s.empty()) s.push_back(' ');
    s += Hex2(b);
  }
  return s;
}

}  // namespace printerlink
