#pragma once
// A receipt's pictures as the printer's dots: bitmaps one bit a dot, the
// barcodes and QR codes that zint makes, and the PNG a page embeds them as.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vprinter {

// One byte a dot, row by row: 1 is ink.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> dots;

  bool Empty() const { return width <= 0 || height <= 0; }
  std::size_t Dots() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
};

// A picture as its command sent it, one bit a dot, kept so until it is
// drawn: a stored or downloaded picture costs no more than its bytes, and
// its size is known before anything is made of it.
struct Packed {
  enum class Order {
    Rows,     // GS v 0, GS ( L, GS 8 L: rows of (width + 7) / 8 bytes, the top bit the leftmost dot
    Columns,  // ESC *, GS *: columns of height / 8 bytes, the top bit the topmost dot
  };
  Order order = Order::Rows;
  int width = 0;  // dots
  int height = 0;
  std::vector<std::uint8_t> data;  // what came; dots it does not cover stay white

  bool Empty() const { return width <= 0 || height <= 0; }
};
// The dots as bytes, each dot `sx` wide and `sy` high: width x sx x height
// x sy bytes, so whoever calls it has checked that they fit.
Bitmap Unpack(const Packed& p, int sx = 1, int sy = 1);

// A barcode symbol as the printer makes it, from GS k's m and data.
struct Barcode {
  Bitmap bars;
  std::string text;   // the human-readable text, check digit included
  std::string error;  // why there is no symbol
};
// Modules `moduleDots` wide, bars `heightDots` high. A symbol wider than
// `maxWidth` dots is not drawn (the printer does not print it either).
Barcode MakeBarcode(int m, std::span<const std::uint8_t> data, int moduleDots, int heightDots, int maxWidth);
// A QR code of `moduleDots` a module at level 'L', 'M', 'Q' or 'H'; empty
// with `error` set when the data does not fit or the symbol would be wider
// than `maxWidth` dots.
Bitmap MakeQrCode(std::span<const std::uint8_t> data, int moduleDots, char level, int maxWidth, std::string& error);

// The bitmap as a PNG image, one bit a dot, in a data: URI.
std::string PngDataUri(const Bitmap& b);

}  // namespace vprinter
