#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Frames.h"
#include "Transport.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "VirtualPrinter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One element of a receipt page: its tag, class and all the text inside it.
struct Element {
  QString tag;
  QString cls;
  QString text;
};

// Parses the page as XML (the receipts are well-formed) into its elements.
std::vector<Element> Parse(const std::string& path, QString& error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot open " + QString::fromStdString(path);
    return {};
  }
  QXmlStreamReader xml(&file);
  std::vector<Element> elements;
  std::vector<std::size_t> open;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      elements.push_back({xml.name().toString(), xml.attributes().value("class").toString(), {}});
      open.push_back(elements.size() - 1);
    } else if (xml.isEndElement()) {
      open.pop_back();
    } else if (xml.isCharacters()) {
      for (std::size_t i : open) elements[i].text += xml.text();
    }
  }
  if (xml.hasError()) error = xml.errorString();
  return elements;
}

bool HasElement(const std::vector<Element>& page, const QString& tag, const QString& cls, const QString& text) {
  for (const Element& e : page) {
    if (e.tag == tag && (cls.isEmpty() || e.cls == cls) && e.text.contains(text)) return true;
  }
  return false;
}

TEST(Receipts, AJobUpToItsCutBecomesAPageWithWhatItPrinted) {
  const std::string address = testsupport::TestAddress();
  char dirTemplate[] = "/tmp/receipts-test-XXXXXX";
  ASSERT_NE(::mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;

  std::ostringstream transcript;
  vprinter::VirtualPrinterOptions options;
  options.address = address;
  options.receiptsDir = dir;
  options.paperMm = 58;
  vprinter::VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  const Bytes job = {0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1B, 0x45, 0x01, 'S',  'H',  'O',  'P',  '\n', 0x1B, 0x45,
                     0x00, 0x1B, 0x61, 0x00, 'T',  'e',  'a',  ' ',  '<',  '2',  '>',  '\n', 0x1B, 0x61, 0x02,
                     '9',  '.',  '5',  '0',  '\n', 0x1B, 0x61, 0x01, 0x1D, 0x28, 0x6B, 0x0C, 0x00, 0x31, 0x50,
                     0x30, 'h',  't',  't',  'p',  's',  ':',  '/',  '/',  'x',  0x1D, 0x28, 0x6B, 0x03, 0x00,
                     0x31, 0x51, 0x30, 0x1D, 0x56, 0x42, 0x03, 'n',  'e',  'x',  't',  '\n'};
  const int fd = testsupport::ConnectToLoopback(address, printerlink::kFramePort, 5);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::send(fd, job.data(), job.size(), MSG_NOSIGNAL), static_cast<ssize_t>(job.size()));
  ::close(fd);
  ASSERT_TRUE(printer.WaitForConnections(1, 5000));
  printer.Stop();

  const std::string first = dir + "/receipt-0001-1.html";
  const std::string second = dir + "/receipt-0001-2.html";
  EXPECT_NE(transcript.str().find("receipt written to " + first), std::string::npos) << transcript.str();
  QString parseError;
  const auto page = Parse(first, parseError);
  EXPECT_TRUE(parseError.isEmpty()) << parseError.toStdString();
  EXPECT_TRUE(HasElement(page, "p", "centre", "SHOP")) << "the centred title";
  EXPECT_TRUE(HasElement(page, "b", "", "SHOP")) << "the emphasised title";
  EXPECT_FALSE(HasElement(page, "b", "", "Tea")) << "emphasis not switched off";
  EXPECT_TRUE(HasElement(page, "p", "left", "Tea <2>")) << "a line of text, its < > kept as text";
  EXPECT_TRUE(HasElement(page, "p", "right", "9.50")) << "right alignment";
  EXPECT_TRUE(HasElement(page, "div", "qr centre", "https://x")) << "the QR code with its data";
  EXPECT_TRUE(HasElement(page, "hr", "cut", "")) << "the cut";
  EXPECT_TRUE(HasElement(page, "div", "paper", "")) << "the paper column";
  EXPECT_FALSE(HasElement(page, "p", "", "next")) << "the job after the cut is in the first page";

  const auto after = Parse(second, parseError);
  EXPECT_TRUE(HasElement(after, "p", "left", "next")) << "the job after the cut lost";
  std::filesystem::remove_all(dir);
}

}  // namespace
