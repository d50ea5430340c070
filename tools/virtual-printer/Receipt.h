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
  // A job keeps at most one page of pictures: its print area (576 dots on
  // 80 mm paper, 384 on 58 mm) over the length of an A4 page (297 mm at 8
  // dots a mm). A picture past it is neither drawn nor made; the page says so.
  static constexpr int kPageRows = 2376;
  static constexpr std::size_t kMaxPictureDots = 576 * kPageRows;
  // What the decoder should keep of one picture's data for a receipt.
  static constexpr std::size_t kMaxPictureBytes = kMaxPictureDots / 8;
  // A line holds at most this many pieces (runs of text, pictures): text
  // sent back over the same place again and again is left out past it.
  static constexpr std::size_t kMaxLinePieces = 512;
  // The page's markup, pictures included, stops growing here; the lines
  // past it are counted.
  static constexpr std::size_t kMaxPageBytes = 2 * 1024 * 1024;

  // On paper `paperMm` wide: 58 (384 dots printed) or 80 (576 dots).
  explicit Receipt(int paperMm = 80);

  // Takes the next command of the job. Returns true when it ended the job
  // (a cut): the receipt is complete then.
  bool Add(const printerlink::DecodedCommand& command);
  // Whether anything would show on paper yet.
  bool Empty() const { return blocks_.empty() && LineEmpty(); }
  // Whether pictures were left out to keep the job within one page.
  bool PicturesCut() const { return picturesCut_; }
  // How many lines were cut at kMaxLinePieces, the one not yet printed included.
  std::size_t LinesCut() const { return linesCut_ + (line_.left > 0 ? 1 : 0); }
  // The page of pictures in this job's print width: "2376 rows of 384 dots".
  std::string PageBound() const;
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
    int spacing = 0;  // right-side character spacing, dots
    friend bool operator==(const Style&, const Style&) = default;
  };
  struct Run {
    int x = 0;          // dots from the print area's left edge
    int width = 0;      // dots
    int cells = 0;      // character cells of font A or B (a wide character takes two)
    bool wide = false;  // its characters take two cells each (GBK's double-byte characters)
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
    std::size_t left = 0;  // characters and pictures past kMaxLinePieces, not drawn
  };

  bool LineEmpty() const { return line_.runs.empty() && line_.pictures.empty(); }
  int AreaEnd() const;
  int CellWidth(bool wide) const;
  void AddText(const std::string& utf8, bool gbk);
  void AddCharacter(const std::string& character, bool wide);
  std::string LineHtml(const Line& line, int minHeight) const;
  void EndLine(int minHeight = -1);
  void Feed(int dots);
  void AddBlock(std::string html);
  // A picture, barcode or QR code on a line of its own at the alignment.
  void AddPicture(const Bitmap& bits, const std::string& cls);
  // Whether a picture of width x height dots still fits the job's page of
  // pictures; says on the page why not when it does not. Budget also counts it.
  bool Fits(std::size_t width, std::size_t height);
  bool Budget(std::size_t width, std::size_t height);
  void AddBarcode(const printerlink::DecodedCommand& c);
  void AddQrCommand(const printerlink::DecodedCommand& c);
  void AddGraphics(const printerlink::DecodedCommand& c);
  // Draws a stored or sent picture at `sx` x `sy` once it fits.
  void PrintPacked(const Packed& picture, int sx, int sy);
  void Note(const std::string& text);
  void Reset();

  int paperMm_;
  int areaDots_;
  std::vector<std::string> blocks_;  // finished lines, as HTML
  std::size_t blockBytes_ = 0;
  std::size_t dropped_ = 0;
  Line line_;
  int x_ = 0;
  // The printer's settings as the job's commands left them.
  Style style_;
  int align_ = 0;  // 0 left, 1 centre, 2 right
  bool upsideDown_ = false;
  int leftMargin_ = 0;
  int printWidth_ = 0;
  int lineSpacing_ = 30;   // dots
  std::vector<int> tabs_;  // columns
  int barHeight_ = 162, barModule_ = 3, hriPosition_ = 0;
  bool hriFontB_ = false;
  int qrModule_ = 3;
  char qrLevel_ = 'L';
  std::vector<std::uint8_t> qrData_;
  // GS ( L / GS 8 L picture in the print buffer, at its scale; GS * picture.
  Packed stored_;
  int storedSx_ = 1, storedSy_ = 1;
  Packed downloaded_;
  std::size_t pictureDots_ = 0;
  bool picturesCut_ = false;
  std::size_t linesCut_ = 0;
};

}  // namespace vprinter
