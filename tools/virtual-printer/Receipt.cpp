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
// Bit images side by side never wrap: the position stops here.
constexpr int kFarRight = 1 << 20;

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

// The character of `utf8` at `i`: its bytes, its code point; `i` moves past it.
std::string NextCharacter(const std::string& utf8, std::size_t& i, char32_t& cp) {
  const unsigned char lead = static_cast<unsigned char>(utf8[i]);
  const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  cp = n == 1 ? lead : lead & (0xFF >> (n + 1));
  for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
  const std::string ch = utf8.substr(i, n);
  i += n;
  return ch;
}

// Characters the page's monospace font draws in exactly one cell: Latin,
// box drawing and blocks. Any other (kana, kanji, Cyrillic from a fallback
// font) is set in a cell of its own width, so that what follows stays where
// the printer puts it.
bool FillsOneCell(char32_t cp) { return cp < 0x0180 || (cp >= 0x2500 && cp <= 0x259F); }

std::string CutNote(std::size_t left) {
  return "<div class=\"note\">line cut: " + std::to_string(left) +
         (left == 1 ? " character or picture" : " characters and pictures") + " past " +
         std::to_string(Receipt::kMaxLinePieces) + " pieces on one line not drawn</div>";
}

}  // namespace

Receipt::Receipt(int paperMm) : paperMm_(paperMm), areaDots_(paperMm == 58 ? 384 : 576) { Reset(); }

void Receipt::Reset() {
  style_ = {};
  align_ = 0;
  upsideDown_ = false;
  leftMargin_ = 0;
  printWidth_ = areaDots_;
  lineSpacing_ = 30;
  tabs_.clear();
  barHeight_ = 162, barModule_ = 3, hriPosition_ = 0, hriFontB_ = false;
  qrModule_ = 3, qrLevel_ = 'L';
  x_ = leftMargin_;
}

std::string Receipt::PageBound() const {
  return std::to_string(kPageRows) + " rows of " + std::to_string(areaDots_) + " dots";
}

int Receipt::AreaEnd() const { return std::min(areaDots_, leftMargin_ + std::max(printWidth_, 1)); }

int Receipt::CellWidth(bool wide) const {
  const int w = style_.fontB ? kFontB : kFontA;
  return ((wide ? 2 * w : w) + style_.spacing) * style_.width;
}

// Past kMaxBlocks lines or kMaxPageBytes of markup the page takes nothing
// more but a count.
void Receipt::AddBlock(std::string html) {
  if (dropped_ > 0 || blocks_.size() >= kMaxBlocks || blockBytes_ + html.size() > kMaxPageBytes) {
    ++dropped_;
    return;
  }
  blockBytes_ += html.size();
  blocks_.push_back(std::move(html));
}

void Receipt::Feed(int dots) {
  if (dots > 0) AddBlock("<div class=\"feed\" style=\"height:" + Px(dots) + "\"></div>");
}

void Receipt::Note(const std::string& text) {
  if (!LineEmpty()) EndLine();
  AddBlock("<div class=\"note\">" + Escape(text) + "</div>");
}

void Receipt::AddCharacter(const std::string& character, bool wide) {
  const int cell = CellWidth(wide);
  if (x_ + cell > AreaEnd() && !LineEmpty()) EndLine();
  if (LineEmpty()) line_.upsideDown = upsideDown_;
  const Run* last = line_.runs.empty() ? nullptr : &line_.runs.back();
  if (last == nullptr || !(last->style == style_) || last->wide != wide || last->x + last->width != x_) {
    if (line_.runs.size() + line_.pictures.size() >= kMaxLinePieces) {
      ++line_.left;
      x_ += cell;
      return;
    }
    line_.runs.push_back({x_, 0, 0, wide, {}, style_});
  }
  Run& run = line_.runs.back();
  run.text += character;
  run.width += cell;
  run.cells += wide ? 2 : 1;
  x_ += cell;
}

// Text in GBK (`gbk`) takes two cells for each character of two bytes, as
// the printer's 24 x 24 characters do; a code page's characters take one.
void Receipt::AddText(const std::string& utf8, bool gbk) {
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::string ch = NextCharacter(utf8, i, cp);
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
      AddCharacter(ch, gbk && cp >= 0x80);
    }
  }
}

// The line as it prints: its height is the line spacing or its tallest
// character or picture, whichever is more; its content moves as the
// alignment says.
std::string Receipt::LineHtml(const Line& line, int minHeight) const {
  int height = minHeight >= 0 ? minHeight : lineSpacing_;
  int left = areaDots_, right = 0;
  for (const Run& r : line.runs) {
    height = std::max(height, (r.style.fontB ? kFontBHigh : kFontAHigh) * r.style.height);
    left = std::min(left, r.x), right = std::max(right, r.x + r.width);
  }
  for (const Piece& p : line.pictures) {
    height = std::max(height, p.bits.height);
    left = std::min(left, p.x), right = std::max(right, p.x + p.bits.width);
  }
  const int free = std::max(0, AreaEnd() - right);
  const int shift = align_ == 1 ? free / 2 : align_ == 2 ? free : 0;
  std::string html =
      std::string("<div class=\"line") + (line.upsideDown ? " flip" : "") + "\" style=\"height:" + Px(height) + "\">";
  for (const Run& r : line.runs) {
    const Style& s = r.style;
    std::string cls = "t";
    if (s.fontB) cls += " fb";
    if (s.bold) cls += " b";
    if (s.underline == 1) cls += " u1";
    if (s.underline >= 2) cls += " u2";
    if (s.reverse) cls += " r";
    if (r.wide) cls += " w";
    std::string text;
    std::size_t count = 0;
    bool inCells = r.wide;
    for (std::size_t i = 0; i < r.text.size(); ++count) {
      char32_t cp = 0;
      NextCharacter(r.text, i, cp);
      inCells |= !FillsOneCell(cp);
    }
    for (std::size_t i = 0; i < r.text.size();) {
      char32_t cp = 0;
      const std::string ch = Escape(NextCharacter(r.text, i, cp));
      text += inCells ? "<i>" + ch + "</i>" : ch;
    }
    std::string style = "left:" + Px(r.x + shift) + ";width:" + Px(r.width / s.width);
    if (inCells) {
      style += ";--c:" + Px(r.width / s.width / static_cast<int>(std::max<std::size_t>(count, 1)));
    } else if (s.spacing > 0) {
      style += ";letter-spacing:" + Px(s.spacing);
    }
    if (s.width > 1 || s.height > 1) {
      style += ";transform:scale(" + std::to_string(s.width) + "," + std::to_string(s.height) + ")";
    }
    html += "<span class=\"" + cls + "\" style=\"" + style + "\">" + text + "</span>";
  }
  for (const Piece& p : line.pictures) {
    html += "<img class=\"pic\" style=\"left:" + Px(p.x + shift) + "\" width=\"" + std::to_string(p.bits.width) +
            "\" height=\"" + std::to_string(p.bits.height) + "\" alt=\"\" src=\"" + PngDataUri(p.bits) + "\"/>";
  }
  html += "</div>";
  if (line.left > 0) html += "\n" + CutNote(line.left);
  return html;
}

void Receipt::EndLine(int minHeight) {
  if (line_.left > 0) ++linesCut_;
  std::string html = LineHtml(line_, minHeight);
  line_ = {};
  x_ = leftMargin_;
  AddBlock(std::move(html));
}

bool Receipt::Fits(std::size_t width, std::size_t height) {
  const std::size_t page = static_cast<std::size_t>(areaDots_) * kPageRows;
  if (width * height <= page - std::min(page, pictureDots_)) return true;
  picturesCut_ = true;
  Note("picture of " + std::to_string(width) + " x " + std::to_string(height) +
       " dots not drawn: this job's pictures passed one page (" + PageBound() + ")");
  return false;
}

bool Receipt::Budget(std::size_t width, std::size_t height) {
  if (!Fits(width, height)) return false;
  pictureDots_ += width * height;
  return true;
}

void Receipt::AddPicture(const Bitmap& bits, const std::string& cls) {
  if (!LineEmpty()) EndLine();
  if (bits.Empty()) return;
  const int free = std::max(0, AreaEnd() - leftMargin_ - bits.width);
  const int x = leftMargin_ + (align_ == 1 ? free / 2 : align_ == 2 ? free : 0);
  AddBlock(std::string("<div class=\"line") + (upsideDown_ ? " flip" : "") + "\" style=\"height:" + Px(bits.height) +
           "\"><img class=\"" + cls + "\" style=\"left:" + Px(x) + "\" width=\"" + std::to_string(bits.width) +
           "\" height=\"" + std::to_string(bits.height) + "\" alt=\"\" src=\"" + PngDataUri(bits) + "\"/></div>");
}

// Made only once it fits: its size comes from the client, its dots after.
void Receipt::PrintPacked(const Packed& picture, int sx, int sy) {
  if (picture.Empty()) return;
  if (!LineEmpty()) EndLine();
  if (!Budget(static_cast<std::size_t>(picture.width) * sx, static_cast<std::size_t>(picture.height) * sy)) return;
  AddPicture(Unpack(picture, sx, sy), "picture");
}

void Receipt::AddBarcode(const DecodedCommand& c) {
  const auto data = printerlink::BarcodeData(c.bytes);
  const Barcode code = MakeBarcode(c.bytes[2], data, barModule_, barHeight_, AreaEnd() - leftMargin_);
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
    AddText(code.text, false);
    EndLine(0);
    style_ = saved;
    align_ = savedAlign;
  };
  if (hriPosition_ == 1 || hriPosition_ == 3) hri();
  AddPicture(code.bars, "barcode");
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
      const Bitmap qr = MakeQrCode(qrData_, qrModule_, qrLevel_, AreaEnd() - leftMargin_, error);
      if (qr.Empty()) {
        Note("QR code not printed: " + error);
      } else {
        AddPicture(qr, "qr");
      }
      break;
    }
    default: break;
  }
}

// GS ( L and GS 8 L: store a raster picture (fn 112) and print it (fn 50).
// A picture that would not fit what is left of the page is not kept.
void Receipt::AddGraphics(const DecodedCommand& c) {
  const auto& b = c.bytes;
  const std::size_t at = b[1] == 0x28 ? 5 : 7;
  if (b.size() < at + 2) return;
  const std::uint8_t fn = b[at + 1];
  if (fn == 112 && b.size() >= at + 10) {
    // Only the first colour shows on a one-colour printer.
    if (Digit(b[at + 5]) > 1) return;
    storedSx_ = Digit(b[at + 3]) == 2 ? 2 : 1;
    storedSy_ = Digit(b[at + 4]) == 2 ? 2 : 1;
    const int width = static_cast<int>(Little16(b, at + 6)), height = static_cast<int>(Little16(b, at + 8));
    stored_ = {};
    if (!Fits(static_cast<std::size_t>(width) * storedSx_, static_cast<std::size_t>(height) * storedSy_)) return;
    stored_ = {Packed::Order::Rows, width, height, PayloadOf(c, at + 10)};
  } else if (fn == 50 || fn == 2) {
    PrintPacked(stored_, storedSx_, storedSy_);
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
    case CommandKind::Text: AddText(printerlink::TextOf(c), c.codePage == DecodedCommand::kGbk); return false;
    case CommandKind::Initialise:
      // Initialising clears the print buffer: the line not yet printed, the
      // stored and the downloaded picture go unprinted.
      line_ = {};
      stored_ = {};
      downloaded_ = {};
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
    case CommandKind::CharacterSpacing: style_.spacing = b[2]; return false;
    case CommandKind::LineSpacing: lineSpacing_ = b[2]; return false;
    case CommandKind::DefaultLineSpacing: lineSpacing_ = 30; return false;
    case CommandKind::LeftMargin:
      leftMargin_ = std::min(areaDots_ - 1, static_cast<int>(Little16(b, 2)));
      if (LineEmpty()) x_ = leftMargin_;
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
      if (!LineEmpty()) {
        EndLine();
        Feed(lineSpacing_ * std::max(0, b[2] - 1));
      } else {
        Feed(lineSpacing_ * b[2]);
      }
      return false;
    case CommandKind::FeedDots:
      if (!LineEmpty()) {
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
      PrintPacked({Packed::Order::Rows, static_cast<int>(Little16(b, 4)) * 8, static_cast<int>(Little16(b, 6)),
                   PayloadOf(c, 8)},
                  (mode & 1) != 0 ? 2 : 1, (mode & 2) != 0 ? 2 : 1);
      return false;
    }
    case CommandKind::BitImage: {
      if (b.size() < 5) return false;
      const int m = b[2];
      // 8-dot images print each dot three dots high, single density two wide.
      const int columns = static_cast<int>(Little16(b, 3)), high = m >= 32 ? 24 : 8;
      const int sx = (m & 1) != 0 ? 1 : 2, sy = m >= 32 ? 1 : 3;
      if (LineEmpty()) line_.upsideDown = upsideDown_;
      if (line_.runs.size() + line_.pictures.size() >= kMaxLinePieces) {
        ++line_.left;
        x_ = std::min(x_ + columns * sx, kFarRight);
        return false;
      }
      if (columns == 0 || !Budget(static_cast<std::size_t>(columns) * sx, static_cast<std::size_t>(high) * sy)) {
        return false;
      }
      Bitmap bits = Unpack({Packed::Order::Columns, columns, high, PayloadOf(c, 5)}, sx, sy);
      const int width = bits.width;
      line_.pictures.push_back({x_, std::move(bits)});
      x_ = std::min(x_ + width, kFarRight);
      return false;
    }
    case CommandKind::Graphics: AddGraphics(c); return false;
    case CommandKind::DefineDownloadedImage:
      if (b.size() >= 4) downloaded_ = {Packed::Order::Columns, b[2] * 8, b[3] * 8, PayloadOf(c, 4)};
      return false;
    case CommandKind::PrintDownloadedImage: {
      const int mode = Digit(b[2]);
      PrintPacked(downloaded_, (mode & 1) != 0 ? 2 : 1, (mode & 2) != 0 ? 2 : 1);
      return false;
    }
    case CommandKind::NvImage: Note("stored image " + std::to_string(b[2]) + " (kept in the printer)"); return false;
    case CommandKind::PrintPage:
      if (!LineEmpty()) EndLine();
      return false;
    case CommandKind::Cut:
    case CommandKind::FullCut:
    case CommandKind::GsCut:
      if (!LineEmpty()) EndLine();
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
      // A character the font does not set in the printer's cell gets a cell of
      // its own: --c wide, the double-byte ones in the printer's 24 x 24 size.
      ".t i{display:inline-block;width:var(--c);text-align:center;font-style:normal}"
      ".w i{font-size:" +
      std::to_string(kFontAHigh) + "px}.fb.w i{font-size:" + std::to_string(kFontBHigh) +
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
  if (!LineEmpty() && dropped_ == 0) html += LineHtml(line_, -1) + "\n";
  if (dropped_ > 0) html += "<div class=\"note\">... " + std::to_string(dropped_) + " more lines not shown</div>\n";
  html += "</div></body></html>\n";
  return html;
}

}  // namespace vprinter
