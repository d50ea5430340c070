#include "CliInput.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "Charset.h"
#include "Settings.h"
#include "SocketLibrary.h"

namespace printercli {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The code point that starts at `at` in valid UTF-8 (iconv has read it).
char32_t CodePointAt(std::string_view s, std::size_t at) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(i < s.size() ? s[i] : 0); };
  const unsigned c = b(at);
  if (c < 0x80) return c;
  if ((c & 0xE0) == 0xC0) return ((c & 0x1F) << 6) | (b(at + 1) & 0x3F);
  if ((c & 0xF0) == 0xE0) return ((c & 0x0F) << 12) | ((b(at + 1) & 0x3F) << 6) | (b(at + 2) & 0x3F);
  return ((c & 0x07) << 18) | ((b(at + 1) & 0x3F) << 12) | ((b(at + 2) & 0x3F) << 6) | (b(at + 3) & 0x3F);
}

// Length of the UTF-8 sequence at `at` when it is a well-formed one, else 0.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t at) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned c = b(at);
  std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (n == 0 || at + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(at + i) & 0xC0) != 0x80) return 0;
  }
  const char32_t cp = CodePointAt(s, at);
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

HexList ParseHexBytes(std::string_view text) {
  HexList list;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view raw = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
    const std::string_view piece = Trim(raw);
    const int hi = piece.size() >= 1 ? HexDigit(piece[0]) : -1;
    const int lo = piece.size() == 2 ? HexDigit(piece[1]) : 0;
    if (piece.empty() || piece.size() > 2 || hi < 0 || lo < 0) {
      list.bytes.clear();
      list.badPiece = std::string(raw);
      return list;
    }
    list.bytes.push_back(static_cast<std::uint8_t>(piece.size() == 2 ? hi * 16 + lo : hi));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return list;
}

std::optional<printerlink::MacBytes> ParseMac(std::string_view text) {
  std::string digits;
  if (text.size() == 17) {
    const char sep = text[2];
    if (sep != ':' && sep != '-') return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (i % 3 == 2) {
        if (text[i] != sep) return std::nullopt;
      } else {
        digits.push_back(text[i]);
      }
    }
  } else {
    digits = text;
  }
  return printerlink::ParseMacDigits(digits);
}

std::optional<printerlink::Ipv4Octets> ParseAddress(std::string_view text) {
  const auto net = printerlink::ParseDottedQuad(text);
  if (!net) return std::nullopt;
  return std::bit_cast<printerlink::Ipv4Octets>(*net);  // network byte order: first octet first
}

std::optional<std::array<std::uint8_t, 3>> ParseSubnet(std::string_view text) {
  const auto o = ParseAddress(std::string(text) + ".0");
  if (!o) return std::nullopt;
  return std::array<std::uint8_t, 3>{(*o)[0], (*o)[1], (*o)[2]};
}

namespace {

// A whole number of seconds from 1 to `most`; `unsaid` for no text at all.
std::optional<int> Seconds(std::string_view text, int unsaid, int most) {
  if (text.empty()) return unsaid;
  int seconds = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + (c - '0');
    if (seconds > most) return std::nullopt;
  }
  if (seconds < 1) return std::nullopt;
  return seconds;
}

}  // namespace

std::optional<int> ParseWatchSeconds(std::string_view text) { return Seconds(text, kWatchIntervalSeconds, 86400); }

std::optional<int> ParseFollowSeconds(std::string_view text) { return Seconds(text, kFollowSeconds, 3600); }

std::size_t Utf8Length(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t n = Utf8SequenceAt(text, at);
    if (n == 0) break;
    at += n;
  }
  return at;
}

GbkText Utf8ToGbk(std::string_view utf8) {
  GbkText result;
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);

  printerlink::Charset gbk("GBK", "UTF-8");
  if (!gbk.ok()) {
    result.error = "this system's iconv has no GBK";
    return result;
  }
  printerlink::Converted converted = gbk.Convert(utf8);
  if (converted.error == 0) {
    result.bytes = std::move(converted.bytes);
    return result;
  }
  const int err = converted.error;

  // The first character that did not convert: where it stands, and why.
  const std::size_t at = converted.read;
  result.line = 1;
  result.column = 1;
  for (std::size_t i = 0; i < at; ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '\n') {
      ++result.line;
      result.column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++result.column;
    }
  }
  char where[64];
  std::snprintf(where, sizeof where, "line %d, column %d: ", result.line, result.column);
  const std::size_t n = err == EILSEQ ? Utf8SequenceAt(utf8, at) : 0;
  if (n > 0) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(CodePointAt(utf8, at)));
    result.error = std::string(where) + "\"" + std::string(utf8.substr(at, n)) + "\" (" + code + ") has no GBK form";
  } else {
    result.error = std::string(where) + "the bytes there are not UTF-8";
  }
  return result;
}

}  // namespace printercli
