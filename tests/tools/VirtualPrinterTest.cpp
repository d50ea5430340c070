#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "Frames.h"
#include "LoopbackOnlyLibrary.h"
#include "PrinterDecoder.h"
#include "TestPrinter.h"
#include "Transport.h"
#include "VirtualPrinter.h"

using namespace vprinter;
using printerlink::LinkError;
using printerlink::LinkResult;
using testsupport::LoopbackAddressFor;
using testsupport::LoopbackOnlyLibrary;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kWaitMs = 5000;  // the most a test waits for the printer to write its transcript

Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::vector<std::string> Lines(const Bytes& bytes) {
  std::vector<std::string> lines;
  for (const DecodedCommand& c : DecodeStream(bytes)) lines.push_back(Describe(c));
  return lines;
}

struct DecodeCase {
  std::string catches;
  Bytes bytes;
  std::vector<std::string> expected;
};

TEST(PrinterDecoder, EachCommandIsNamedWithItsParameters) {
  const std::vector<DecodeCase> cases = {
      {"ESC @ initialises", {0x1B, 0x40}, {"ESC @  initialise"}},
      {"drawer m 0 is pin 2, times are twice the bytes", {0x1B, 0x70, 0x00, 0x08, 0x08},
       {"ESC p  drawer pulse: pin 2, on 16 ms, off 16 ms"}},
      {"drawer m 1 is pin 5, on and off not swapped", {0x1B, 0x70, 0x01, 0x32, 0x64},
       {"ESC p  drawer pulse: pin 5, on 100 ms, off 200 ms"}},
      {"feed count is the third byte", {0x1B, 0x64, 0x10}, {"ESC d  print and feed 16 lines"}},
      {"ESC m cuts", {0x1B, 0x6D}, {"ESC m  cut"}},
      {"ESC v asks for status", {0x1B, 0x76}, {"ESC v  status request"}},
      {"GS D octets in the order sent", {0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCD},
       {"GS D   set address 192.168.1.100, checksum CD ok"}},
      {"GS D checksum wraps: 255.255.255.255 -> FC", {0x1D, 0x44, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC},
       {"GS D   set address 255.255.255.255, checksum FC ok"}},
      {"GS E MAC in colon form", {0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xFF},
       {"GS E   set MAC 55:44:33:22:11:00, checksum FF ok"}},
      {"GS E checksum wraps: FF x 6 -> FA", {0x1D, 0x45, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA},
       {"GS E   set MAC FF:FF:FF:FF:FF:FF, checksum FA ok"}},
      {"a frame's parameters are never read as commands", {0x1D, 0x44, 0x1B, 0x76, 0x00, 0x00, 0x91},
       {"GS D   set address 27.118.0.0, checksum 91 ok"}},
      {"commands of one connection keep their order", {0x1B, 0x40, 0x1B, 0x64, 0x01, 0x1B, 0x6D},
       {"ESC @  initialise", "ESC d  print and feed 1 line", "ESC m  cut"}},
      {"the connection ended inside a frame", {0x1D, 0x44, 0xC0, 0xA8},
       {"GS D   set address CUT SHORT: 1D 44 C0 A8 (4 of 7 bytes)"}},
      {"unknown ESC keeps its code byte, neighbours join", {0x1B, 0x61, 0x01}, {"raw    1B 61 01"}},
      {"unknown ESC does not swallow the next ESC", {0x1B, 0x1B, 0x40}, {"raw    1B", "ESC @  initialise"}},
      {"lone ESC at the end is raw", {0x41, 0x1B}, {"text   \"A\"", "raw    1B"}},
      {"control bytes and DEL are raw", {0x07, 0x7F}, {"raw    07 7F"}},
      {"text splits after each line feed", FromText("AB\nCD"), {"text   \"AB\\n\"", "text   \"CD\""}},
      {"GBK shown as UTF-8", {0xB2, 0xE2, 0xCA, 0xD4, 0xD2, 0xB3, 0x0A}, {"text   \"测试页\\n\""}},
      {"GBK lead byte without a trail byte is raw", {0x41, 0x81, 0x0A},
       {"text   \"A\"", "raw    81", "text   \"\\n\""}},
      {"quotes, backslashes, CR and tab escaped", FromText("\"\\\r\t"), {"text   \"\\\"\\\\\\r\\t\""}},
  };
  for (const DecodeCase& c : cases) EXPECT_EQ(Lines(c.bytes), c.expected) << c.catches;
}

TEST(PrinterDecoder, ChecksumMismatchIsReportedWithBothValues) {
  const struct {
    std::string catches;
    Bytes bytes;
    std::string shows;
  } cases[] = {
      {"GS D off by one", {0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCE}, "frame has CE, the bytes sum to CD"},
      {"GS D sum not kept to eight bits", {0x1D, 0x44, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "frame has FF, the bytes sum to FC"},
      {"GS E checksum left at zero", {0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0x00},
       "frame has 00, the bytes sum to FF"},
  };
  for (const auto& c : cases) {
    const auto commands = DecodeStream(c.bytes);
    ASSERT_EQ(commands.size(), 1u) << c.catches;
    EXPECT_FALSE(ChecksumMatches(commands[0])) << c.catches;
    EXPECT_NE(Describe(commands[0]).find("CHECKSUM MISMATCH: " + c.shows), std::string::npos)
        << c.catches << ": " << Describe(commands[0]);
  }
}

// TCP delivers a connection's bytes in whatever pieces it likes; the
// transcript must not depend on where they were cut.
TEST(PrinterDecoder, BytesCutAnywhereDecodeTheSame) {
  const Bytes stream = {0x1B, 0x40,                                      // ESC @
                        0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCD,        // GS D
                        'O',  'K',  0xB2, 0xE2, 0xCA, 0xD4, 0x0A,        // text with GBK, line feed
                        0x1B, 0x76,                                      // ESC v
                        0x1B, 0x61, 0x01,                                // unknown: raw
                        0xD2, 0xB3, 'x',                                 // text without a line feed
                        0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xFF,
                        0x1B, 0x70, 0x00};                               // drawer cut short
  const std::vector<DecodedCommand> whole = DecodeStream(stream);
  ASSERT_EQ(whole.size(), 8u);

  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    StreamDecoder decoder;
    decoder.Feed(std::span(stream).first(cut));
    decoder.Feed(std::span(stream).subspan(cut));
    EXPECT_EQ(decoder.Finish(), whole) << "cut after byte " << cut;
  }
  StreamDecoder byteByByte;
  for (std::uint8_t b : stream) byteByByte.Feed(std::span(&b, 1));
  EXPECT_EQ(byteByByte.Finish(), whole) << "one byte per read";
}

// The server answers ESC v from what Feed returns, so the request must come
// out as soon as its second byte is in, not when the connection ends.
TEST(PrinterDecoder, StatusRequestCompletesWithItsLastByte) {
  StreamDecoder decoder;
  const Bytes first = {'A', 0x1B};
  const Bytes second = {0x76};
  const auto early = decoder.Feed(first);
  ASSERT_EQ(early.size(), 1u) << "text followed by ESC is complete";
  EXPECT_EQ(early[0].kind, CommandKind::Text);
  const auto now = decoder.Feed(second);
  ASSERT_EQ(now.size(), 1u);
  EXPECT_EQ(now[0].kind, CommandKind::StatusRequest);
}

TEST(PrinterDecoder, StatusBytesCarryEachConditionInItsBit) {
  const struct {
    std::string catches;
    StatusFlags flags;
    StatusReply bytes;
  } cases[] = {
      {"nothing wrong is three zeros", {}, {0x00, 0x00, 0x00}},
      {"cover open is byte 0 bit 0x20", {.coverOpen = true}, {0x20, 0x00, 0x00}},
      {"busy is byte 0 bit 0x08", {.busy = true}, {0x08, 0x00, 0x00}},
      {"over temperature is byte 1 bit 0x40", {.overTemperature = true}, {0x00, 0x40, 0x00}},
      {"paused is byte 1 bit 0x10", {.paused = true}, {0x00, 0x10, 0x00}},
      {"paper end needs both sensor bits 0x0C", {.paperEnd = true}, {0x00, 0x00, 0x0C}},
      {"conditions add up", {true, true, true, true, true}, {0x28, 0x50, 0x0C}},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusBytes(c.flags), c.bytes) << c.catches;
}

class VirtualPrinterRun : public ::testing::Test {
protected:
  std::string Address(int host = 1) const {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return LoopbackAddressFor(std::string(info->test_suite_name()) + "." + info->name(), host);
  }

  void TearDown() override {
    EXPECT_EQ(library.startups, library.cleanups);
    EXPECT_EQ(library.opened, library.closed);
  }

  LoopbackOnlyLibrary library;
  printerlink::ReplyBuffer reply{};
};

VirtualPrinterOptions On(std::string address) {
  VirtualPrinterOptions o;
  o.address = std::move(address);
  return o;
}

// A client that holds its connection open between sends, which the
// transport never does. Loopback only.
class HeldConnection {
public:
  HeldConnection(const std::string& address, std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if ((ntohl(sa.sin_addr.s_addr) >> 24) != 127) std::abort();
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
  }
  ~HeldConnection() { Close(); }
  bool connected() const { return connected_; }
  bool Send(const Bytes& bytes) { return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size()); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

private:
  int fd_;
  bool connected_ = false;
};

bool Has(const std::string& transcript, const std::string& what) {
  return transcript.find(what) != std::string::npos;
}

TEST_F(VirtualPrinterRun, ServesTheConsolesFramesAndWritesThemDown) {
  std::ostringstream transcript;
  VirtualPrinterOptions options = On(Address());
  options.flags.coverOpen = true;
  options.flags.paperEnd = true;
  VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  printerlink::CommandFrame frame;
  auto send = [&](std::size_t length, bool expectReply) {
    reply.fill(0xEE);
    return ExchangeFrame(library, Address(), std::span(frame.data(), length), expectReply, reply);
  };
  EXPECT_TRUE(send(printerlink::BuildInitFrame(frame), false).ok());
  EXPECT_TRUE(send(printerlink::BuildSetIpFrame(frame, {192, 168, 1, 100}), false).ok());

  LinkResult r = send(printerlink::BuildStatusQueryFrame(frame), true);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.received, 3u);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{0x20, 0x00, 0x0C}));

  printer.SetFlags({.busy = true}, "test: busy only");
  library.maxSendChunk = 1;  // ESC v in two pieces is answered all the same
  r = send(printerlink::BuildStatusQueryFrame(frame), true);
  library.maxSendChunk = std::numeric_limits<std::size_t>::max();
  EXPECT_EQ(r.received, 3u);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{0x08, 0x00, 0x00})) << "flags changed while running";

  EXPECT_TRUE(SendTextJob(library, Address(), "\xB2\xE2\xCA\xD4\xD2\xB3\n").ok());
  EXPECT_TRUE(ProbePrinter(library, Address(), printerlink::kReplyPort).ok());

  ASSERT_TRUE(printer.WaitForConnections(6, kWaitMs));
  const std::string t = transcript.str();
  EXPECT_TRUE(Has(t, "port 9100")) << t;
  EXPECT_TRUE(Has(t, "  hex    1D 44 C0 A8 01 64 CD\n")) << t;
  EXPECT_TRUE(Has(t, "ESC @  initialise\n")) << t;
  EXPECT_TRUE(Has(t, "GS D   set address 192.168.1.100, checksum CD ok\n")) << t;
  EXPECT_TRUE(Has(t, "ESC v  status request -> answered 20 00 0C (cover open, paper end)\n")) << t;
  EXPECT_TRUE(Has(t, "ESC v  status request -> answered 08 00 00 (busy)\n")) << t;
  EXPECT_TRUE(Has(t, "text   \"测试页\\n\"\n")) << t;
  EXPECT_TRUE(Has(t, "port 4000  #6 from ")) << t;
  EXPECT_TRUE(Has(t, "probe: connected and closed without sending anything")) << t;
  EXPECT_TRUE(Has(t, "test: busy only; ESC v now answers 08 00 00 (busy)")) << t;
}

TEST_F(VirtualPrinterRun, TrainingFailuresLookToTheConsoleAsOnARealPrinter) {
  constexpr int kSlowMs = 300;
  const Bytes query = {0x1B, 0x76};

  {
    std::ostringstream transcript;
    VirtualPrinterOptions options = On(Address(1));
    options.refuse = true;
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    const LinkResult r = ExchangeFrame(library, Address(1), query, true, reply);
    EXPECT_EQ(r.error, LinkError::ConnectFailed) << "refuse: nothing may accept";
    EXPECT_EQ(r.sysError, ECONNREFUSED);
  }
  {
    std::ostringstream transcript;
    VirtualPrinterOptions options = On(Address(2));
    options.silent = true;
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    const LinkResult r = ExchangeFrame(library, Address(2), query, true, reply);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.received, 0u) << "silent: ESC v must go unanswered";
    ASSERT_TRUE(printer.WaitForConnections(1, kWaitMs)) << "silent: the client's close still ends the connection";
    EXPECT_TRUE(Has(transcript.str(), "status request -> not answered (silent)")) << transcript.str();
  }
  {
    std::ostringstream transcript;
    VirtualPrinterOptions options = On(Address(3));
    options.slowMs = kSlowMs;
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    const auto start = std::chrono::steady_clock::now();
    const LinkResult r = ExchangeFrame(library, Address(3), query, true, reply);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.received, 3u) << "slow, but within the console's wait";
    EXPECT_GE(took, std::chrono::milliseconds(kSlowMs)) << "slow: answered too early";
  }
  {
    // A second printer on an address already served must fail to start, not
    // share the port.
    std::ostringstream transcript;
    VirtualPrinter first(On(Address(4)), transcript);
    VirtualPrinter second(On(Address(4)), transcript);
    std::string error;
    ASSERT_TRUE(first.Start(error)) << error;
    EXPECT_FALSE(second.Start(error));
    EXPECT_TRUE(Has(error, "Address already in use")) << error;
  }
}

TEST_F(VirtualPrinterRun, OverlappingConnectionsAreServedAndWrittenDownApart) {
  std::ostringstream transcript;
  VirtualPrinter printer(On(Address()), transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  HeldConnection frame(Address(), printerlink::kFramePort);
  ASSERT_TRUE(frame.connected());
  ASSERT_TRUE(frame.Send({0x1D, 0x44, 0xC0}));  // half a frame; the rest comes later
  HeldConnection forgotten(Address(), printerlink::kFramePort);
  ASSERT_TRUE(forgotten.Send({0x1B, 0x40}));

  // A printer that served one connection at a time would leave this unanswered.
  const LinkResult r = ExchangeFrame(library, Address(), Bytes{0x1B, 0x76}, true, reply);
  EXPECT_EQ(r.received, 3u) << "the status request waited behind an open connection";

  ASSERT_TRUE(frame.Send({0xA8, 0x01, 0x64, 0xCD}));
  frame.Close();
  ASSERT_TRUE(printer.WaitForConnections(2, kWaitMs));
  printer.Stop();  // `forgotten` is still open

  const std::string t = transcript.str();
  EXPECT_TRUE(Has(t, "GS D   set address 192.168.1.100, checksum CD ok\n")) << "the two halves were not joined\n" << t;
  EXPECT_TRUE(Has(t, "still open when the printer stopped\n  hex    1B 40\n  ESC @  initialise\n"))
      << "a connection open at the stop lost its block\n" << t;
}

}  // namespace
