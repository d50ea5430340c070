#pragma once
// Conversion between character sets with the C library's iconv: GBK for the
// printer's text, the single-byte code pages of ESC t, UTF-8 and UTF-32.
// The one place iconv is called; no Qt here.

#include <cstddef>
#include <string>
#include <string_view>

namespace printerlink {

// What one conversion made of its input.
struct Converted {
  std::string bytes;     // the converted bytes up to the first fault
  std::size_t read = 0;  // input bytes converted
  int error = 0;         // 0; EILSEQ (no such character), EINVAL (cut off) or ENOENT (no converter)
};

// One conversion descriptor. Opening one costs more than converting a line,
// so callers that convert often keep theirs; it is not for sharing between
// threads.
class Charset {
public:
  Charset(const char* to, const char* from);
  ~Charset();
  Charset(const Charset&) = delete;
  Charset& operator=(const Charset&) = delete;

  bool ok() const;
  // Converts `in` up to its end or its first fault; the state is reset
  // after a fault, so the next call starts clean.
  Converted Convert(std::string_view in);

private:
  void* cd_;
};

// Text into GBK; a character GBK cannot encode becomes "?".
std::string EncodeGbk(std::u32string_view text);
// GBK bytes into text; a byte that starts no GBK character becomes U+FFFD
// and reading goes on after it.
std::u32string DecodeGbk(std::string_view bytes);

}  // namespace printerlink
