#include "Receipt.h"

#include <algorithm>

namespace vprinter {
namespace {

using printerlink::CommandKind;
using printerlink::DecodedCommand;
using printerlink::Digit;
using printerlink::Little16;
using printerlink::PayloadOf;

// A receipt longer than this shows its first lines and a count: a job that
// never cuts cannot grow without bound.
constexpr std::size_t kMaxBlocks = 2000;
// Font A is 12 x 24 dots, font B 9 x 17; DejaVu Sans Mono's advance is
// 0.602 of its size, so these sizes give those widths.
constexpr int kFontA = 12, kFontAHigh = 24, kFontB = 9, kFontBHigh = 17;
constexpr double kFontAPx = 19.93, kFontBPx = 14.95;
constexpr int kDefaultTab = 8;  // columns between tab stops when ESC D set none

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string Px(int n) { return std::to_string(n) + "px"; }

// East Asian wide characters take two cells, as the printer's 24 x 24 kanji do.
bool IsWide(char32_t cp) {
  if (cp >= 0xFF61 && cp <= 0xFF9F) return false;  // half-width katakana
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
         (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
}

}  // namespace

Receipt::Receipt(int paperMm) : paperMm_(paperMm), areaDots_(paperMm == 58 ? 384 : 576) { Reset(); }

void Receipt::Reset() {
  style_ = {};
  align_ = 0;
  upsideDown_ = false;
  leftMargin_ = 0;
  printWidth_ = areaDots_;
  spacing_ = 0;
  lineSpacing_ = 30;
  tabs_.clear();
  barHeight_ = 162, barModule_ = 3, hriPosition_ = 0, hriFontB_ = false;
  qrModule_ = 3, qrLevel_ = 'L';
  x_ = leftMargin_;
}

int Receipt::AreaEnd() const { return std::min(areaDots_, leftMargin_ + std::max(printWidth_, 1)); }

int Receipt::CellWidth(bool wide) const {
  const int w = style_.fontB ? kFontB : kFontA;
  return ((wide ? 2 * w : w) + spacing_) * style_.width;
}

void Receipt::AddBlock(std::string html) {
  if (blocks_.size() >= kMaxBlocks) {
    ++dropped_;
    return;
  }
  blocks_.push_back(std::move(html));
}

void Receipt::Feed(int dots) {
  if (dots > 0) AddBlock("<div class=\"feed\" style=\"height:" + Px(dots) + "\"></div>");
}

void Receipt::Note(const std::string& text) {
  EndLine();
  AddBlock("<div class=\"note\">" + Escape(text) + "</div>");
}

void Receipt::AddCharacter(const std::string& character, bool wide) {
  const int cell = CellWidth(wide);
  if (x_ + cell > AreaEnd() && (!line_.runs.empty() || !line_.pictures.empty())) EndLine();
  if (line_.runs.empty() && line_.pictures.empty()) line_.upsideDown = upsideDown_;
  if (line_.runs.empty() || !(line_.runs.back().style == style_) ||
      line_.runs.back().x + line_.runs.back().width != x_) {
    line_.runs.push_back({x_, 0, 0, {}, style_});
  }
  Run& run = line_.runs.back();
  run.text += character;
  run.width += cell;
  run.cells += wide ? 2 : 1;
  x_ += cell;
}

void Receipt::AddText(const std::string& utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string ch = utf8.substr(i, n);
    char32_t cp = n == 1 ? lead : lead & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += n;
    if (cp == '\n') {
      EndLine();
    } else if (cp == '\r') {
      // The printer takes CR as nothing when LF follows, as receipts send it.
    } else if (cp == '\t') {
      const int cell = CellWidth(false);
      const int column = (x_ - leftMargin_) / std::max(cell, 1);
      int next = -1;
      for (int t : tabs_) {
        if (t > column) {
          next = t;
          break;
        }
      }
      if (next < 0 && tabs_.empty()) next = (column / kDefaultTab + 1) * kDefaultTab;
      if (next >= 0 && leftMargin_ + next * cell <= AreaEnd()) x_ = leftMargin_ + next * cell;
    } else {
      AddCharacter(ch, IsWide(cp));
    }
  }
}

// Prints the line: its height is the line spacing or its tallest character
// or picture, whichever is more; its content moves as the alignment says.
void Receipt::EndLine(int minHeight) {
  int height = minHeight >= 0 ? minHeight : lineSpacing_;
  int left = areaDots_, right = 0;
  for (const Run& r : line_.runs) {
    height = std::max(height, (r.style.fontB ? kFontBHigh : kFontAHigh) * r.style.height);
    left = std::min(left, r.x), right = std::max(right, r.x + r.width);
  }
  for (const Piece& p : line_.pictures) {
    height = std::max(height, p.bits.height);
    left = std::min(left, p.x), right = std::max(right, p.x + p.bits.width);
  }
  const int free = std::max(0, AreaEnd() - right);
  const int shift = align_ == 1 ? free / 2 : align_ == 2 ? free : 0;
  std::string html =
      std::string("<div class=\"line") + (line_.upsideDown ? " flip" : "") + "\" style=\"height:" + Px(height) + "\">";
  for (const Run& r : line_.runs) {
    const Style& s = r.style;
    std::string cls = "t";
    if (s.fontB) cls += " fb";
    if (s.bold) cls += " b";
    if (s.underline == 1) cls += " u1";
    if (s.underline >= 2) cls += " u2";
    if (s.reverse) cls += " r";
    std::string style = "left:" + Px(r.x + shift) + ";width:" + Px(r.width / s.width);
    if (spacing_ > 0) style += ";letter-spacing:" + Px(spacing_);
    if (s.width > 1 || s.height > 1) {
      style += ";transform:scale(" + std::to_string(s.width) + "," + std::to_string(s.height) + ")";
    }
    html += "<span class=\"" + cls + "\" style=\"" + style + "\">" + Escape(r.text) + "</span>";
  }
  for (const Piece& p : line_.pictures) {
    html += "<img class=\"pic\" style=\"left:" + Px(p.x + shift) + "\" width=\"" + std::to_string(p.bits.width) +
            "\" height=\"" + std::to_string(p.bits.height) + "\" alt=\"\" src=\"" + PngDataUri(p.bits) + "\"/>";
  }
  html += "</div>";
  line_ = {};
  x_ = leftMargin_;
  AddBlock(std::move(html));
}

bool Receipt::Budget(const Bitmap& bits) {
  if (pictureDots_ + bits.Dots() > kMaxPictureDots) {
    picturesCut_ = true;
    Note("picture of " + std::to_string(bits.width) + " x " + std::to_string(bits.height) +
         " dots not drawn: this job's pictures passed one page (" + std::to_string(kMaxPictureDots / 576) +
         " rows of 576 dots)");
    return false;
  }
  pictureDots_ += bits.Dots();
  return true;
}

void Receipt::AddPicture(const Bitmap& bits, bool counts, const std::string& cls) {
  if (!line_.runs.empty() || !line_.pictures.empty()) EndLine();
  if (bits.Empty() || (counts && !Budget(bits))) return;
  const int free = std::max(0, AreaEnd() - leftMargin_ - bits.width);
  const int x = leftMargin_ + (align_ == 1 ? free / 2 : align_ == 2 ? free : 0);
  AddBlock(std::string("<div class=\"line") + (upsideDown_ ? " flip" : "") + "\" style=\"height:" + Px(bits.height) +
           "\"><img class=\"" + cls + "\" style=\"left:" + Px(x) + "\" width=\"" + std::to_string(bits.width) +
           "\" height=\"" + std::to_string(bits.height) + "\" alt=\"\" src=\"" + PngDataUri(bits) + "\"/></div>");
}

void Receipt::AddBarcode(const DecodedCommand& c) {
  const auto data = printerlink::BarcodeData(c.bytes);
  const Barcode code = MakeBarcode(c.bytes[2], data, barModule_, barHeight_);
  if (code.bars.Empty()) {
    Note("barcode not printed: " + code.error);
    return;
  }
  // The human-readable text, centred on the bars, above or below them.
  auto hri = [&] {
    const Style saved = style_;
    const int savedAlign = align_;
    style_ = {};
    style_.fontB = hriFontB_;
    const int cell = CellWidth(false);
    const int textWidth = static_cast<int>(code.text.size()) * cell;
    const int free = std::max(0, AreaEnd() - leftMargin_ - code.bars.width);
    const int barsX = leftMargin_ + (align_ == 1 ? free / 2 : align_ == 2 ? free : 0);
    x_ = std::max(leftMargin_, barsX + (code.bars.width - textWidth) / 2);
    align_ = 0;
    AddText(code.text);
    EndLine(0);
    style_ = saved;
    align_ = savedAlign;
  };
  if (hriPosition_ == 1 || hriPosition_ == 3) hri();
  AddPicture(code.bars, false, "barcode");
  if (hriPosition_ == 2 || hriPosition_ == 3) hri();
}

void Receipt::AddQrCommand(const DecodedCommand& c) {
  const auto& b = c.bytes;
  if (b.size() < 7 || b[5] != 49) return;
  switch (b[6]) {
    case 67:
      if (b.size() > 7) qrModule_ = std::clamp<int>(b[7], 1, 16);
      break;
    case 69:
      if (b.size() > 7 && b[7] >= 48 && b[7] <= 51) qrLevel_ = "LMQH"[b[7] - 48];
      break;
    case 80: qrData_ = PayloadOf(c, 8); break;
    case 81: {
      std::string error;
      const Bitmap qr = MakeQrCode(qrData_, qrModule_, qrLevel_, error);
      if (qr.Empty()) {
        Note("QR code not printed: " + error);
      } else {
        AddPicture(qr, false, "qr");
      }
      break;
    }
    default: break;
  }
}

// GS ( L and GS 8 L: store a raster picture (fn 112) and print it (fn 50).
void Receipt::AddGraphics(const DecodedCommand& c) {
  const auto& b = c.bytes;
  const std::size_t at = b[1] == 0x28 ? 5 : 7;
  if (b.size() < at + 2) return;
  const std::uint8_t fn = b[at + 1];
  if (fn == 112 && b.size() >= at + 10) {
    const int bx = Digit(b[at + 3]) == 2 ? 2 : 1, by = Digit(b[at + 4]) == 2 ? 2 : 1;
    const int width = static_cast<int>(Little16(b, at + 6)), height = static_cast<int>(Little16(b, at + 8));
    // Only the first colour shows on a one-colour printer.
    if (Digit(b[at + 5]) > 1) return;
    Bitmap bits = FromRows(PayloadOf(c, at + 10), (width + 7) / 8, height);
    bits.width = std::min(bits.width, width);
    if (bits.width < (width + 7) / 8 * 8) {
      Bitmap cropped{width, height, {}};
      for (int y = 0; y < height; ++y) {
        const auto row = bits.dots.begin() + static_cast<std::ptrdiff_t>(y) * ((width + 7) / 8 * 8);
        cropped.dots.insert(cropped.dots.end(), row, row + width);
      }
      bits = std::move(cropped);
    }
    stored_ = Scaled(bits, bx, by);
  } else if (fn == 50 || fn == 2) {
    AddPicture(stored_, true, "picture");
    stored_ = {};
  }
}

bool Receipt::Add(const DecodedCommand& c) {
  const bool picture = c.kind == CommandKind::RasterImage || c.kind == CommandKind::BitImage ||
                       c.kind == CommandKind::Graphics || c.kind == CommandKind::DefineDownloadedImage;
  // A command the connection cut short does nothing, but for a picture's
  // dots that came.
  if (c.cutShort && !picture) return false;
  const auto& b = c.bytes;
  switch (c.kind) {
    case CommandKind::Text: AddText(printerlink::TextOf(c)); return false;
    case CommandKind::Initialise:
      if (!line_.runs.empty() || !line_.pictures.empty()) EndLine();
      Reset();
      return false;
    case CommandKind::PrintMode:
      style_.fontB = (b[2] & 0x01) != 0;
      style_.bold = (b[2] & 0x08) != 0;
      style_.height = (b[2] & 0x10) != 0 ? 2 : 1;
      style_.width = (b[2] & 0x20) != 0 ? 2 : 1;
      style_.underline = (b[2] & 0x80) != 0 ? 1 : 0;
      return false;
    case CommandKind::Font: style_.fontB = Digit(b[2]) == 1; return false;
    case CommandKind::Emphasis:
    case CommandKind::DoubleStrike: style_.bold = (b[2] & 1) != 0; return false;
    case CommandKind::Underline: {
      const int n = Digit(b[2]);
      style_.underline = n == 1 || n == 2 ? n : 0;
      return false;
    }
    case CommandKind::Reverse: style_.reverse = (b[2] & 1) != 0; return false;
    case CommandKind::UpsideDown: upsideDown_ = (b[2] & 1) != 0; return false;
    case CommandKind::CharacterSize:
      style_.width = std::min(8, (b[2] >> 4) + 1);
      style_.height = std::min(8, (b[2] & 0x0F) + 1);
      return false;
    case CommandKind::Align: {
      const int n = Digit(b[2]);
      align_ = n >= 0 && n <= 2 ? n : 0;
      return false;
    }
    case CommandKind::CharacterSpacing: spacing_ = b[2]; return false;
    case CommandKind::LineSpacing: lineSpacing_ = b[2]; return false;
    case CommandKind::DefaultLineSpacing: lineSpacing_ = 30; return false;
    case CommandKind::LeftMargin:
      leftMargin_ = std::min(areaDots_ - 1, static_cast<int>(Little16(b, 2)));
      if (line_.runs.empty() && line_.pictures.empty()) x_ = leftMargin_;
      return false;
    case CommandKind::PrintWidth: printWidth_ = static_cast<int>(Little16(b, 2)); return false;
    case CommandKind::AbsolutePosition: {
      const int x = leftMargin_ + static_cast<int>(Little16(b, 2));
      if (x < AreaEnd()) x_ = x;
      return false;
    }
    case CommandKind::RelativePosition: {
      const int x = x_ + static_cast<std::int16_t>(Little16(b, 2));
      if (x >= leftMargin_ && x < AreaEnd()) x_ = x;
      return false;
    }
    case CommandKind::TabPositions:
      tabs_.clear();
      for (std::size_t i = 2; i < b.size() && b[i] != 0; ++i) tabs_.push_back(b[i]);
      return false;
    case CommandKind::Feed:
      if (!line_.runs.empty() || !line_.pictures.empty()) {
        EndLine();
        Feed(lineSpacing_ * std::max(0, b[2] - 1));
      } else {
        Feed(lineSpacing_ * b[2]);
      }
      return false;
    case CommandKind::FeedDots:
      if (!line_.runs.empty() || !line_.pictures.empty()) {
        EndLine(b[2]);
      } else {
        Feed(b[2]);
      }
      return false;
    case CommandKind::BarcodeHeight: barHeight_ = std::max<int>(1, b[2]); return false;
    case CommandKind::BarcodeWidth: barModule_ = std::clamp<int>(b[2], 1, 6); return false;
    case CommandKind::BarcodeLabel: hriPosition_ = Digit(b[2]) & 3; return false;
    case CommandKind::BarcodeLabelFont: hriFontB_ = Digit(b[2]) == 1; return false;
    case CommandKind::Barcode: AddBarcode(c); return false;
    case CommandKind::QrCode: AddQrCommand(c); return false;
    case CommandKind::RasterImage: {
      if (b.size() < 8) return false;
      const int mode = Digit(b[3]);
      const Bitmap bits = FromRows(PayloadOf(c, 8), static_cast<int>(Little16(b, 4)), static_cast<int>(Little16(b, 6)));
      AddPicture(Scaled(bits, (mode & 1) != 0 ? 2 : 1, (mode & 2) != 0 ? 2 : 1), true, "picture");
      return false;
    }
    case CommandKind::BitImage: {
      if (b.size() < 5) return false;
      const int m = b[2];
      // 8-dot images print each dot three dots high, single density two wide.
      Bitmap bits = Scaled(FromColumns(PayloadOf(c, 5), static_cast<int>(Little16(b, 3)), m >= 32 ? 3 : 1),
                           (m & 1) != 0 ? 1 : 2, m >= 32 ? 1 : 3);
      if (!Budget(bits)) return false;
      if (line_.runs.empty() && line_.pictures.empty()) line_.upsideDown = upsideDown_;
      const int width = bits.width;
      line_.pictures.push_back({x_, std::move(bits)});
      x_ += width;
      return false;
    }
    case CommandKind::Graphics: AddGraphics(c); return false;
    case CommandKind::DefineDownloadedImage:
      if (b.size() >= 4) downloaded_ = FromColumns(PayloadOf(c, 4), b[2] * 8, b[3]);
      return false;
    case CommandKind::PrintDownloadedImage: {
      const int mode = Digit(b[2]);
      AddPicture(Scaled(downloaded_, (mode & 1) != 0 ? 2 : 1, (mode & 2) != 0 ? 2 : 1), true, "picture");
      return false;
    }
    case CommandKind::NvImage: Note("stored image " + std::to_string(b[2]) + " (kept in the printer)"); return false;
    case CommandKind::PrintPage:
      if (!line_.runs.empty() || !line_.pictures.empty()) EndLine();
      return false;
    case CommandKind::Cut:
    case CommandKind::FullCut:
    case CommandKind::GsCut:
      if (!line_.runs.empty() || !line_.pictures.empty()) EndLine();
      AddBlock("<hr class=\"cut\"/>");
      return true;
    default: return false;
  }
}

std::string Receipt::Html() const {
  const int paperDots = paperMm_ * 8;
  const int margin = (paperDots - areaDots_) / 2;
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"/><title>receipt</title><style>"
      "body{background:#ddd;margin:0;padding:16px}"
      ".paper{background:#fff;margin:auto;padding:24px " +
      Px(margin) + ";width:" + Px(areaDots_) +
      ";box-shadow:0 1px 4px #888;font-family:'DejaVu Sans Mono','Noto Sans Mono CJK SC',monospace}"
      ".line{position:relative;overflow:visible}"
      ".t{position:absolute;bottom:0;height:24px;line-height:24px;font-size:" +
      std::to_string(kFontAPx) +
      "px;white-space:pre;transform-origin:left bottom}"
      ".fb{height:17px;line-height:17px;font-size:" +
      std::to_string(kFontBPx) +
      "px}"
      ".b{font-weight:bold}.u1{text-decoration:underline 1px}.u2{text-decoration:underline 2px}"
      ".r{background:#000;color:#fff}.flip{transform:rotate(180deg)}"
      "img{position:absolute;top:0;image-rendering:pixelated}"
      ".note{font:italic 14px sans-serif;color:#a00;padding:2px 0}"
      ".cut{border:0;border-top:1px dashed #000;margin:12px -" +
      Px(margin) +
      "}"
      "</style></head><body><div class=\"paper\" data-paper-mm=\"" +
      std::to_string(paperMm_) + "\" data-print-dots=\"" + std::to_string(areaDots_) + "\">\n";
  for (const std::string& block : blocks_) html += block + "\n";
  if (!line_.runs.empty() || !line_.pictures.empty()) {
    Receipt rest = *this;
    rest.blocks_.clear();
    rest.EndLine();
    for (const std::string& block : rest.blocks_) html += block + "\n";
  }
  if (dropped_ > 0) html += "<div class=\"note\">... " + std::to_string(dropped_) + " more lines not shown</div>\n";
  html += "</div></body></html>\n";
  return html;
}

}  // namespace vprinter
