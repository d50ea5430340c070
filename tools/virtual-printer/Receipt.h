#pragma once
// A print job as it would come out of the printer: the decoded commands of a
// connection, up to a cut or the connection's end, laid out as a small
// self-contained HTML page the width of the paper. No sockets, no files.

#include <cstddef>
#include <string>
#include <vector>

#include "PrinterDecoder.h"

namespace vprinter {

class Receipt {
public:
  // Takes the next command of the job. Returns true when it ended the job
  // (a cut): the receipt is complete then.
  bool Add(const printerlink::DecodedCommand& command);
  // Whether anything would show on paper yet.
  bool Empty() const { return blocks_.empty() && line_.empty(); }
  // The page, on paper `paperMm` wide (58 or 80).
  std::string Html(int paperMm) const;

private:
  struct Span {
    std::string text;  // UTF-8
    bool bold = false;
    bool underline = false;
    bool reverse = false;
    int width = 1;  // character width and height multiples
    int height = 1;
  };
  void EndLine();
  void AddBlock(std::string html);

  std::vector<std::string> blocks_;  // finished lines and boxes, as HTML
  std::vector<Span> line_;
  std::size_t dropped_ = 0;
  std::string align_ = "left";
  bool bold_ = false;
  bool underline_ = false;
  bool reverse_ = false;
  int width_ = 1;
  int height_ = 1;
  std::string qrData_;
};

}  // namespace vprinter
