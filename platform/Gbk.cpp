#include "Gbk.h"

#include <QList>
#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {

// One conversion descriptor per call: conversions are short and rare, and
// nothing is shared between threads.
class Iconv {
public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

private:
  iconv_t cd_;
};

}  // namespace

std::string ToGbk(const QString& text) {
  std::string out;
  Iconv cd("GBK", "UTF-32LE");
  if (!cd.ok()) return out;
  for (char32_t cp : text.toUcs4()) {
    char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                  static_cast<char>((cp >> 16) & 0xFF), static_cast<char>((cp >> 24) & 0xFF)};
    char buf[8];
    char* pin = in;
    char* pout = buf;
    size_t inLeft = sizeof in;
    size_t outLeft = sizeof buf;
    if (iconv(cd.get(), &pin, &inLeft, &pout, &outLeft) == static_cast<size_t>(-1)) {
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      out.push_back('?');
      continue;
    }
    out.append(buf, pout);
  }
  return out;
}

QString FromGbk(std::string_view bytes) {
  Iconv cd("UTF-32LE", "GBK");
  if (!cd.ok()) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  std::u32string out;
  std::vector<char> in(bytes.begin(), bytes.end());
  char* pin = in.data();
  size_t inLeft = in.size();
  while (inLeft > 0) {
    char32_t buf[64];
    char* pout = reinterpret_cast<char*>(buf);
    size_t outLeft = sizeof buf;
    const size_t r = iconv(cd.get(), &pin, &inLeft, &pout, &outLeft);
    out.append(buf, reinterpret_cast<char32_t*>(pout));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off byte sequence: show it as one replacement
      // character and go on after its first byte.
      out.push_back(U'\uFFFD');
      ++pin;
      --inLeft;
    }
  }
  return QString::fromUcs4(out.data(), static_cast<qsizetype>(out.size()));
}
