#include "Charset.h"

#include <iconv.h>

#include <cerrno>

namespace printerlink {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

std::string Utf32Le(char32_t cp) {
  return {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF), static_cast<char>((cp >> 16) & 0xFF),
          static_cast<char>((cp >> 24) & 0xFF)};
}

void AppendUtf32Le(std::string_view bytes, std::u32string& out) {
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    const auto b = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(bytes[i + k])); };
    out.push_back(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
  }
}

}  // namespace

Charset::Charset(const char* to, const char* from) : cd_(iconv_open(to, from)) {}

Charset::~Charset() {
  if (ok()) iconv_close(static_cast<iconv_t>(cd_));
}

bool Charset::ok() const { return static_cast<iconv_t>(cd_) != kNoConverter; }

Converted Charset::Convert(std::string_view in) {
  Converted result;
  if (!ok()) {
    result.error = ENOENT;
    return result;
  }
  const auto cd = static_cast<iconv_t>(cd_);
  char* pin = const_cast<char*>(in.data());  // iconv does not write its input
  std::size_t inLeft = in.size();
  while (inLeft > 0) {
    char buf[256];
    char* pout = buf;
    std::size_t outLeft = sizeof buf;
    const std::size_t rc = iconv(cd, &pin, &inLeft, &pout, &outLeft);
    const int err = errno;
    result.bytes.append(buf, pout);
    if (rc == static_cast<std::size_t>(-1) && err != E2BIG) {
      result.error = err == EINVAL ? EINVAL : EILSEQ;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      break;
    }
  }
  result.read = in.size() - inLeft;
  return result;
}

std::string EncodeGbk(std::u32string_view text) {
  std::string out;
  Charset gbk("GBK", "UTF-32LE");
  if (!gbk.ok()) return out;
  // One character at a time, so that one without a GBK form costs only itself.
  for (char32_t cp : text) {
    const Converted c = gbk.Convert(Utf32Le(cp));
    out += c.error == 0 ? c.bytes : std::string("?");
  }
  return out;
}

std::u32string DecodeGbk(std::string_view bytes) {
  std::u32string out;
  Charset gbk("UTF-32LE", "GBK");
  if (!gbk.ok()) {
    for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
    return out;
  }
  while (!bytes.empty()) {
    const Converted c = gbk.Convert(bytes);
    AppendUtf32Le(c.bytes, out);
    bytes.remove_prefix(c.read);
    if (c.error != 0) {
      // An invalid or cut-off sequence: one replacement character, and on
      // after its first byte.
      out.push_back(U'\uFFFD');
      bytes.remove_prefix(1);
    }
  }
  return out;
}

}  // namespace printerlink
