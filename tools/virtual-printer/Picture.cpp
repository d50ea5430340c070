#include "Picture.h"

#include <png.h>
#include <zint.h>

#include <algorithm>
#include <memory>

namespace vprinter {
namespace {

struct SymbolDeleter {
  void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};
using Symbol = std::unique_ptr<zint_symbol, SymbolDeleter>;

// zint's raster at `dots` dots a module, without its blank margins: the
// printer prints the symbol alone and the paper gives its quiet zone.
Bitmap Rasterise(zint_symbol& s) {
  Bitmap out;
  if (ZBarcode_Buffer(&s, 0) >= ZINT_ERROR || s.bitmap == nullptr) return out;
  const int w = s.bitmap_width, h = s.bitmap_height;
  int left = w, right = -1, top = h, bottom = -1;
  auto ink = [&](int x, int y) { return s.bitmap[(static_cast<std::size_t>(y) * w + x) * 3] < 128; };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!ink(x, y)) continue;
      left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return out;
  out.width = right - left + 1;
  out.height = bottom - top + 1;
  out.dots.resize(out.Dots());
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) out.dots[static_cast<std::size_t>(y) * out.width + x] = ink(left + x, top + y);
  }
  return out;
}

// GS k's symbologies in zint's terms; 0 for one it does not draw.
int Symbology(int m) {
  if (m >= 65) m -= 65;
  static const int kSystems[] = {BARCODE_UPCA,     BARCODE_UPCE,    BARCODE_EANX,   BARCODE_EANX,   BARCODE_CODE39,
                                 BARCODE_C25INTER, BARCODE_CODABAR, BARCODE_CODE93, BARCODE_CODE128};
  return m >= 0 && m < 9 ? kSystems[m] : 0;
}

// CODE128 data as the printer takes it: "{A", "{B", "{C" choose the code
// set, "{{" is a brace, and in set C each byte is two digits. zint chooses
// its own sets for the same characters.
std::string Code128Text(std::span<const std::uint8_t> data) {
  std::string text;
  char set = 'B';
  for (std::size_t i = 0; i < data.size(); ++i) {
    const std::uint8_t b = data[i];
    if (b == '{' && i + 1 < data.size()) {
      const std::uint8_t next = data[++i];
      if (next == 'A' || next == 'B' || next == 'C') set = static_cast<char>(next);
      if (next == '{') text.push_back('{');
      continue;
    }
    if (set == 'C') {
      text.push_back(static_cast<char>('0' + (b / 10) % 10));
      text.push_back(static_cast<char>('0' + b % 10));
    } else {
      text.push_back(static_cast<char>(b));
    }
  }
  return text;
}

// Checked before zint draws it: its raster is three bytes a dot.
std::string WiderThan(int maxWidth) { return "wider than the print area of " + std::to_string(maxWidth) + " dots"; }

void WriteToString(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

std::string Base64(const std::string& in) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < in.size(); i += 3) {
    const auto at = [&](std::size_t k) { return k < in.size() ? static_cast<unsigned char>(in[k]) : 0u; };
    const unsigned n = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
    out.push_back(kDigits[(n >> 18) & 63]);
    out.push_back(kDigits[(n >> 12) & 63]);
    out.push_back(i + 1 < in.size() ? kDigits[(n >> 6) & 63] : '=');
    out.push_back(i + 2 < in.size() ? kDigits[n & 63] : '=');
  }
  return out;
}

}  // namespace

Bitmap Unpack(const Packed& p, int sx, int sy) {
  Bitmap out;
  if (p.Empty() || sx < 1 || sy < 1) return out;
  out.width = p.width * sx;
  out.height = p.height * sy;
  out.dots.resize(out.Dots());
  const bool rows = p.order == Packed::Order::Rows;
  const std::size_t stride =
      rows ? (static_cast<std::size_t>(p.width) + 7) / 8 : static_cast<std::size_t>(p.height) / 8;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const std::size_t at = rows ? y * stride + x / 8 : x * stride + y / 8;
      const int bit = rows ? x % 8 : y % 8;
      if (at >= p.data.size() || ((p.data[at] >> (7 - bit)) & 1) == 0) continue;
      for (int dy = 0; dy < sy; ++dy) {
        const auto row =
            out.dots.begin() + static_cast<std::ptrdiff_t>((y * sy + dy) * static_cast<std::size_t>(out.width));
        std::fill_n(row + x * sx, sx, 1);
      }
    }
  }
  return out;
}

Barcode MakeBarcode(int m, std::span<const std::uint8_t> data, int moduleDots, int heightDots, int maxWidth) {
  Barcode result;
  const int symbology = Symbology(m);
  if (symbology == 0) {
    result.error = "no such barcode system";
    return result;
  }
  std::string text = symbology == BARCODE_CODE128 ? Code128Text(data) : std::string(data.begin(), data.end());
  // CODE39's start and stop characters are the symbol's own.
  if (symbology == BARCODE_CODE39 && text.size() >= 2 && text.front() == '*' && text.back() == '*') {
    text = text.substr(1, text.size() - 2);
  }
  Symbol s(ZBarcode_Create());
  s->symbology = symbology;
  s->show_hrt = 0;
  s->guard_descent = 0;
  s->scale = static_cast<float>(std::max(1, moduleDots)) / 2.0f;
  s->height = static_cast<float>(std::max(1, heightDots)) / static_cast<float>(std::max(1, moduleDots));
  const int rc =
      ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (rc >= ZINT_ERROR) {
    result.error = s->errtxt;
    return result;
  }
  if (static_cast<long>(s->width) * std::max(1, moduleDots) > maxWidth) {
    result.error = WiderThan(maxWidth);
    return result;
  }
  result.text = reinterpret_cast<const char*>(s->text);
  result.bars = Rasterise(*s);
  if (result.text.empty()) result.text = text;
  return result;
}

Bitmap MakeQrCode(std::span<const std::uint8_t> data, int moduleDots, char level, int maxWidth, std::string& error) {
  Symbol s(ZBarcode_Create());
  s->symbology = BARCODE_QRCODE;
  s->input_mode = DATA_MODE;
  s->show_hrt = 0;
  s->scale = static_cast<float>(std::max(1, moduleDots)) / 2.0f;
  const std::string levels = "LMQH";
  const auto at = levels.find(level);
  s->option_1 = at == std::string::npos ? 1 : static_cast<int>(at) + 1;
  const int rc = ZBarcode_Encode(s.get(), data.data(), static_cast<int>(data.size()));
  if (rc >= ZINT_ERROR) {
    error = s->errtxt;
    return {};
  }
  if (static_cast<long>(s->width) * std::max(1, moduleDots) > maxWidth) {
    error = WiderThan(maxWidth);
    return {};
  }
  return Rasterise(*s);
}

std::string PngDataUri(const Bitmap& b) {
  std::string png;
  png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = p != nullptr ? png_create_info_struct(p) : nullptr;
  if (info == nullptr || b.Empty()) {
    png_destroy_write_struct(&p, &info);
    return {};
  }
  // Made before the jump point, so that a jump back from libpng frees it.
  std::vector<png_byte> row(static_cast<std::size_t>(b.width + 7) / 8);
  if (setjmp(png_jmpbuf(p)) != 0) {
    png_destroy_write_struct(&p, &info);
    return {};
  }
  png_set_write_fn(p, &png, WriteToString, nullptr);
  png_set_IHDR(p, info, static_cast<png_uint_32>(b.width), static_cast<png_uint_32>(b.height), 1, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(p, info);
  for (int y = 0; y < b.height; ++y) {
    std::fill(row.begin(), row.end(), 0xFF);
    for (int x = 0; x < b.width; ++x) {
      if (b.dots[static_cast<std::size_t>(y) * b.width + x] != 0)
        row[x / 8] &= static_cast<png_byte>(~(0x80 >> (x % 8)));
    }
    png_write_row(p, row.data());
  }
  png_write_end(p, nullptr);
  png_destroy_write_struct(&p, &info);
  return "data:image/png;base64," + Base64(png);
}

}  // namespace vprinter
