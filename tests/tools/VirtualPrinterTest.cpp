#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "DrawerCheck.h"
#include "Frames.h"
#include "LoopbackOnlyLibrary.h"
#include "PrinterDecoder.h"
#include "Sanitized.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "Transport.h"
#include "VirtualPrinter.h"

using namespace vprinter;
using printerlink::LinkError;
using printerlink::LinkResult;
using testsupport::LoopbackOnlyLibrary;
using testsupport::TestAddress;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kWaitMs = 5000;        // the most a test waits for the printer to write its transcript
constexpr int kFloodWaitMs = 30000;  // the same for a flood, which a sanitizer build decodes slowly

using testsupport::kSanitized;

StatusFlags In(std::initializer_list<Condition> conditions) {
  StatusFlags flags;
  for (Condition c : conditions) flags[c] = true;
  return flags;
}

TEST(PrinterState, StatusBytesCarryEachConditionInItsBit) {
  using enum Condition;
  const struct {
    std::string catches;
    StatusFlags flags;
    StatusReply bytes;
  } cases[] = {
      {"nothing wrong is three zeros", {}, {0x00, 0x00, 0x00}},
      {"cover open is byte 0 bit 0x20", In({Cover}), {0x20, 0x00, 0x00}},
      {"busy is byte 0 bit 0x08", In({Busy}), {0x08, 0x00, 0x00}},
      {"over temperature is byte 1 bit 0x40", In({Temperature}), {0x00, 0x40, 0x00}},
      {"paused is byte 1 bit 0x10", In({Pause}), {0x00, 0x10, 0x00}},
      {"paper end needs both sensor bits 0x0C", In({Paper}), {0x00, 0x00, 0x0C}},
      {"conditions add up", In({Cover, Busy, Temperature, Pause, Paper}), {0x28, 0x50, 0x0C}},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusBytes(c.flags), c.bytes) << c.catches;
}

TEST(PrinterState, StatusQueriesOfReceiptSoftwareCarryEachCondition) {
  using enum Condition;
  using B = std::vector<std::uint8_t>;
  const StatusFlags none{}, cover = In({Cover}), busy = In({Busy}), hot = In({Temperature}), paused = In({Pause}),
                            paper = In({Paper}), drawer{.drawerOpen = true};
  // The drawer is closed unless a row opens it: pin 3 high (DLE EOT 1 and
  // the report's bit 0x04, GS r 2's bit 0x01).
  const struct {
    std::string catches;
    StatusFlags flags;
    B eot1, eot2, eot3, eot4, paperSensor, drawerSensor;
    std::array<std::uint8_t, 4> report;
  } cases[] = {
      {"ready: fixed bits, drawer closed", none, {0x16}, {0x12}, {0x12}, {0x12}, {0x00}, {0x01}, {0x14, 0, 0, 0}},
      {"cover open: offline, cover bit", cover, {0x1E}, {0x16}, {0x12}, {0x12}, {0x00}, {0x01}, {0x3C, 0, 0, 0}},
      {"busy is not offline", busy, {0x16}, {0x12}, {0x12}, {0x12}, {0x00}, {0x01}, {0x14, 0, 0, 0}},
      {"over temperature: recoverable", hot, {0x1E}, {0x52}, {0x52}, {0x12}, {0x00}, {0x01}, {0x1C, 0x40, 0, 0}},
      {"paused: offline only", paused, {0x1E}, {0x12}, {0x12}, {0x12}, {0x00}, {0x01}, {0x1C, 0, 0, 0}},
      {"paper end: stop bit, both sensors", paper, {0x1E}, {0x32}, {0x12}, {0x7E}, {0x0F}, {0x01}, {0x1C, 0, 0x0F, 0}},
      {"drawer open: pin 3 low, nothing else", drawer, {0x12}, {0x12}, {0x12}, {0x12}, {0x00}, {0x00}, {0x10, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RealTimeStatus(c.flags, 1), c.eot1) << c.catches;
    EXPECT_EQ(RealTimeStatus(c.flags, 2), c.eot2) << c.catches;
    EXPECT_EQ(RealTimeStatus(c.flags, 3), c.eot3) << c.catches;
    EXPECT_EQ(RealTimeStatus(c.flags, 4), c.eot4) << c.catches;
    EXPECT_EQ(TransmittedStatus(c.flags, 1), c.paperSensor) << c.catches;
    EXPECT_EQ(TransmittedStatus(c.flags, '1'), c.paperSensor) << c.catches << " (ASCII n)";
    EXPECT_EQ(TransmittedStatus(c.flags, 2), c.drawerSensor) << c.catches;
    EXPECT_EQ(AutomaticStatus(c.flags), c.report) << c.catches;
  }
  EXPECT_TRUE(RealTimeStatus(none, 5).empty()) << "DLE EOT 5 asks for nothing";
  EXPECT_TRUE(TransmittedStatus(none, 3).empty()) << "GS r 3 asks for nothing";
}

class VirtualPrinterRun : public ::testing::Test {
protected:
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
  // A printer that stops reading fails a send, never hangs it.
  HeldConnection(const std::string& address, std::uint16_t port)
      : fd_(testsupport::ConnectToLoopback(address, port, kFloodWaitMs / 1000)) {}
  ~HeldConnection() { Close(); }
  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool Send(const Bytes& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Whether the printer closed the connection within timeoutMs.
  bool ClosedByPrinter(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char buf[64];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
    }
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

private:
  int fd_;
};

bool Has(const std::string& transcript, const std::string& what) { return transcript.find(what) != std::string::npos; }

TEST_F(VirtualPrinterRun, ServesTheConsolesFramesAndWritesThemDown) {
  std::ostringstream transcript;
  VirtualPrinterOptions options = On(TestAddress());
  options.flags[Condition::Cover] = true;
  options.flags[Condition::Paper] = true;
  VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  printerlink::CommandFrame frame;
  auto send = [&](std::size_t length, bool expectReply) {
    reply.fill(0xEE);
    return ExchangeFrame(library, TestAddress(), std::span(frame.data(), length), expectReply, reply);
  };
  EXPECT_TRUE(send(printerlink::BuildInitFrame(frame), false).ok());
  EXPECT_TRUE(send(printerlink::BuildSetIpFrame(frame, {192, 168, 1, 100}), false).ok());

  LinkResult r = send(printerlink::BuildStatusQueryFrame(frame), true);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.received, 3u);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{0x20, 0x00, 0x0C}));

  printer.SetFlags(In({Condition::Busy}), "test: busy only");
  library.maxSendChunk = 1;  // ESC v in two pieces is answered all the same
  r = send(printerlink::BuildStatusQueryFrame(frame), true);
  library.maxSendChunk = std::numeric_limits<std::size_t>::max();
  EXPECT_EQ(r.received, 3u);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{0x08, 0x00, 0x00})) << "flags changed while running";

  EXPECT_TRUE(SendTextJob(library, TestAddress(), "\xB2\xE2\xCA\xD4\xD2\xB3\n").ok());
  EXPECT_TRUE(ProbePrinter(library, TestAddress(), printerlink::kReplyPort).ok());

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
    VirtualPrinterOptions options = On(TestAddress(1));
    options.refuse = true;
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    const LinkResult r = ExchangeFrame(library, TestAddress(1), query, true, reply);
    EXPECT_EQ(r.error, LinkError::ConnectFailed) << "refuse: nothing may accept";
    EXPECT_EQ(r.sysError, ECONNREFUSED);
  }
  {
    std::ostringstream transcript;
    VirtualPrinterOptions options = On(TestAddress(2));
    options.silent = true;
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    const LinkResult r = ExchangeFrame(library, TestAddress(2), query, true, reply);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.received, 0u) << "silent: ESC v must go unanswered";
    ASSERT_TRUE(printer.WaitForConnections(1, kWaitMs)) << "silent: the client's close still ends the connection";
    EXPECT_TRUE(Has(transcript.str(), "status request -> not answered (silent)")) << transcript.str();
  }
  {
    std::ostringstream transcript;
    VirtualPrinterOptions options = On(TestAddress(3));
    options.slowMs = kSlowMs;
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    const auto start = std::chrono::steady_clock::now();
    const LinkResult r = ExchangeFrame(library, TestAddress(3), query, true, reply);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.received, 3u) << "slow, but within the console's wait";
    EXPECT_GE(took, std::chrono::milliseconds(kSlowMs)) << "slow: answered too early";
  }
  {
    std::ostringstream transcript;
    VirtualPrinterOptions options = On(TestAddress(5));
    options.discardMs = 200;
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    const Bytes drawer = {0x1B, 0x70, 0x00, 0x08, 0x08};
    const LinkResult r = ExchangeFrame(library, TestAddress(5), drawer, false, reply);
    EXPECT_EQ(r.error, LinkError::PeerClosed) << "discard: bytes thrown away must not read as delivered";
    EXPECT_EQ(r.sysError, ECONNRESET);
    EXPECT_EQ(r.sent, drawer.size()) << "discard: every byte acknowledged before the reset";
    ASSERT_TRUE(printer.WaitForConnections(1, kWaitMs));
    EXPECT_TRUE(Has(transcript.str(), "discarded: closed unread after 200 ms with 5 bytes waiting"))
        << transcript.str();
  }
  {
    // A second printer on an address already served must fail to start, not
    // share the port.
    std::ostringstream transcript;
    VirtualPrinter first(On(TestAddress(4)), transcript);
    VirtualPrinter second(On(TestAddress(4)), transcript);
    std::string error;
    ASSERT_TRUE(first.Start(error)) << error;
    EXPECT_FALSE(second.Start(error));
    EXPECT_TRUE(Has(error, "Address already in use")) << error;
  }
}

TEST_F(VirtualPrinterRun, OverlappingConnectionsAreServedAndWrittenDownApart) {
  std::ostringstream transcript;
  VirtualPrinter printer(On(TestAddress()), transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  HeldConnection frame(TestAddress(), printerlink::kFramePort);
  ASSERT_TRUE(frame.connected());
  ASSERT_TRUE(frame.Send({0x1D, 0x44, 0xC0}));  // half a frame; the rest comes later
  HeldConnection forgotten(TestAddress(), printerlink::kFramePort);
  ASSERT_TRUE(forgotten.Send({0x1B, 0x40}));

  // A printer that served one connection at a time would leave this unanswered.
  const LinkResult r = ExchangeFrame(library, TestAddress(), Bytes{0x1B, 0x76}, true, reply);
  EXPECT_EQ(r.received, 3u) << "the status request waited behind an open connection";

  ASSERT_TRUE(frame.Send({0xA8, 0x01, 0x64, 0xCD}));
  frame.Close();
  ASSERT_TRUE(printer.WaitForConnections(2, kWaitMs));
  printer.Stop();  // `forgotten` is still open

  const std::string t = transcript.str();
  EXPECT_TRUE(Has(t, "GS D   set address 192.168.1.100, checksum CD ok\n")) << "the two halves were not joined\n" << t;
  EXPECT_TRUE(Has(t, "still open when the printer stopped\n  hex    1B 40\n  ESC @  initialise\n"))
      << "a connection open at the stop lost its block\n"
      << t;
}

// A stream over a file descriptor, written with plain blocking writes: a pipe
// nobody reads blocks it for good.
class FdStreamBuf : public std::streambuf {
public:
  explicit FdStreamBuf(int fd) : fd_(fd) {}

protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::streamsize done = 0;
    while (done < n) {
      const ssize_t w = ::write(fd_, s + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      done += w;
    }
    return done;
  }

private:
  int fd_;
};

Bytes Noise(std::size_t size) {
  std::mt19937 random(14);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// A job of many short lines: a line of transcript for every few bytes.
Bytes Lines(std::size_t size) {
  Bytes bytes;
  while (bytes.size() < size) bytes.insert(bytes.end(), {0x1B, 0x40, 'o', 'k', '\n'});
  return bytes;
}

// Sends `total` bytes in pieces of one buffer, noise by default.
bool Flood(HeldConnection& client, std::size_t total, const Bytes& piece = Noise(64 * 1024)) {
  for (std::size_t sent = 0; sent < total; sent += piece.size()) {
    if (!client.Send(piece)) return false;
  }
  return true;
}

bool WaitForState(const VirtualPrinter& printer, const std::string& what, int timeoutMs = kWaitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Has(printer.StateLine(), what)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ADD_FAILURE() << "waited for \"" << what << "\" in: " << printer.StateLine();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// The process's peak resident memory so far, in kB.
long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Starts the peak over from what the process holds now, so that each case
// is measured alone.
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A picture store of GS ( L claiming width x height dots at 2 x 2, its dots all there.
Bytes StoreAtDoubleSize(std::uint16_t width, std::uint16_t height) {
  const std::size_t data = (width + 7) / 8 * std::size_t{height}, p = data + 10;
  Bytes b = {0x1D,
             0x38,
             0x4C,
             static_cast<std::uint8_t>(p),
             static_cast<std::uint8_t>(p >> 8),
             static_cast<std::uint8_t>(p >> 16),
             static_cast<std::uint8_t>(p >> 24),
             0x30,
             0x70,
             0x30,
             0x32,
             0x32,
             0x31,
             static_cast<std::uint8_t>(width),
             static_cast<std::uint8_t>(width >> 8),
             static_cast<std::uint8_t>(height),
             static_cast<std::uint8_t>(height >> 8)};
  b.resize(b.size() + data, 0x5A);
  return b;
}

// A printer that kept every byte, and a decoded command per byte, grew by
// some 80 times what it was sent and kept it after the client had gone; one
// that drew receipts made what picture headers claimed, and kept a line
// sent over the same place again and again.
// (Noise can declare a raster image that swallows the rest as image data, so
// the flood ends in lines.)
TEST_F(VirtualPrinterRun, FloodOfNoiseKeepsMemoryBounded) {
  // A sanitizer build is slow and measures its own memory: a smaller flood.
  constexpr std::size_t kFlood = (kSanitized ? 1 : 8) * 1024 * 1024;
  constexpr long kBoundKb = 100 * 1024;  // generous: the printer needs a few MB
  // Noise, then short lines: a decoded line for every few bytes.
  const auto noiseThenLines = [](const std::string& address) {
    HeldConnection client(address, printerlink::kFramePort);
    return client.connected() && Flood(client, kFlood / 2) && Flood(client, kFlood / 2, Lines(64 * 1024));
  };
  const struct {
    const char* catches;
    bool receipts;
    std::size_t connections;
    std::function<bool(const std::string& address)> send;
  } cases[] = {
      {"noise and lines", false, 1, noiseThenLines},
      {"noise and lines drawn as receipts", true, 1, noiseThenLines},
      {"pictures claiming more than a page, five stores held open at once, a line that never ends", true, 7,
       [](const std::string& address) {
         HeldConnection header(address, printerlink::kFramePort);
         if (!header.Send({0x1D, 0x76, 0x30, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})) return false;
         header.Close();
         std::vector<std::unique_ptr<HeldConnection>> stores;
         const Bytes store = StoreAtDoubleSize(kSanitized ? 1024 : 4096, kSanitized ? 1024 : 4096);
         for (int i = 0; i < 5; ++i) {
           stores.push_back(std::make_unique<HeldConnection>(address, printerlink::kFramePort));
           if (!stores.back()->Send(store)) return false;
         }
         HeldConnection line(address, printerlink::kFramePort);
         Bytes again;
         while (again.size() < 64 * 1024) again.insert(again.end(), {0x1B, 0x24, 0x00, 0x00, 'A'});
         return Flood(line, kFlood, again);
       }},
  };
  for (const auto& c : cases) {
    char folder[] = "/tmp/flood-receipts-XXXXXX";
    VirtualPrinterOptions options = On(TestAddress());
    if (c.receipts) {
      ASSERT_NE(::mkdtemp(folder), nullptr);
      options.receiptsDir = folder;
    }
    // A stream without a buffer: whatever the printer writes goes nowhere.
    std::ostream transcript(nullptr);
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    ResetPeakResident();
    const long before = PeakResidentKb();
    ASSERT_TRUE(c.send(TestAddress())) << c.catches;
    ASSERT_TRUE(printer.WaitForConnections(c.connections, kFloodWaitMs)) << c.catches << ": never written down";
    const long grown = PeakResidentKb() - before;
    printer.Stop();
    if (c.receipts) std::filesystem::remove_all(folder);
    if (kSanitized) continue;  // the sanitizers' own memory hides the printer's
    EXPECT_LT(grown, kBoundKb) << c.catches << ": the printer grew by " << grown << " kB";
  }
}

// The transcript goes to a pipe nobody reads: the printer must still answer,
// and say that lines were lost instead of waiting for the reader.
TEST_F(VirtualPrinterRun, StatusIsAnsweredWhileTheTranscriptIsStuck) {
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  FdStreamBuf toPipe(pipeFds[1]);
  std::ostream transcript(&toPipe);
  VirtualPrinter printer(On(TestAddress()), transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  HeldConnection flood(TestAddress(), printerlink::kFramePort);
  ASSERT_TRUE(flood.connected());
  ASSERT_TRUE(Flood(flood, 512 * 1024, Lines(64 * 1024)));  // 200,000 lines
  flood.Close();
  // The printer has read the whole flood and is writing it down.
  ASSERT_TRUE(WaitForState(printer, "1 connection so far, 0 open", kFloodWaitMs));
  const LinkResult r = ExchangeFrame(library, TestAddress(), Bytes{0x1B, 0x76}, true, reply);
  EXPECT_EQ(r.received, 3u) << "the status request waited for the transcript";

  std::string drained;
  std::thread reader([&] {
    char buf[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) drained.append(buf, static_cast<std::size_t>(n));
  });
  printer.Stop();
  ::close(pipeFds[1]);
  reader.join();
  ::close(pipeFds[0]);
  EXPECT_TRUE(Has(drained, " dropped, the output could not keep up")) << drained.substr(0, 2000);
  EXPECT_TRUE(Has(drained, "ESC v  status request -> answered 00 00 00 (ready)")) << "the answer's line was lost";
}

TEST_F(VirtualPrinterRun, IdleConnectionIsClosedAndWrittenDown) {
  std::ostringstream transcript;
  VirtualPrinterOptions options = On(TestAddress());
  options.idleTimeoutMs = 200;
  VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  HeldConnection quiet(TestAddress(), printerlink::kReplyPort);
  HeldConnection silent(TestAddress(), printerlink::kFramePort);
  ASSERT_TRUE(quiet.Send({0x1B, 0x40}));
  EXPECT_TRUE(quiet.ClosedByPrinter(kWaitMs)) << "an idle connection stayed open";
  EXPECT_TRUE(silent.ClosedByPrinter(kWaitMs)) << "a connection that never sent stayed open";
  ASSERT_TRUE(printer.WaitForConnections(2, kWaitMs));
  const std::string t = transcript.str();
  EXPECT_TRUE(Has(t, "2 bytes in ")) << t;
  EXPECT_TRUE(Has(t, ", closed by the printer after 200 ms without a byte\n  hex    1B 40\n  ESC @  initialise\n"))
      << t;
  EXPECT_TRUE(Has(t, "nothing sent, closed by the printer after 200 ms without a byte")) << t;
}

// With every place taken by idle clients, a console asking for the status is
// still answered: the client idle the longest gives up its place.
TEST_F(VirtualPrinterRun, NewClientIsServedWhenIdleOnesHoldEveryPlace) {
  constexpr int kPlaces = 8;
  std::ostringstream transcript;
  VirtualPrinterOptions options = On(TestAddress());
  options.maxConnections = kPlaces;
  VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  std::vector<std::unique_ptr<HeldConnection>> idle;
  for (int i = 0; i < kPlaces; ++i) {
    idle.push_back(std::make_unique<HeldConnection>(TestAddress(), printerlink::kReplyPort));
    ASSERT_TRUE(idle.back()->connected());
  }
  ASSERT_TRUE(WaitForState(printer, std::to_string(kPlaces) + " connections so far"));

  const LinkResult r = ExchangeFrame(library, TestAddress(), Bytes{0x1B, 0x76}, true, reply);
  EXPECT_EQ(r.received, 3u) << "idle clients locked the console out";
  EXPECT_TRUE(idle.front()->ClosedByPrinter(kWaitMs)) << "the oldest idle client kept its place";
  ASSERT_TRUE(printer.WaitForConnections(2, kWaitMs));
  printer.Stop();
  const std::string t = transcript.str();
  EXPECT_TRUE(Has(t, "#1 from ")) << t;
  EXPECT_TRUE(Has(t, "nothing sent, closed by the printer to make room for a new client")) << t;
  EXPECT_EQ(t.find("make room"), t.rfind("make room")) << "more than one client made room for one\n" << t;
}

// Bytes the printer sends back, collected until `count` have come or the wait ends.
Bytes Receive(int fd, std::size_t count) {
  Bytes got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (got.size() < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    std::uint8_t buf[16];
    const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, count - got.size()), 0);
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

// Point-of-sale software asks on the port it prints on; the answers come from
// the same flags the keys toggle, and automatic status back reports changes.
TEST_F(VirtualPrinterRun, AnswersTheStatusQueriesOfReceiptSoftware) {
  std::ostringstream transcript;
  VirtualPrinterOptions options = On(TestAddress());
  options.flags[Condition::Paper] = true;
  VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  HeldConnection till(TestAddress(), printerlink::kFramePort);
  ASSERT_TRUE(till.connected());
  ASSERT_TRUE(till.Send({0x10, 0x04, 0x04, 0x1D, 0x72, 0x01, 0x10, 0x04, 0x07}));
  EXPECT_EQ(Receive(till.fd(), 2), (Bytes{0x7E, 0x0F})) << "DLE EOT 4 and GS r 1 with the paper out";
  ASSERT_TRUE(till.Send({0x1D, 0x61, 0x0F}));
  EXPECT_EQ(Receive(till.fd(), 4), (Bytes{0x1C, 0x00, 0x0F, 0x00})) << "GS a: the first report at once";
  printer.SetFlags(In({Condition::Cover}), "test: cover open, paper in");
  EXPECT_EQ(Receive(till.fd(), 4), (Bytes{0x3C, 0x00, 0x00, 0x00})) << "GS a: no report of the change";
  // The software asks which printer it prints to, then kicks the drawer.
  ASSERT_TRUE(till.Send({0x1D, 0x49, 0x43}));
  EXPECT_EQ(Receive(till.fd(), 7), (Bytes{0x5F, 'V', 'P', '-', '8', '0', 0x00})) << "GS I: no model block";
  ASSERT_TRUE(till.Send({0x10, 0x14, 0x01, 0x00, 0x01}));
  EXPECT_EQ(Receive(till.fd(), 4), (Bytes{0x38, 0x00, 0x00, 0x00})) << "DLE DC4 1 did not open the drawer";
  printer.SetDrawer(false, "test: key d");
  EXPECT_EQ(Receive(till.fd(), 4), (Bytes{0x3C, 0x00, 0x00, 0x00})) << "the key d did not close the drawer";
  till.Close();
  ASSERT_TRUE(printer.WaitForConnections(1, kWaitMs));
  printer.Stop();
  const std::string t = transcript.str();
  EXPECT_TRUE(Has(t, "DLE EOT real-time status request: paper sensor -> answered 7E (paper end)\n")) << t;
  EXPECT_TRUE(Has(t, "GS r   status request: paper sensor -> answered 0F (paper end)\n")) << t;
  EXPECT_TRUE(Has(t, "DLE EOT real-time status request: unknown (n = 07) -> nothing to answer\n")) << t;
  EXPECT_TRUE(Has(t, "#1 automatic status back: 3C 00 00 00 (cover open)\n")) << t;
  EXPECT_TRUE(Has(t, "drawer opened")) << t;
}

}  // namespace

TEST_F(VirtualPrinterRun, AFailedStartLeavesNothingBoundAndAStoppedPrinterStartsAgain) {
  // Someone else holds the reply port: the frame port, bound first, must be
  // let go again, or the printer could never start once the port is free.
  const int squatter = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(squatter, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(printerlink::kReplyPort);
  ASSERT_EQ(::inet_pton(AF_INET, TestAddress().c_str(), &sa.sin_addr), 1);
  ASSERT_EQ(::bind(squatter, reinterpret_cast<const sockaddr*>(&sa), sizeof sa), 0);

  std::ostringstream transcript;
  VirtualPrinter printer(On(TestAddress()), transcript);
  std::string error;
  EXPECT_FALSE(printer.Start(error));
  EXPECT_TRUE(Has(error, ":4000")) << error;
  ::close(squatter);

  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(printer.Start(error)) << "round " << round << ": " << error;
    const Bytes query = {0x1B, 0x76};
    const LinkResult r = ExchangeFrame(library, TestAddress(), query, true, reply);
    EXPECT_EQ(r.received, 3u) << "round " << round << ": the status request goes unanswered";
    printer.Stop();
  }
}

// printertest drawer --check against a drawer that opens, one stuck open (a
// pulse changes nothing) and a printer that never answers DLE EOT.
TEST_F(VirtualPrinterRun, DrawerCheckTellsAnOpeningFromAStuckDrawerAndFromNoReading) {
  const struct {
    const char* fault;
    bool stuckOpen;
    bool silent;
    std::optional<bool> before, after;
  } cases[] = {
      {"an opening drawer is not seen", false, false, true, false},
      {"a drawer open all along is taken for an opening", true, false, false, false},
      {"a printer without a reading is given one", false, true, std::nullopt, std::nullopt},
  };
  int host = 1;
  for (const auto& c : cases) {
    std::ostringstream transcript;
    VirtualPrinterOptions options = On(TestAddress(host++));
    options.flags.drawerOpen = c.stuckOpen;
    options.silent = c.silent;
    VirtualPrinter printer(options, transcript);
    std::string error;
    ASSERT_TRUE(printer.Start(error)) << error;
    const printerlink::DrawerCheck check = printerlink::CheckDrawer({library, options.address});
    EXPECT_EQ(check.pin3Before, c.before) << c.fault;
    EXPECT_EQ(check.pin3After, c.after) << c.fault;
    EXPECT_TRUE(check.pulsed) << c.fault << ": the drawer must open whatever the sensor says";
    EXPECT_TRUE(printer.Flags().drawerOpen) << c.fault;
  }
}
