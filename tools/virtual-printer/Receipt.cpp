#include "Receipt.h"

#include <algorithm>

namespace vprinter {
namespace {

using printerlink::CommandKind;
using printerlink::DecodedCommand;
using printerlink::Digit;
using printerlink::Little16;

// A receipt longer than this shows its first lines and a count: a job that
// never cuts cannot grow without bound.
constexpr std::size_t kMaxBlocks = 2000;
constexpr int kDotsPerMm = 8;  // 203 dpi
constexpr int kFontPx = 12;    // font A, about as wide as the printer's 12 dots

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\r': break;
      default: out.push_back(c);
    }
  }
  return out;
}

// The data a barcode carries, as the text under its bars.
std::string BarcodeText(const DecodedCommand& c) {
  const auto data = printerlink::BarcodeData(c.bytes);
  return std::string(data.begin(), data.end());
}

}  // namespace

void Receipt::AddBlock(std::string html) {
  if (blocks_.size() >= kMaxBlocks) {
    ++dropped_;
    return;
  }
  blocks_.push_back(std::move(html));
}

void Receipt::EndLine() {
  std::string html = "<p class=\"" + align_ + "\">";
  if (line_.empty()) html += "&#160;";
  for (const Span& s : line_) {
    std::string style;
    if (s.width > 1) style += "font-size:" + std::to_string(s.width * kFontPx) + "px;";
    if (s.height > 1) style += "line-height:" + std::to_string(s.height * 100) + "%;";
    std::string open = "<span";
    if (!style.empty()) open += " style=\"" + style + "\"";
    if (s.reverse) open += " class=\"reverse\"";
    open += ">";
    std::string text = Escape(s.text);
    if (s.bold) text = "<b>" + text + "</b>";
    if (s.underline) text = "<u>" + text + "</u>";
    html += open + text + "</span>";
  }
  html += "</p>";
  line_.clear();
  AddBlock(std::move(html));
}

bool Receipt::Add(const DecodedCommand& c) {
  if (c.cutShort && c.kind != CommandKind::RasterImage) return false;
  const auto& b = c.bytes;
  switch (c.kind) {
    case CommandKind::Text: {
      std::string text = printerlink::TextOf(c);
      std::size_t start = 0;
      for (std::size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1) {
        if (lf > start) line_.push_back({text.substr(start, lf - start), bold_, underline_, reverse_, width_, height_});
        EndLine();
      }
      if (start < text.size()) line_.push_back({text.substr(start), bold_, underline_, reverse_, width_, height_});
      return false;
    }
    case CommandKind::Initialise:
      align_ = "left";
      bold_ = underline_ = reverse_ = false;
      width_ = height_ = 1;
      return false;
    case CommandKind::PrintMode:
      bold_ = (b[2] & 0x08) != 0;
      height_ = (b[2] & 0x10) != 0 ? 2 : 1;
      width_ = (b[2] & 0x20) != 0 ? 2 : 1;
      underline_ = (b[2] & 0x80) != 0;
      return false;
    case CommandKind::Emphasis: bold_ = (b[2] & 1) != 0; return false;
    case CommandKind::Underline: underline_ = Digit(b[2]) == 1 || Digit(b[2]) == 2; return false;
    case CommandKind::Reverse: reverse_ = (b[2] & 1) != 0; return false;
    case CommandKind::CharacterSize:
      width_ = (b[2] >> 4) + 1;
      height_ = (b[2] & 0x0F) + 1;
      return false;
    case CommandKind::Align: {
      const int n = Digit(b[2]);
      align_ = n == 1 ? "centre" : n == 2 ? "right" : "left";
      return false;
    }
    case CommandKind::Feed:
      EndLine();
      for (int i = 1; i < b[2]; ++i) EndLine();
      return false;
    case CommandKind::FeedDots:
      if (!line_.empty()) EndLine();
      AddBlock("<div class=\"feed\" style=\"height:" + std::to_string(b[2] / kDotsPerMm) + "mm\"></div>");
      return false;
    case CommandKind::Barcode:
      if (!line_.empty()) EndLine();
      AddBlock("<div class=\"barcode " + align_ + "\"><span class=\"label\">barcode</span> <span class=\"data\">" +
               Escape(BarcodeText(c)) + "</span></div>");
      return false;
    case CommandKind::QrCode:
      if (b.size() >= 8 && b[5] == 49 && b[6] == 80) qrData_ = std::string(b.begin() + 8, b.end());
      if (b.size() >= 7 && b[5] == 49 && b[6] == 81) {
        if (!line_.empty()) EndLine();
        AddBlock("<div class=\"qr " + align_ + "\"><span class=\"label\">QR code</span> <span class=\"data\">" +
                 Escape(qrData_) + "</span></div>");
      }
      return false;
    case CommandKind::RasterImage: {
      if (b.size() < 8) return false;
      if (!line_.empty()) EndLine();
      const std::size_t dotsWide = Little16(b, 4) * 8, dotsHigh = Little16(b, 6);
      AddBlock("<div class=\"image " + align_ + "\" style=\"width:" + std::to_string(dotsWide / kDotsPerMm) +
               "mm;height:" + std::to_string(dotsHigh / kDotsPerMm) + "mm\"><span class=\"label\">image " +
               std::to_string(dotsWide) + " x " + std::to_string(dotsHigh) + " dots</span></div>");
      return false;
    }
    case CommandKind::Cut:
    case CommandKind::FullCut:
    case CommandKind::GsCut:
      if (!line_.empty()) EndLine();
      AddBlock("<hr class=\"cut\"/>");
      return true;
    default: return false;
  }
}

std::string Receipt::Html(int paperMm) const {
  // The printable width of 58 mm paper is 48 mm, of 80 mm paper 72 mm.
  const int printable = paperMm == 58 ? 48 : 72;
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"/><title>receipt</title><style>"
      "body{background:#ddd;margin:0;padding:1em}"
      ".paper{background:#fff;margin:auto;padding:4mm " +
      std::to_string((paperMm - printable) / 2) + "mm;width:" + std::to_string(printable) +
      "mm;font-family:monospace;font-size:" + std::to_string(kFontPx) +
      "px;box-shadow:0 1px 4px #888}"
      "p{margin:0;white-space:pre-wrap}.left{text-align:left}.centre{text-align:center}.right{text-align:right}"
      ".reverse{background:#000;color:#fff}.cut{border:0;border-top:1px dashed #000;margin:2mm -" +
      std::to_string((paperMm - printable) / 2) +
      "mm}"
      ".barcode,.qr,.image{border:1px solid #000;margin:1mm auto;padding:1mm;text-align:center}"
      ".qr{width:25mm;height:25mm}.label{font-size:80%;color:#555}"
      "</style></head><body><div class=\"paper\" data-paper-mm=\"" +
      std::to_string(paperMm) + "\">\n";
  for (const std::string& block : blocks_) html += block + "\n";
  if (!line_.empty()) {
    Receipt rest = *this;
    rest.blocks_.clear();
    rest.EndLine();
    for (const std::string& block : rest.blocks_) html += block + "\n";
  }
  if (dropped_ > 0) html += "<p class=\"centre\">... " + std::to_string(dropped_) + " more lines not shown</p>\n";
  html += "</div></body></html>\n";
  return html;
}

}  // namespace vprinter
