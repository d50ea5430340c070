#pragma once
// A print job as it would come out of the printer: the decoded commands of a
// connection, up to a cut or the connection's end, laid out in the printer's
// dots (203 dpi, one CSS pixel a dot) as a self-contained HTML page: text
// where the position commands put it, in its size and style, barcodes and QR
// codes drawn by zint, pictures as the dots they are. No sockets, no files.

#include <cstddef>
#include <string>
#include <vector>

#include "Picture.h"
#include "PrinterDecoder.h"

namespace vprinter {

class Receipt {
public:
  // A job keeps at most one page of pictures: the print area of 80 mm paper
  // over the length of an A4 page (297 mm at 8 dots a mm). Pictures past it
  // are not drawn; the page says so.
  static constexpr std::size_t kMaxPictureDots = 576 * 2376;
  // What the decoder should keep of one picture's data for a receipt.
  static constexpr std::size_t kMaxPictureBytes = kMaxPictureDots / 8;

  // On paper `paperMm` wide: 58 (384 dots printed) or 80 (576 dots).
  explicit Receipt(int paperMm = 80);

  // Takes the next command of the job. Returns true when it ended the job
  // (a cut): the receipt is complete then.
  bool Add(const printerlink::DecodedCommand& command);
  // Whether anything would show on paper yet.
  bool Empty() const { return blocks_.empty() && line_.runs.empty() && line_.pictures.empty(); }
  // Whether pictures were left out to keep the job within kMaxPictureDots.
  bool PicturesCut() const { return picturesCut_; }
  // The page.
  std::string Html() const;

private:
  struct Style {
    bool bold = false;
    int underline = 0;  // dots
    bool reverse = false;
    bool fontB = false;
    int width = 1;  // character width and height multiples, 1 to 8
    int height = 1;
    friend bool operator==(const Style&, const Style&) = default;
  };
  struct Run {
    int x = 0;      // dots from the print area's left edge
    int width = 0;  // dots
    int cells = 0;  // character cells of font A or B (a wide character takes two)
    std::string text;
    Style style;
  };
  struct Piece {
    int x = 0;
    Bitmap bits;
  };
  struct Line {
    std::vector<Run> runs;
    std::vector<Piece> pictures;
    bool upsideDown = false;
  };

  int AreaEnd() const;
  int CellWidth(bool wide) const;
  void AddText(const std::string& utf8);
  void AddCharacter(const std::string& character, bool wide);
  void EndLine(int minHeight = -1);
  void Feed(int dots);
  void AddBlock(std::string html);
  // A picture, barcode or QR code on a line of its own at the alignment.
  void AddPicture(const Bitmap& bits, bool counts, const std::string& cls);
  bool Budget(const Bitmap& bits);
  void AddBarcode(const printerlink::DecodedCommand& c);
  void AddQrCommand(const printerlink::DecodedCommand& c);
  void AddGraphics(const printerlink::DecodedCommand& c);
  void Note(const std::string& text);
  void Reset();

  int paperMm_;
  int areaDots_;
  std::vector<std::string> blocks_;  // finished lines, as HTML
  std::size_t dropped_ = 0;
  Line line_;
  int x_ = 0;
  // The printer's settings as the job's commands left them.
  Style style_;
  int align_ = 0;  // 0 left, 1 centre, 2 right
  bool upsideDown_ = false;
  int leftMargin_ = 0;
  int printWidth_ = 0;
  int spacing_ = 0;        // right-side character spacing, dots
  int lineSpacing_ = 30;   // dots
  std::vector<int> tabs_;  // columns
  int barHeight_ = 162, barModule_ = 3, hriPosition_ = 0;
  bool hriFontB_ = false;
  int qrModule_ = 3;
  char qrLevel_ = 'L';
  std::vector<std::uint8_t> qrData_;
  Bitmap stored_;      // GS ( L / GS 8 L picture in the print buffer
  Bitmap downloaded_;  // GS * picture
  std::size_t pictureDots_ = 0;
  bool picturesCut_ = false;
};

}  // namespace vprinter
