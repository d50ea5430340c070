#include "PrinterDecoder.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "Frames.h"

namespace printerlink {
namespace {

constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t GS = 0x1D;
constexpr std::uint8_t LF = 0x0A;

// A line of text without a line feed is still shown in pieces of about this
// many bytes, so a job that never feeds a line cannot pile up undecoded.
constexpr std::size_t kMaxTextRun = 256;
// A long run of raw bytes (an image, say) is kept and shown by its first
// bytes only.
constexpr std::size_t kRawBytesShown = 32;

struct KnownCommand {
  std::uint8_t prefix;
  std::uint8_t code;
  CommandKind kind;
  std::size_t length;
};

constexpr KnownCommand kKnownCommands[] = {
    {ESC, 0x40, CommandKind::Initialise, 2},    {ESC, 0x70, CommandKind::DrawerPulse, 5},
    {ESC, 0x64, CommandKind::Feed, 3},          {ESC, 0x6D, CommandKind::Cut, 2},
    {ESC, 0x76, CommandKind::StatusRequest, 2}, {GS, 0x44, CommandKind::SetAddress, 7},
    {GS, 0x45, CommandKind::SetMac, 9},
};

const KnownCommand* FindCommand(std::uint8_t prefix, std::uint8_t code) {
  for (const KnownCommand& k : kKnownCommands) {
    if (k.prefix == prefix && k.code == code) return &k;
  }
  return nullptr;
}

bool IsTextByte(std::uint8_t b) { return b == '\t' || b == LF || b == '\r' || (b >= 0x20 && b <= 0x7E); }
bool IsGbkLead(std::uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool IsGbkTrail(std::uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

// Raw bytes join the raw run just before them, which keeps its first
// kRawBytesShown bytes and counts the rest.
void Emit(std::vector<DecodedCommand>& out, CommandKind kind, std::span<const std::uint8_t> bytes,
          bool cutShort = false) {
  if (kind == CommandKind::Raw && !out.empty() && out.back().kind == CommandKind::Raw) {
    DecodedCommand& run = out.back();
    const std::size_t room = kRawBytesShown - std::min(kRawBytesShown, run.bytes.size());
    const std::size_t kept = std::min(room, bytes.size());
    run.bytes.insert(run.bytes.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept));
    run.notKept += bytes.size() - kept;
    return;
  }
  out.push_back({kind, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), cutShort});
}

// Where the text run starting at `pos` ends. A run ends after a line feed,
// once it is kMaxTextRun bytes long, or before a byte that is not text. Before
// the end of the stream (`final` false) a run that reaches the end of the
// bytes so far may still grow: returns false then.
bool TextRunEnd(std::span<const std::uint8_t> bytes, std::size_t pos, bool final, std::size_t& end) {
  std::size_t j = pos;
  while (j < bytes.size()) {
    const std::uint8_t c = bytes[j];
    if (IsTextByte(c)) {
      ++j;
      if (c == LF || j - pos >= kMaxTextRun) break;
    } else if (IsGbkLead(c)) {
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

// Decodes from the start of `bytes` into `out` and returns how many bytes it
// used. With `final` false it stops before anything later bytes could change.
std::size_t DecodeInto(std::span<const std::uint8_t> bytes, bool final, std::vector<DecodedCommand>& out) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::uint8_t b = bytes[pos];
    const std::size_t left = bytes.size() - pos;
    if (b == ESC || b == GS) {
      if (left < 2) {
        if (!final) break;
        Emit(out, CommandKind::Raw, bytes.subspan(pos, 1));
        ++pos;
        continue;
      }
      const std::uint8_t code = bytes[pos + 1];
      const KnownCommand* known = FindCommand(b, code);
      if (known == nullptr) {
        // An unknown command: its code goes with it, unless the code is the
        // start of the next command.
        const std::size_t length = (code == ESC || code == GS) ? 1 : 2;
        Emit(out, CommandKind::Raw, bytes.subspan(pos, length));
        pos += length;
        continue;
      }
      if (left < known->length) {
        if (!final) break;
        Emit(out, known->kind, bytes.subspan(pos), true);
        pos = bytes.size();
        continue;
      }
      Emit(out, known->kind, bytes.subspan(pos, known->length));
      pos += known->length;
      continue;
    }
    std::size_t end = pos;
    if (!TextRunEnd(bytes, pos, final, end)) break;
    if (end == pos) {
      Emit(out, CommandKind::Raw, bytes.subspan(pos, 1));
      ++pos;
    } else {
      Emit(out, CommandKind::Text, bytes.subspan(pos, end - pos));
      pos = end;
    }
  }
  return pos;
}

std::string Hex2(unsigned value) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
  return buf;
}

class GbkConverter {
public:
  GbkConverter() : cd_(iconv_open("UTF-8", "GBK")) {}
  ~GbkConverter() {
    if (ok()) iconv_close(cd_);
  }
  GbkConverter(const GbkConverter&) = delete;
  GbkConverter& operator=(const GbkConverter&) = delete;

  // Appends the UTF-8 of one two-byte GBK character; false when GBK has none.
  bool AppendPair(std::uint8_t lead, std::uint8_t trail, std::string& out) {
    if (!ok()) return false;
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    char buf[8];
    char* pin = in;
    char* pout = buf;
    std::size_t inLeft = sizeof in;
    std::size_t outLeft = sizeof buf;
    if (iconv(cd_, &pin, &inLeft, &pout, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      return false;
    }
    out.append(buf, pout);
    return true;
  }

private:
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t cd_;
};

// GBK is ASCII below 0x80 and two bytes per character above; anything it
// cannot read is kept visible as \xHH. With `quoted`, control characters,
// quotes and backslashes are escaped so that the text reads as one line.
std::string ConvertGbk(std::span<const std::uint8_t> bytes, bool quoted) {
  // Opening a converter costs more than converting a line; each thread keeps one.
  thread_local GbkConverter gbk;
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
    if (IsGbkLead(b) && i + 1 < bytes.size() && IsGbkTrail(bytes[i + 1]) &&
        gbk.AppendPair(b, bytes[i + 1], out)) {
      ++i;
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

std::string Dotted(std::span<const std::uint8_t> octets) {
  std::string s;
  for (std::uint8_t o : octets) s += (s.empty() ? "" : ".") + std::to_string(o);
  return s;
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

const char* Mnemonic(CommandKind kind) {
  switch (kind) {
    case CommandKind::Initialise: return "ESC @";
    case CommandKind::DrawerPulse: return "ESC p";
    case CommandKind::Feed: return "ESC d";
    case CommandKind::Cut: return "ESC m";
    case CommandKind::StatusRequest: return "ESC v";
    case CommandKind::SetAddress: return "GS D";
    case CommandKind::SetMac: return "GS E";
    case CommandKind::Text: return "text";
    case CommandKind::Raw: return "raw";
  }
  return "?";
}

const char* Meaning(CommandKind kind) {
  switch (kind) {
    case CommandKind::Initialise: return "initialise";
    case CommandKind::DrawerPulse: return "drawer pulse";
    case CommandKind::Feed: return "print and feed";
    case CommandKind::Cut: return "cut";
    case CommandKind::StatusRequest: return "status request";
    case CommandKind::SetAddress: return "set address";
    case CommandKind::SetMac: return "set MAC";
    case CommandKind::Text: return "text";
    case CommandKind::Raw: return "raw bytes";
  }
  return "?";
}

std::size_t FullLength(CommandKind kind) {
  for (const KnownCommand& k : kKnownCommands) {
    if (k.kind == kind) return k.length;
  }
  return 0;
}

}  // namespace

std::vector<DecodedCommand> StreamDecoder::Feed(std::span<const std::uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  // The open raw run goes first, so that raw bytes right after it join it.
  std::vector<DecodedCommand> completed = std::move(openRaw_);
  openRaw_.clear();
  const std::size_t used = DecodeInto(pending_, false, completed);
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
  DecodeInto(pending_, true, rest);
  pending_.clear();
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

std::string Describe(const DecodedCommand& c) {
  const char* mnemonic = Mnemonic(c.kind);
  if (c.cutShort) {
    return Line(mnemonic, std::string(Meaning(c.kind)) + " CUT SHORT: " + HexBytes(c.bytes) + " (" +
                              std::to_string(c.bytes.size()) + " of " + std::to_string(FullLength(c.kind)) +
                              " bytes)");
  }
  const auto& b = c.bytes;
  switch (c.kind) {
    case CommandKind::Initialise:
    case CommandKind::Cut:
    case CommandKind::StatusRequest:
      return Line(mnemonic, Meaning(c.kind));
    case CommandKind::DrawerPulse:
      return Line(mnemonic, "drawer pulse: " + DrawerPin(b[2]) + ", on " + std::to_string(b[3] * 2) + " ms, off " +
                                std::to_string(b[4] * 2) + " ms");
    case CommandKind::Feed:
      return Line(mnemonic, "print and feed " + std::to_string(b[2]) + (b[2] == 1 ? " line" : " lines"));
    case CommandKind::SetAddress:
      return Line(mnemonic, "set address " + Dotted(std::span(b).subspan(2, 4)) + ", " + ChecksumText(c));
    case CommandKind::SetMac:
      return Line(mnemonic, "set MAC " + Colons(std::span(b).subspan(2, 6)) + ", " + ChecksumText(c));
    case CommandKind::Text:
      return Line(mnemonic, "\"" + ConvertGbk(b, true) + "\"");
    case CommandKind::Raw: {
      if (c.Length() <= kRawBytesShown) return Line(mnemonic, HexBytes(b));
      const std::size_t shown = std::min(kRawBytesShown, b.size());
      return Line(mnemonic, HexBytes(std::span(b).first(shown)) + " ... (" + std::to_string(c.Length()) + " bytes)");
    }
  }
  return Line(mnemonic, HexBytes(b));
}

std::string GbkToUtf8(std::span<const std::uint8_t> bytes) { return ConvertGbk(bytes, false); }

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string s;
  for (std::uint8_t b : bytes) {
    if (!s.empty()) s.push_back(' ');
    s += Hex2(b);
  }
  return s;
}

}  // namespace printerlink
