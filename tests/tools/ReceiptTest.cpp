#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Frames.h"
#include "PageShot.h"
#include "Receipt.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "Transport.h"
#include "VirtualPrinter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One line of a receipt page as the paper shows it: its characters at their
// dot positions, its spans' classes, and its pictures.
struct Glyph {
  QString ch;
  int x = 0;
};
struct Picture {
  QString cls;
  int x = 0, width = 0, height = 0;
  QImage image;
};
struct PaperLine {
  std::vector<Glyph> glyphs;
  QStringList classes;  // of the spans, in order
  QStringList styles;
  std::vector<Picture> pictures;
  QString Text() const {
    QString s;
    for (const Glyph& g : glyphs) s += g.ch;
    return s.trimmed();
  }
  // Where `text` starts on the line, in dots; -1 when it is not there.
  int XOf(const QString& text) const {
    const int at = [&] {
      QString s;
      for (const Glyph& g : glyphs) s += g.ch;
      return s.indexOf(text);
    }();
    return at < 0 ? -1 : glyphs[at].x;
  }
};

int PxOf(const QString& style, const QString& property) {
  const auto m = QRegularExpression("(^|;)" + property + ":(-?\\d+)px").match(style);
  return m.hasMatch() ? m.captured(2).toInt() : 0;
}

// Reads a receipt page (well-formed XML) into its lines. Characters advance
// by the span's width over its length: the printer's fixed cells, whether
// the span holds them as text or each in a cell of its own (<i>).
std::vector<PaperLine> ReadPaper(const std::string& path, QString& error) {
  QFile file(QString::fromStdString(path));
  std::vector<PaperLine> lines;
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot open " + QString::fromStdString(path);
    return lines;
  }
  QXmlStreamReader xml(&file);
  bool inSpan = false;
  QString spanStyle, spanText;
  int scale = 1;
  while (!xml.atEnd()) {
    xml.readNext();
    const QString cls = xml.attributes().value("class").toString();
    if (xml.isStartElement() && xml.name() == QLatin1String("div") && cls.startsWith("line")) {
      lines.emplace_back();
    } else if (xml.isStartElement() && xml.name() == QLatin1String("span") && !lines.empty()) {
      inSpan = true;
      spanStyle = xml.attributes().value("style").toString();
      spanText.clear();
      const auto m = QRegularExpression("scale\\((\\d+),").match(spanStyle);
      scale = m.hasMatch() ? m.captured(1).toInt() : 1;
      lines.back().classes << cls;
      lines.back().styles << spanStyle;
    } else if (xml.isEndElement() && xml.name() == QLatin1String("span")) {
      inSpan = false;
      const QList<uint> text = spanText.toUcs4();
      const int width = PxOf(spanStyle, "width") * scale;
      int x = PxOf(spanStyle, "left");
      for (uint cp : text) {
        lines.back().glyphs.push_back({QString::fromUcs4(reinterpret_cast<const char32_t*>(&cp), 1), x});
        x += width / std::max<int>(1, static_cast<int>(text.size()));
      }
    } else if (xml.isCharacters() && inSpan) {
      spanText += xml.text();
    } else if (xml.isStartElement() && xml.name() == QLatin1String("img") && !lines.empty()) {
      const auto a = xml.attributes();
      Picture p{
          cls, PxOf(a.value("style").toString(), "left"), a.value("width").toInt(), a.value("height").toInt(), {}};
      const QString src = a.value("src").toString();
      p.image.loadFromData(QByteArray::fromBase64(src.section(',', 1).toLatin1()), "PNG");
      lines.back().pictures.push_back(std::move(p));
    }
  }
  if (xml.hasError()) error = xml.errorString();
  return lines;
}

const PaperLine* Find(const std::vector<PaperLine>& paper, const QString& text) {
  for (const PaperLine& l : paper) {
    if (l.Text().contains(text)) return &l;
  }
  return nullptr;
}

std::string TempDir() {
  char dirTemplate[] = "/tmp/receipts-test-XXXXXX";
  return ::mkdtemp(dirTemplate) != nullptr ? dirTemplate : "";
}

// Sends `job` in one connection and waits for the printer to have written it down.
void Print(vprinter::VirtualPrinter& printer, const std::string& address, const Bytes& job) {
  const int fd = testsupport::ConnectToLoopback(address, printerlink::kFramePort, 5);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::send(fd, job.data(), job.size(), MSG_NOSIGNAL), static_cast<ssize_t>(job.size()));
  ::close(fd);
  ASSERT_TRUE(printer.WaitForConnections(1, 5000));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Receipts, AJobIsLaidOutInThePrintersDots) {
  const std::string address = testsupport::TestAddress();
  const std::string dir = TempDir();
  ASSERT_FALSE(dir.empty());
  std::ostringstream transcript;
  vprinter::VirtualPrinterOptions options;
  options.address = address;
  options.receiptsDir = dir;
  options.paperMm = 58;
  vprinter::VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  // A receipt an earlier run left where this job's second page goes.
  std::ofstream(dir + "/receipt-0001-2.html") << "earlier run";
  const Bytes job = Join({
      Text("never printed"),  // ESC @ clears the line not yet printed
      {0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1B, 0x45, 0x01, 0x1D, 0x21, 0x11},
      Text("SHOP\n"),
      {0x1D, 0x21, 0x00, 0x1B, 0x45, 0x00, 0x1B, 0x61, 0x00},
      {0xB2, 0xE2, 0xA8, 0xA6},  // GBK: two characters of two bytes, 测 and é
      Text("x\n"),
      {0x1B, 0x20, 0x04},
      Text("ab"),
      {0x1B, 0x20, 0x00},
      Text("cd\n"),
      Text("Tea <2>"),
      {0x1B, 0x24, 0x20, 0x01},  // the price column at dot 288
      Text("9.50\n"),
      {0x1B, 0x24, 0x40, 0x00},  // the quantity column at dot 64
      Text("x1"),
      {0x1B, 0x5C, 0x60, 0x00},  // 96 dots on
      Text("ok\n"),
      {0x1D, 0x4C, 0x18, 0x00},  // left margin 24 dots
      Text("in\n"),
      {0x1D, 0x4C, 0x00, 0x00, 0x1B, 0x74, 0x00, 0xC4, 0xC4, 0xCD, 0xB0, '\n'},
      {0x1B, 0x7B, 0x01},
      Text("flip\n"),
      {0x1B, 0x7B, 0x00, 0x1D, 0x42, 0x01},
      Text("rev\n"),
      {0x1D, 0x42, 0x00, 0x1B, 0x61, 0x02},
      Text("right\n"),
      {0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x02, 0x00, 0x81, 0x42},  // 8 x 2 dots
      {0x1D, 0x56, 0x42, 0x03},
      Text("next\n"),
  });
  Print(printer, address, job);
  printer.Stop();

  QString parseError;
  const auto paper = ReadPaper(dir + "/receipt-0001-1.html", parseError);
  ASSERT_TRUE(parseError.isEmpty()) << parseError.toStdString();
  const struct {
    const char* catches;
    QString text;
    QString at;  // where on the line
    int x;
  } placed[] = {
      {"centred on 384 dots at double width: 4 x 24 dots", "SHOP", "SHOP", (384 - 96) / 2},
      {"text starts at the left edge", "Tea <2>", "Tea", 0},
      {"ESC $ puts the price column at its dot", "Tea <2>", "9.50", 288},
      {"ESC $ after nothing printed", "x1", "x1", 64},
      {"GBK: a double-byte character takes two cells", QString::fromUtf8("测éx"), QString::fromUtf8("é"), 24},
      {"GBK: é takes two cells as 测 does", QString::fromUtf8("测éx"), "x", 48},
      {"ESC SP widens the cells of the text after it", "abcd", "b", 16},
      {"ESC SP 0 narrows them again", "abcd", "d", 32 + 12},
      {"ESC \\ moves on from where the text ended", "x1", "ok", 64 + 24 + 96},
      {"GS L moves the line in", "in", "in", 24},
      {"right alignment ends at the print area's end", "right", "right", 384 - 5 * 12},
  };
  for (const auto& p : placed) {
    const PaperLine* line = Find(paper, p.text);
    ASSERT_NE(line, nullptr) << p.catches;
    EXPECT_EQ(line->XOf(p.at), p.x) << p.catches;
  }
  EXPECT_EQ(Find(paper, "never printed"), nullptr) << "ESC @ printed the line it should have cleared";
  const PaperLine* spaced = Find(paper, "abcd");
  ASSERT_EQ(spaced->styles.size(), 2);
  EXPECT_EQ(PxOf(spaced->styles[0], "letter-spacing"), 4) << "a run lost the spacing it was printed with";
  EXPECT_EQ(PxOf(spaced->styles[1], "letter-spacing"), 0) << "a run took the spacing set after it";
  const PaperLine* wide = Find(paper, QString::fromUtf8("测é"));
  EXPECT_TRUE(wide->styles.first().contains("--c:24px")) << "double-byte characters not set in 24-dot cells";
  EXPECT_TRUE(Find(paper, "SHOP")->classes.first().contains(" b")) << "the title is not emphasised";
  EXPECT_FALSE(Find(paper, "Tea")->classes.first().contains(" b")) << "emphasis not switched off";
  EXPECT_NE(Find(paper, QString::fromUtf8("──═░")), nullptr) << "PC437 box drawing and shade not drawn as such";
  EXPECT_TRUE(Find(paper, "rev")->classes.first().contains(" r")) << "reverse lost";
  const auto pictures =
      std::count_if(paper.begin(), paper.end(), [](const PaperLine& l) { return !l.pictures.empty(); });
  ASSERT_EQ(pictures, 1) << "the raster image";
  const Picture& raster = std::find_if(paper.begin(), paper.end(), [](const PaperLine& l) {
                            return !l.pictures.empty();
                          })->pictures.front();
  EXPECT_EQ(raster.x, 384 - 8) << "right-aligned picture";
  ASSERT_EQ(raster.image.size(), QSize(8, 2));
  const char* dots[] = {"X      X", " X    X "};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(qGray(raster.image.pixel(x, y)) < 128, dots[y][x] == 'X') << "picture dot " << x << "," << y;
    }
  }
  EXPECT_EQ(Find(paper, "next"), nullptr) << "the job after the cut is in the first page";
  EXPECT_EQ(ReadFile(dir + "/receipt-0001-2.html"), "earlier run") << "an earlier run's receipt overwritten";
  const auto after = ReadPaper(dir + "/receipt-0001-2.2.html", parseError);
  EXPECT_NE(Find(after, "next"), nullptr) << "the job after the cut lost";
  for (const auto& f : std::filesystem::directory_iterator(dir)) {
    EXPECT_NE(f.path().filename().string()[0], '.') << "left beside the receipts: " << f.path();
  }
  // Each job's line follows the lines of the commands that made it.
  const std::string text = transcript.str();
  const auto cut = text.find("GS V   feed 3 dots and partial cut"), first = text.find("job 1: receipt written to");
  const auto next = text.find("text   \"next\\n\""),
             second = text.find("job 2: receipt written to " + dir + "/receipt-0001-2.2.html");
  EXPECT_TRUE(cut < first && next < second && first < second) << text;
  std::filesystem::remove_all(dir);
}

Bytes Repeat(const Bytes& piece, std::size_t times) {
  Bytes all;
  for (std::size_t i = 0; i < times; ++i) all.insert(all.end(), piece.begin(), piece.end());
  return all;
}

// A raster of `rows` rows of `widthBytes` bytes, its dots there.
Bytes Raster(std::uint8_t widthBytes, std::size_t rows) {
  Bytes b = {0x1D,
             0x76,
             0x30,
             0x00,
             widthBytes,
             0x00,
             static_cast<std::uint8_t>(rows & 0xFF),
             static_cast<std::uint8_t>(rows >> 8)};
  b.resize(b.size() + widthBytes * rows, 0x55);
  return b;
}

// What a client claims is bounded: a picture past the job's page is said
// on the page and never drawn nor made (a header alone once made the
// printer allocate what it claimed, and die), a line sent over and over
// stops at its bound, and the page stays small.
TEST(Receipts, WhatAClientClaimsIsBoundedAndSaidSo) {
  const Bytes definedImage = [] {
    Bytes b = {0x1D, 0x2A, 0xFF, 0xFF};  // GS *: 2040 x 2040 dots
    b.resize(b.size() + 255 * 255 * 8);
    return b;
  }();
  const struct {
    const char* catches;
    int paperMm;
    Bytes bytes;
    std::string note;  // on the page
    bool picturesCut;
    std::size_t linesCut;
  } cases[] = {
      {"GS v 0 claiming 65535 x 65535 at double size",
       80,
       {0x1D, 0x76, 0x30, 0x03, 0xFF, 0xFF, 0xFF, 0xFF},
       "picture of 1048560 x 131070 dots not drawn: this job's pictures passed one page (2376 rows of 576 dots)",
       true,
       0},
      {"GS ( L storing 65535 x 65535 at 2 x 2",
       80,
       {0x1D, 0x28, 0x4C, 0xFF, 0xFF, 0x30, 0x70, 0x30, 0x32, 0x32, 0x31, 0xFF, 0xFF, 0xFF, 0xFF},
       "picture of 131070 x 131070 dots not drawn",
       true,
       0},
      {"GS 8 L storing 4096 x 4096 at 2 x 2",
       80,
       {0x1D, 0x38, 0x4C, 0x0A, 0x00, 0x20, 0x00, 0x30, 0x70, 0x30, 0x32, 0x32, 0x31, 0x00, 0x10, 0x00, 0x10},
       "picture of 8192 x 8192 dots not drawn",
       true,
       0},
      {"ESC * claiming 65535 columns, each dot 2 x 3",
       80,
       {0x1B, 0x2A, 0x00, 0xFF, 0xFF},
       "picture of 131070 x 24 dots not drawn",
       true,
       0},
      {"GS / printing a 2040 x 2040 GS * picture at 2 x 2", 80, Join({definedImage, {0x1D, 0x2F, 0x03}}),
       "picture of 4080 x 4080 dots not drawn", true, 0},
      {"three 576 x 1000 pictures: the third passes one page", 80,
       Join({Raster(72, 1000), Raster(72, 1000), Raster(72, 1000)}), "picture of 576 x 1000 dots not drawn", true, 0},
      {"58 mm paper: the page is 384 dots wide", 58, Raster(48, 2400),
       "picture of 384 x 2400 dots not drawn: this job's pictures passed one page (2376 rows of 384 dots)", true, 0},
      {"ESC $ back to the line's start before each character: the line stops at its pieces", 80,
       Join({Repeat({0x1B, 0x24, 0x00, 0x00, 'A'}, 20000), Text("\nnext\n")}),
       "line cut: 19488 characters and pictures past 512 pieces on one line not drawn", false, 1},
      {"a line that never ends is cut all the same", 80, Repeat({0x1B, 0x24, 0x00, 0x00, 'A'}, 1000),
       "line cut: 488 characters and pictures past 512 pieces on one line not drawn", false, 1},
  };
  for (const auto& c : cases) {
    vprinter::Receipt receipt(c.paperMm);
    printerlink::StreamDecoder decoder(vprinter::Receipt::kMaxPictureBytes);
    for (const auto& command : decoder.Feed(c.bytes)) receipt.Add(command);
    for (const auto& command : decoder.Finish()) receipt.Add(command);
    EXPECT_EQ(receipt.PicturesCut(), c.picturesCut) << c.catches;
    EXPECT_EQ(receipt.LinesCut(), c.linesCut) << c.catches;
    const std::string html = receipt.Html();
    EXPECT_NE(html.find(c.note), std::string::npos) << c.catches << "\n" << html.substr(0, 4000);
    EXPECT_LT(html.size(), vprinter::Receipt::kMaxPictureBytes * 2) << c.catches << ": the page kept too much";
  }
}

// ---- Real point-of-sale client libraries, and the round trip through a browser.

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// What both client scripts print (tests/tools/clients/common.js).
const char* const kQr = "https://example.com/r/1042?t=8.05&id=ZX81-77";
const char* const kEan = "4006381333931";

struct Client {
  const char* script;
  const char* imageMode;  // esc-pos-encoder's IMAGE_MODE, empty for the other
  QString rule;           // the box-drawing character of its rules
  const char* pictureClass;
};

void PrintTo(const Client& c, std::ostream* os) { *os << c.script; }

class ClientReceipts : public ::testing::TestWithParam<Client> {};

TEST_P(ClientReceipts, PrintAsTheClientAskedAndScanBack) {
  const Client& client = GetParam();
  const std::string clients = RECEIPT_CLIENTS_DIR;
  if (!std::filesystem::exists(clients + "/node_modules") || !Have("node")) {
    GTEST_SKIP() << "the npm client libraries are not installed in " << clients
                 << " (the receipt_clients_setup test installs them; it needs npm and the npm registry)";
  }
  const std::string address = testsupport::TestAddress();
  const std::string dir = TempDir();
  std::ostringstream transcript;
  vprinter::VirtualPrinterOptions options;
  options.address = address;
  options.receiptsDir = dir;
  vprinter::VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  const std::string run = std::string("IMAGE_MODE=") + client.imageMode + " timeout 60 node " + clients + "/" +
                          client.script + " " + address + " 9100 >" + dir + "/client.log 2>&1";
  ASSERT_EQ(std::system(run.c_str()), 0) << ReadFile(dir + "/client.log");
  ASSERT_TRUE(printer.WaitForConnections(1, 10000));
  printer.Stop();

  const std::string text = transcript.str();
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(line.rfind("  raw ", 0), 0u) << "a command left raw: " << line;
    // Text lines hold what the client printed: no escape of a control byte.
    if (line.rfind("  text ", 0) == 0) {
      EXPECT_EQ(line.find("\\x"), std::string::npos) << "a parameter byte read as text: " << line;
    }
  }
  const std::string page = dir + "/receipt-0001-1.html";
  QString parseError;
  const auto paper = ReadPaper(page, parseError);
  ASSERT_TRUE(parseError.isEmpty()) << parseError.toStdString() << "\n" << text;
  for (const char* expected : {"CORNER CAFE", "Receipt 1042", "TABLE 7", "TOTAL", "Thank you!"}) {
    EXPECT_NE(Find(paper, expected), nullptr) << "missing on the receipt: " << expected;
  }
  // The table's columns: each price ends where the others end.
  const char* const prices[][2] = {{"Flat white", "3.20"}, {"Croissant", "2.10"}, {"Orange juice", "2.75"}};
  int column = -1;
  for (const auto& [item, price] : prices) {
    const PaperLine* line = Find(paper, item);
    ASSERT_NE(line, nullptr) << item;
    EXPECT_EQ(line->XOf(item), 0) << item << " not at the left edge";
    if (column < 0) column = line->XOf(price);
    EXPECT_EQ(line->XOf(price), column) << price << " out of its column";
    EXPECT_GT(column, 300) << "the price column collapsed onto the item";
  }
  bool rule = false;
  for (const PaperLine& l : paper) rule |= l.Text().size() > 30 && l.Text() == QString(l.Text().size(), client.rule[0]);
  EXPECT_TRUE(rule) << "no rule of " << client.rule.toStdString() << " box-drawing characters";
  // The 64 x 64 picture: its frame and diagonal, wherever the lines split it.
  int pictureRows = 0;
  for (const PaperLine& l : paper) {
    for (const Picture& p : l.pictures) {
      if (p.cls != client.pictureClass) continue;
      EXPECT_EQ(p.image.width(), 64);
      EXPECT_LT(qGray(p.image.pixel(1, 1)), 128) << "frame missing";
      if (pictureRows == 0) {
        EXPECT_GT(qGray(p.image.pixel(30, 10)), 128) << "inside the frame should be blank";
      }
      pictureRows += p.image.height();
    }
  }
  EXPECT_GE(pictureRows, 64) << "the picture was not drawn whole";

  if (!Have("chromium") || !Have("zbarimg")) {
    GTEST_SKIP() << "chromium or zbarimg missing (scripts/setup installs them): the round trip was not made";
  }
  const std::string png = dir + "/receipt.png";
  std::string shotError;
  ASSERT_TRUE(vprinter::ShootPage(page, png, 720, 1600, 90, shotError)) << shotError;
  const std::string scan = "timeout 60 zbarimg -q " + png + " >" + dir + "/scan.txt 2>&1";
  EXPECT_EQ(std::system(scan.c_str()), 0) << "zbarimg found no symbol";
  const std::string read = ReadFile(dir + "/scan.txt");
  EXPECT_NE(read.find(std::string("QR-Code:") + kQr + "\n"), std::string::npos) << read;
  EXPECT_NE(read.find(std::string("EAN-13:") + kEan + "\n"), std::string::npos) << read;
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Libraries, ClientReceipts,
                         ::testing::Values(Client{"encoder-client.js", "column", QString::fromUtf8("═"), "pic"},
                                           Client{"thermal-client.js", "", QString::fromUtf8("═"), "picture"}),
                         [](const auto& info) {
                           return std::string(info.param.imageMode[0] != 0 ? "EscPosEncoderBitImage"
                                                                           : "NodeThermalPrinterRaster");
                         });

}  // namespace
