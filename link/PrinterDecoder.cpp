#include "PrinterDecoder.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>

#include "Charset.h"
#include "Frames.h"
#include "SocketLibrary.h"

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

// GS ( k pL pH: pL + 256 pH bytes follow.
std::size_t QrLength(std::span<const std::uint8_t> b) {
  if (b.size() < 5) return 5;
  return 5 + Little16(b, 3);
}

// DLE DC4 fn: fn 1 and 2 take three more bytes, fn 8 seven.
std::size_t RealTimeRequestLength(std::span<const std::uint8_t> b) {
  if (b.size() < 3) return 3;
  if (b[2] == 1 || b[2] == 2) return 5;
  if (b[2] == 8) return 10;
  return 3;
}

struct KnownCommand {
  std::uint8_t prefix;
  std::uint8_t code;
  CommandKind kind;
  LengthOf length;
  const char* mnemonic;
  const char* meaning;
};

// GS v 0's header; its image data is counted as it passes, never kept.
constexpr std::size_t kRasterHeader = 8;

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
    {GS, 0x76, CommandKind::RasterImage, Fixed<kRasterHeader>, "GS v 0", "raster image"},
    {GS, 0x72, CommandKind::TransmitStatus, Fixed<3>, "GS r", "status request"},
    {GS, 0x61, CommandKind::AutoStatusBack, Fixed<3>, "GS a", "automatic status back"},
    {DLE, 0x04, CommandKind::RealTimeStatus, Fixed<3>, "DLE EOT", "real-time status request"},
    {DLE, 0x14, CommandKind::RealTimeRequest, RealTimeRequestLength, "DLE DC4", "real-time request"},
    {GS, 0x49, CommandKind::PrinterId, Fixed<3>, "GS I", "printer information request"},
    {FS, 0x70, CommandKind::NvImage, Fixed<4>, "FS p", "print stored image"},
    {FS, 0x26, CommandKind::ChineseOn, Fixed<2>, "FS &", "Chinese character mode on"},
    {FS, 0x2E, CommandKind::ChineseOff, Fixed<2>, "FS .", "Chinese character mode off"},
};

// GS ( k is the one command of three bytes before its parameters.
constexpr KnownCommand kQrCommand = {GS, 0x28, CommandKind::QrCode, QrLength, "GS ( k", "QR code"};

bool IsPrefix(std::uint8_t b) { return b == ESC || b == GS || b == FS || b == DLE; }

// What the bytes at the start of `b` are; nullptr for an unknown command, and
// `undecided` when more bytes must come to tell.
const KnownCommand* FindCommand(std::span<const std::uint8_t> b, bool& undecided) {
  undecided = false;
  // GS ( k and GS v 0 are told from their neighbours by their third byte.
  if (b[0] == GS && (b[1] == 0x28 || b[1] == 0x76)) {
    if (b.size() < 3) {
      undecided = true;
      return nullptr;
    }
    if (b[1] == 0x28) return b[2] == 0x6B ? &kQrCommand : nullptr;
    if (b[2] != 0x30 && b[2] != 0x00) return nullptr;
  }
  for (const KnownCommand& k : kKnownCommands) {
    if (k.prefix == b[0] && k.code == b[1]) return &k;
  }
  return nullptr;
}

const KnownCommand* CommandOf(CommandKind kind) {
  if (kind == CommandKind::QrCode) return &kQrCommand;
  for (const KnownCommand& k : kKnownCommands) {
    if (k.kind == kind) return &k;
  }
  return nullptr;
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
  DecodedCommand c{kind, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), cutShort};
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

std::size_t RasterDataLength(std::span<const std::uint8_t> header) { return Little16(header, 4) * Little16(header, 6); }

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

// The iconv name of an ESC t code page; nullptr where this decoder has none.
const char* CodePageName(int page) {
  switch (page) {
    case 0: return "CP437";
    case 2: return "CP850";
    case 3: return "CP860";
    case 4: return "CP863";
    case 5: return "CP865";
    case 16: return "CP1252";
    case 17: return "CP866";
    case 18: return "CP852";
    case 19: return "CP858";
    default: return nullptr;
  }
}

// Opening a converter costs more than converting a line; each thread keeps one
// per source.
Charset* ConverterFor(int codePage) {
  thread_local std::map<int, std::unique_ptr<Charset>> converters;
  auto& slot = converters[codePage];
  if (!slot) {
    const char* name = codePage == DecodedCommand::kGbk ? "GBK" : CodePageName(codePage);
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
    }
    out += "\\x" + Hex2(b);
  }
  return out;
}

std::string Line(const char* mnemonic, const std::string& text) {
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

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

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
    return "function for symbol " + (b.size() > 5 ? Hex2(b[5]) : std::string("?")) + ", " +
           Plural(b.size() - 5, "byte", "bytes");
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
      return "code page " + std::to_string(b[2]) + (name != nullptr ? std::string(" (") + name + ")" : "");
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
    case CommandKind::PrinterId: return "printer information request: " + PrinterIdText(b[2]);
    case CommandKind::NvImage: return "print stored image " + std::to_string(b[2]);
    case CommandKind::Text: return "\"" + ConvertText(b, true, c.codePage) + "\"";
    case CommandKind::Raw:
      if (c.Length() <= kRawBytesShown) return HexBytes(b);
      return HexBytes(std::span(b).first(std::min(kRawBytesShown, b.size()))) + " ... (" + std::to_string(c.Length()) +
             " bytes)";
    default: {
      const KnownCommand* k = CommandOf(c.kind);
      return k != nullptr ? k->meaning : HexBytes(b);
    }
  }
}

// The transcript's first column: the command's mnemonic, or "text" or "raw".
const char* Mnemonic(const DecodedCommand& c) {
  if (c.kind == CommandKind::Text) return "text";
  if (c.kind == CommandKind::Raw) return "raw";
  return CommandOf(c.kind)->mnemonic;
}

// What follows the first column: the command's parameters in words, or for
// a command the connection cut short, the bytes that came of it.
std::string Meaning(const DecodedCommand& c) {
  const KnownCommand* k = CommandOf(c.kind);
  // A raster image cut short in its data is told by its parameters.
  const bool wholeHeader = c.kind == CommandKind::RasterImage && c.bytes.size() == kRasterHeader;
  if (k == nullptr || !c.cutShort || wholeHeader) return Parameters(c);
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
  while (pos < bytes.size()) {
    if (!image_.empty()) {
      const std::size_t take = std::min(imageLeft_, bytes.size() - pos);
      image_.front().notKept += take;
      imageLeft_ -= take;
      pos += take;
      if (imageLeft_ == 0) {
        out.push_back(std::move(image_.front()));
        image_.clear();
      }
      continue;
    }
    const std::uint8_t b = bytes[pos];
    const std::size_t left = bytes.size() - pos;
    if (IsPrefix(b)) {
      if (left < 2) {
        if (!final) break;
        Emit(out, CommandKind::Raw, bytes.subspan(pos, 1));
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
        Emit(out, CommandKind::Raw, bytes.subspan(pos, length));
        pos += length;
        continue;
      }
      const std::size_t length = known->length(here);
      if (left < length) {
        if (!final) break;
        Emit(out, known->kind, here, true);
        pos = bytes.size();
        continue;
      }
      const auto command = here.first(length);
      switch (known->kind) {
        case CommandKind::Initialise:
          chinese_ = true;
          codePage_ = 0;
          break;
        case CommandKind::CodePage: codePage_ = command[2]; break;
        case CommandKind::ChineseOn: chinese_ = true; break;
        case CommandKind::ChineseOff: chinese_ = false; break;
        default: break;
      }
      pos += length;
      if (known->kind == CommandKind::RasterImage && RasterDataLength(command) > 0) {
        Emit(image_, known->kind, command);
        imageLeft_ = RasterDataLength(command);
        continue;
      }
      Emit(out, known->kind, command);
      continue;
    }
    std::size_t end = pos;
    if (!TextRunEnd(bytes, pos, final, chinese_, end)) break;
    if (end == pos) {
      Emit(out, CommandKind::Raw, bytes.subspan(pos, 1));
      ++pos;
    } else {
      Emit(out, CommandKind::Text, bytes.subspan(pos, end - pos), false, chinese_ ? DecodedCommand::kGbk : codePage_);
      pos = end;
    }
  }
  if (final && !image_.empty()) {
    image_.front().cutShort = true;
    out.push_back(std::move(image_.front()));
    image_.clear();
    imageLeft_ = 0;
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

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string s;
  for (std::uint8_t b : bytes) {
    if (!s.empty()) s.push_back(' ');
    s += Hex2(b);
  }
  return s;
}

}  // namespace printerlink
