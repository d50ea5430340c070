#include <gtest/gtest.h>

#include <cerrno>
#include <arpa/inet.h>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "Frames.h"
#include "LoopbackTest.h"
#include "Transport.h"

using namespace printerlink;
using testsupport::Connection;
using testsupport::LoopbackAddressFor;

namespace {

// Short bounds for tests that drive a call into its time-outs.
constexpr LinkTimings kQuick{.connectTimeoutMs = 300, .sendTimeoutMs = 50, .replyPollMs = 20};

class Transport : public ::testing::Test {
protected:
  // Every test has its own /24 inside loopback, so the real ports are free.
  std::string Address(int host = 1) const { return testsupport::TestAddress(host); }

  // Whatever a call did, it released what it acquired.
  void TearDown() override {
    EXPECT_EQ(library.startups, library.cleanups) << "a start-up was not released exactly once";
    EXPECT_EQ(library.opened, library.closed) << "a socket was left open";
  }

  LoopbackOnlyLibrary library;
  ReplyBuffer reply{};
};

Bytes Span(const CommandFrame& frame, std::size_t length) { return Bytes(frame.begin(), frame.begin() + length); }

TEST_F(Transport, EachFrameReachesItsPortExactlyOnAConnectionOfItsOwn) {
  TestPrinter printer(Address(), {}, {PortMode::Answer, {0x00, 0x00, 0x00}});
  CommandFrame frame;
  frame.fill(0xEE);

  struct Sent {
    Bytes bytes;
    std::uint16_t port;
  };
  std::vector<Sent> expected;
  auto send = [&](std::size_t length, bool expectReply) {
    const LinkResult r = ExchangeFrame(library, printer.Address(), std::span(frame.data(), length), expectReply, reply);
    EXPECT_TRUE(r.ok()) << static_cast<int>(r.error) << " errno " << r.sysError;
    EXPECT_EQ(r.sent, length);
    expected.push_back({Span(frame, length), expectReply ? kReplyPort : kFramePort});
  };
  send(BuildSetMacFrame(frame, {0x55, 0x44, 0x33, 0x22, 0x11, 0x00}), false);
  send(BuildStatusQueryFrame(frame), true);  // leftovers of the MAC frame stay behind
  send(BuildInitFrame(frame), false);
  send(BuildDrawerFrame(frame), false);
  send(BuildSetIpFrame(frame, {255, 255, 255, 255}), false);
  send(BuildInitFrame(frame), false);  // the same frame twice: two connections

  ASSERT_TRUE(printer.WaitForClosedConnections(expected.size(), kWaitMs));
  const std::vector<Connection> seen = printer.Connections();
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].port, expected[i].port) << "frame " << i;
    EXPECT_EQ(seen[i].bytes, expected[i].bytes) << "frame " << i;
  }
  EXPECT_EQ(seen[1].bytes, (Bytes{0x1B, 0x76})) << "the status query carried the MAC frame's leftovers";
}

struct ReplyCase {
  std::string catches;
  PortBehaviour printer;
  Bytes expectedReply;  // the whole buffer afterwards
  std::size_t received;
  int receives;  // receive calls the exchange made
};

TEST_F(Transport, ReplyLandsFromIndexZeroAndOnlyWhatArrives) {
  const Bytes fifteen = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  const Bytes untouched(kFrameSize, 0xEE);
  const std::vector<ReplyCase> cases = {
      {"three status bytes, the rest keep their content",
       {PortMode::Answer, {0x28, 0x20, 0x0C}},
       {0x28, 0x20, 0x0C, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE},
       3,
       1},
      {"one byte", {PortMode::Answer, {0x08}}, {0x08, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 1, 1},
      {"fifteen bytes ready: only ten read", {PortMode::Answer, fifteen}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 10, 1},
      {"printer never answers: eleven receives, then give up", {PortMode::Record}, untouched, 0, 11},
  };
  int host = 1;
  for (const ReplyCase& c : cases) {
    TestPrinter printer(Address(host++), {}, c.printer);
    reply.fill(0xEE);
    const int receivesBefore = library.receiveCalls;
    const LinkResult r = ExchangeFrame(library, printer.Address(), Bytes{0x1B, 0x76}, true, reply, kQuick);
    EXPECT_TRUE(r.ok()) << c.catches;
    EXPECT_EQ(r.received, c.received) << c.catches;
    EXPECT_EQ(Bytes(reply.begin(), reply.end()), c.expectedReply) << c.catches;
    EXPECT_EQ(library.receiveCalls - receivesBefore, c.receives) << c.catches;
  }
}

// Taken as it arrives, a reply is never held back by the console's pauses:
// the wait is on the socket, and a silent printer still ends within the bound.
TEST_F(Transport, ReplyTakenAsItArrivesWaitsOnTheSocketNotTheSchedule) {
  struct Case {
    const char* fault;
    ReplyWait wait;
    PortBehaviour printer;
    std::size_t received;
    ReplyEnd end;
    int sleeps, receives;
  };
  const Case cases[] = {
      {"the console's schedule changed",
       ReplyWait::Polled,
       {PortMode::Answer, {0x20, 0, 0}},
       3,
       ReplyEnd::Arrived,
       1,
       1},
      {"an answer waited for a pause",
       ReplyWait::AsItArrives,
       {PortMode::Answer, {0x20, 0, 0}},
       3,
       ReplyEnd::Arrived,
       0,
       1},
      {"a silent printer held the wait past its bound or polled on",
       ReplyWait::AsItArrives,
       {PortMode::Record},
       0,
       ReplyEnd::Silent,
       0,
       0},
  };
  int host = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(Address(host++), {}, c.printer);
    LinkTimings timings = kQuick;
    timings.replyWait = c.wait;
    const int sleeps = library.sleeps;
    const int receives = library.receiveCalls;
    const LinkResult r = ExchangeFrame(library, printer.Address(), Bytes{0x1B, 0x76}, true, reply, timings);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.received, c.received);
    EXPECT_EQ(r.reply, c.end);
    EXPECT_EQ(library.sleeps - sleeps, c.sleeps);
    EXPECT_EQ(library.receiveCalls - receives, c.receives);
  }
}

TEST_F(Transport, PartialSendsGoOnFromWhereThePrinterStopped) {
  TestPrinter printer(Address());
  CommandFrame frame;
  const std::size_t length = BuildSetIpFrame(frame, {192, 168, 1, 100});
  library.maxSendChunk = 2;
  library.failingSends = 9;  // one short of the budget: still delivered

  const LinkResult r = ExchangeFrame(library, printer.Address(), std::span(frame.data(), length), false, reply);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(library.sendOffsets, (std::vector<std::size_t>{0, 2, 4, 6}));
  ASSERT_TRUE(printer.WaitForClosedConnections(1, kWaitMs));
  EXPECT_EQ(printer.Connections().at(0).bytes, Span(frame, length));
}

TEST_F(Transport, TenFailedSendsAreAFailureNotASuccess) {
  TestPrinter printer(Address());
  library.failingSends = 10;
  const LinkResult r = ExchangeFrame(library, printer.Address(), Bytes{0x1B, 0x40}, false, reply);
  EXPECT_EQ(r.error, LinkError::SendIncomplete);
  EXPECT_EQ(r.sent, 0u);
  EXPECT_EQ(library.sendCalls, 10);
}

TEST_F(Transport, NoConnectionMeansNothingSentNothingReceived) {
  // Nothing listens at this address: every port refuses.
  const LinkResult frame = ExchangeFrame(library, Address(), Bytes{0x1B, 0x76}, true, reply);
  EXPECT_EQ(frame.error, LinkError::ConnectFailed);
  EXPECT_EQ(frame.sysError, ECONNREFUSED);
  const LinkResult text = SendTextJob(library, Address(), "Testing the cut");
  EXPECT_EQ(text.error, LinkError::ConnectFailed);
  EXPECT_EQ(library.sendCalls, 0);
  EXPECT_EQ(library.receiveCalls, 0);
}

TEST_F(Transport, UnreachablePrinterGivesUpWithinTheConnectBound) {
  TestPrinter printer(Address(), {PortMode::Unreachable}, {PortMode::Unreachable});
  EXPECT_EQ(ExchangeFrame(library, printer.Address(), Bytes{0x1B, 0x40}, false, reply, kQuick).error,
            LinkError::ConnectTimedOut);
  EXPECT_EQ(SendTextJob(library, printer.Address(), "x", kQuick).error, LinkError::ConnectTimedOut);
  EXPECT_EQ(ProbePrinter(library, printer.Address(), kReplyPort, 100).error, LinkError::ConnectTimedOut);
  EXPECT_EQ(library.sendCalls, 0);
}

TEST_F(Transport, LibraryThatWillNotStartOrGrantsAnotherVersionOpensNothing) {
  struct Case {
    std::string catches;
    int startupError;
    std::optional<SocketVersion> grant;
    LinkError expected;
  };
  const std::vector<Case> cases = {
      {"library refuses to start", 10091, std::nullopt, LinkError::LibraryNotStarted},
      {"library grants 2.2", 0, SocketVersion{2, 2}, LinkError::WrongVersion},
      {"library grants 1.0", 0, SocketVersion{1, 0}, LinkError::WrongVersion},
  };
  TestPrinter printer(Address());
  for (const Case& c : cases) {
    library.startupError = c.startupError;
    library.grant = c.grant;
    EXPECT_EQ(ExchangeFrame(library, printer.Address(), Bytes{0x1B, 0x40}, false, reply).error, c.expected)
        << c.catches;
    EXPECT_EQ(SendTextJob(library, printer.Address(), "text").error, c.expected) << c.catches;
    EXPECT_EQ(ProbePrinter(library, printer.Address(), kReplyPort).error, c.expected) << c.catches;
    const std::string two[] = {printer.Address(), printer.Address()};
    for (const LinkResult& r : ProbePrinters(library, two, kReplyPort, 100))
      EXPECT_EQ(r.error, c.expected) << c.catches;
  }
  EXPECT_EQ(library.opened, 0) << "a socket was created without a started library";
  EXPECT_EQ(library.cleanups, 4 * 2) << "each granted-but-wrong start-up is released once";
  EXPECT_EQ(printer.AcceptedCount(), 0u);
}

TEST_F(Transport, TextJobGoesToPort4000AsItsBytes) {
  TestPrinter printer(Address());
  const std::string gbkLine = "\xB2\xE2\xCA\xD4\xD2\xB3\n";  // GBK bytes, sent unconverted
  EXPECT_TRUE(SendTextJob(library, printer.Address(), gbkLine).ok());
  EXPECT_TRUE(SendTextJob(library, printer.Address(), "").ok()) << "an empty job still connects";
  ASSERT_TRUE(printer.WaitForClosedConnections(2, kWaitMs));
  const auto seen = printer.ConnectionsOn(kTextJobPort);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].bytes, Bytes(gbkLine.begin(), gbkLine.end()));
  EXPECT_TRUE(seen[1].bytes.empty()) << "an empty job put bytes on the wire";
  EXPECT_TRUE(printer.ConnectionsOn(kFramePort).empty());
}

TEST_F(Transport, PrinterThatStopsReadingCannotHoldTheTextJob) {
  TestPrinter printer(Address(), {}, {PortMode::NeverRead});
  const std::string big(8 << 20, 'A');
  const LinkResult r = SendTextJob(library, printer.Address(), big, kQuick);
  EXPECT_EQ(r.error, LinkError::SendIncomplete);
  EXPECT_LT(r.sent, big.size());
  EXPECT_GT(r.sent, 0u) << "the bytes the printer did take are counted";
}

TEST_F(Transport, SendToAPrinterThatHungUpIsAFailureNotTheEndOfTheProcess) {
  TestPrinter printer(Address(), {}, {PortMode::AcceptClose});
  library.maxSendChunk = 4096;  // many sends: the later ones meet the reset connection
  const std::string big(4 << 20, 'A');
  const LinkResult r = SendTextJob(library, printer.Address(), big, kQuick);
  // Reaching this line at all is the point: no SIGPIPE ended the test.
  EXPECT_EQ(r.error, LinkError::PeerClosed);
  EXPECT_TRUE(r.sysError == EPIPE || r.sysError == ECONNRESET) << r.sysError;
}

// Every byte acknowledged is not every byte read: how the printer ends its
// side afterwards decides whether a frame or a text job was delivered.
TEST_F(Transport, PrintersSideAfterTheLastByteDecidesDelivery) {
  struct Case {
    const char* catches;
    PortBehaviour printer;
    LinkTimings timings;
    LinkError error;
    int sysError;
    bool peerOpen;
    bool read;  // the printer read the bytes
  };
  const Case cases[] = {
      {"acknowledged, then reset with the bytes unread, reported as delivered",
       {PortMode::Discard, {}, 200},
       {},
       LinkError::PeerClosed,
       ECONNRESET,
       false,
       false},
      {"a printer that reads and closes reported as failed or as still open",
       {PortMode::Record},
       {},
       LinkError::None,
       0,
       false,
       true},
      {"a printer that keeps its side open past the bound reported as failed, or waited for without end",
       {PortMode::HoldOpen, {}, 60000},
       kQuick,
       LinkError::None,
       0,
       true,
       true},
  };
  const std::string text = "Testing the cut";
  const Bytes drawer = {0x1B, 0x70, 0x00, 0x08, 0x08};
  int host = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.catches);
    TestPrinter printer(Address(host++), c.printer, c.printer);
    const LinkResult results[] = {ExchangeFrame(library, printer.Address(), drawer, false, reply, c.timings),
                                  SendTextJob(library, printer.Address(), text, c.timings)};
    const std::size_t sizes[] = {drawer.size(), text.size()};
    for (std::size_t i = 0; i < 2; ++i) {
      SCOPED_TRACE(i == 0 ? "frame" : "text job");
      EXPECT_EQ(results[i].error, c.error);
      EXPECT_EQ(results[i].sysError, c.sysError);
      EXPECT_EQ(results[i].sent, sizes[i]) << "every byte was acknowledged";
      EXPECT_EQ(results[i].peerOpen, c.peerOpen);
    }
    const Bytes textBytes(text.begin(), text.end());
    EXPECT_EQ(printer.WaitUntil(
                  [&](const std::vector<Connection>& seen) {
                    return seen.size() == 2 && seen[0].bytes == drawer && seen[1].bytes == textBytes;
                  },
                  c.read ? kWaitMs : 0),
              c.read);
  }
}

TEST_F(Transport, ProbeTellsListeningFromRefusedFromSilentAndSendsNothing) {
  TestPrinter listening(Address(1));
  TestPrinter silent(Address(3), {PortMode::Unreachable}, {PortMode::Unreachable});
  EXPECT_TRUE(ProbePrinter(library, listening.Address(), kReplyPort).ok());
  EXPECT_TRUE(ProbePrinter(library, listening.Address(), kFramePort).ok());

  const LinkResult refused = ProbePrinter(library, Address(2), kReplyPort);
  EXPECT_EQ(refused.error, LinkError::ConnectFailed) << "a refused connection is never success";
  EXPECT_EQ(refused.sysError, ECONNREFUSED);
  EXPECT_EQ(ProbePrinter(library, silent.Address(), kReplyPort, 100).error, LinkError::ConnectTimedOut);
  EXPECT_EQ(ProbePrinter(library, "192.168.1", kReplyPort).error, LinkError::BadAddress);

  ASSERT_TRUE(listening.WaitForClosedConnections(2, kWaitMs));
  for (const Connection& c : listening.Connections()) EXPECT_TRUE(c.bytes.empty()) << "a probe sent bytes";
  EXPECT_EQ(library.sendCalls, 0);
}

TEST_F(Transport, ConcurrentProbeDecidesEveryAddressInTheCallersOrder) {
  TestPrinter first(Address(10));
  TestPrinter unreachable(Address(20), {PortMode::Unreachable}, {PortMode::Unreachable});
  TestPrinter last(Address(254));
  std::vector<std::string> addresses;
  for (int host = 1; host <= 254; ++host) addresses.push_back(Address(host));
  addresses.push_back("not an address");

  const std::vector<LinkResult> results = ProbePrinters(library, addresses, kReplyPort, 300);
  ASSERT_EQ(results.size(), addresses.size());
  for (int host = 1; host <= 254; ++host) {
    const LinkResult& r = results[host - 1];
    if (host == 10 || host == 254) {
      EXPECT_TRUE(r.ok()) << "host " << host;
    } else if (host == 20) {
      EXPECT_EQ(r.error, LinkError::ConnectTimedOut);
    } else {
      EXPECT_EQ(r.error, LinkError::ConnectFailed) << "host " << host;
    }
  }
  EXPECT_EQ(results.back().error, LinkError::BadAddress);
}

TEST(SocketHolder, EverySocketIsClosedExactlyOnceWhateverItsOwnerDoes) {
  struct Case {
    const char* catches;
    std::function<void(LoopbackOnlyLibrary&)> run;
    int opened;
  };
  const Case cases[] = {
      {"a move-assigned holder leaking the socket it held",
       [](LoopbackOnlyLibrary& l) {
         SocketHolder a(l), b(l);
         a = std::move(b);
         EXPECT_EQ(l.closed, 1);
       },
       2},
      {"a socket closed twice after a move and a reset",
       [](LoopbackOnlyLibrary& l) {
         SocketHolder a(l);
         SocketHolder b(std::move(a));
         b.reset();
         EXPECT_FALSE(b.valid());
         a.reset();
       },
       1},
      {"self-assignment closing the socket in use",
       [](LoopbackOnlyLibrary& l) {
         SocketHolder a(l);
         SocketHolder& same = a;
         a = std::move(same);
         EXPECT_TRUE(a.valid());
         EXPECT_EQ(l.closed, 0);
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.catches);
    LoopbackOnlyLibrary library;
    c.run(library);
    EXPECT_EQ(library.opened, c.opened);
    EXPECT_EQ(library.closed, c.opened) << "every socket opened is closed once the holders are gone";
  }
}

TEST(DottedQuad, OnlyFourDecimalOctetsAreAnAddress) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"192.168.1.10", true}, {"0.0.0.0", true},    {"255.255.255.255", true}, {"127.001.002.003", true},
      {"192.168.1", false},   {"256.1.1.1", false}, {"1.2.3.4.5", false},      {" 1.2.3.4", false},
      {"1.2.3.4 ", false},    {"", false},          {"1..2.3", false},         {"1.2.3.1000", false},
      {"printer", false},     {"-1.2.3.4", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDottedQuad(c.text).has_value(), c.valid) << c.text;
  EXPECT_EQ(ParseDottedQuad("192.168.1.10"), htonl(0xC0A8010A));
}

TEST(LoopbackGuard, AConnectionOutsideLoopbackStopsTheTest) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  LoopbackOnlyLibrary library;
  ReplyBuffer reply{};
  // The library aborts before the connect: nothing leaves the machine.
  EXPECT_DEATH(ExchangeFrame(library, "192.168.1.10", Bytes{0x1B, 0x40}, false, reply), "outside 127.0.0.0/8");
}

}  // namespace
