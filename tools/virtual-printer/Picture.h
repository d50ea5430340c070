#pragma once
// A receipt's pictures as the printer's dots: bitmaps one bit a dot, the
// barcodes and QR codes that zint makes, and the PNG a page embeds them as.

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

// A raster of `widthBytes` bytes a row, the top bit the leftmost dot
// (GS v 0, GS ( L); rows that the data does not cover stay white.
Bitmap FromRows(std::span<const std::uint8_t> data, int widthBytes, int rows);
// Columns of `bytesHigh` bytes each, the top bit the topmost dot (ESC *, GS *).
Bitmap FromColumns(std::span<const std::uint8_t> data, int columns, int bytesHigh);
// Each dot `sx` wide and `sy` high.
Bitmap Scaled(const Bitmap& b, int sx, int sy);

// A barcode symbol as the printer makes it, from GS k's m and data.
struct Barcode {
  Bitmap bars;
  std::string text;   // the human-readable text, check digit included
  std::string error;  // why there is no symbol
};
// Modules `moduleDots` wide, bars `heightDots` high.
Barcode MakeBarcode(int m, std::span<const std::uint8_t> data, int moduleDots, int heightDots);
// A QR code of `moduleDots` a module at level 'L', 'M', 'Q' or 'H'; empty
// with `error` set when the data does not fit.
Bitmap MakeQrCode(std::span<const std::uint8_t> data, int moduleDots, char level, std::string& error);

// The bitmap as a PNG image, one bit a dot, in a data: URI.
std::string PngDataUri(const Bitmap& b);

}  // namespace vprinter
