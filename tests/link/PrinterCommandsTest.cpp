// Every printer operation of the command layer against loopback printers
// that listen, refuse, keep silent, hang up or read slowly: the exchanges it
// makes, how each ended, and the bytes on each port. The front ends only
// translate what these return.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <string>

#include "LoopbackTest.h"
#include "PrinterCommands.h"

using namespace printerlink;

namespace {

constexpr std::uint16_t k9100 = kFramePort;
constexpr std::uint16_t k4000 = kReplyPort;

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

Done ReadStatus_(const Printer& p) { return ReadStatus(p).done; }

struct OperationCase {
  const char* fault;  // what goes wrong when this row fails
  std::function<Done(const Printer&)> run;
  PortBehaviour on9100, on4000;
  std::vector<const char*> outcomes;                  // one per exchange, in order
  std::vector<std::pair<std::uint16_t, Bytes>> wire;  // what the printer took, 4000's first
};

TEST(PrinterCommands, EachOperationMakesItsExchangesInOrderAndStopsAtTheFirstFailure) {
  const std::string page(300 * 1024, 'x');  // more than a printer that never reads can buffer
  const Bytes twelve{0x1B, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x0A};
  const OperationCase cases[] = {
      {"test sends something, or probes the wrong port", TestConnection, {}, {}, {"ok"}, {{k4000, {}}}},
      {"test of a refusing port reads as reached", TestConnection, {}, {PortMode::Refuse}, {"refused"}, {}},
      {"status: the query goes to 4000 only once 9100 took a connection",
       ReadStatus_,
       {},
       {PortMode::Answer, {0x20, 0, 0}},
       {"ok", "ok"},
       {{k4000, {0x1B, 0x76}}, {k9100, {}}}},
      {"status of a silent printer is no answer, not fine",
       ReadStatus_,
       {},
       {},
       {"ok", "no-reply"},
       {{k4000, {0x1B, 0x76}}, {k9100, {}}}},
      {"status: a refusing frame port ends the read before the query",
       ReadStatus_,
       {PortMode::Refuse},
       {},
       {"refused"},
       {}},
      {"status: a printer that hangs up has not answered",
       ReadStatus_,
       {},
       {PortMode::AcceptClose},
       {"ok", "closed"},
       {}},
      {"drawer pulse wrong: pin 2, 16 ms on and off",
       OpenDrawer,
       {},
       {},
       {"ok"},
       {{k9100, {0x1B, 0x70, 0x00, 0x08, 0x08}}}},
      {"drawer to a refusing port reported as sent", OpenDrawer, {PortMode::Refuse}, {}, {"refused"}, {}},
      {"init is ESC @ alone", InitPrinter, {PortMode::SlowReader}, {}, {"ok"}, {{k9100, {0x1B, 0x40}}}},
      {"cut: the line on 4000, then feed and cut each on its own connection",
       CutPaper,
       {},
       {},
       {"ok", "ok", "ok"},
       {{k4000, B("Testing the cut")}, {k9100, {0x1B, 0x64, 0x10}}, {k9100, {0x1B, 0x6D}}}},
      {"cut goes on after its line failed", CutPaper, {}, {PortMode::Refuse}, {"refused"}, {}},
      {"cut feeds to a refusing frame port twice",
       CutPaper,
       {PortMode::Refuse},
       {},
       {"ok", "refused"},
       {{k4000, B("Testing the cut")}}},
      {"raw: more than ten bytes cut at the frame's tenth",
       [&](const Printer& p) { return SendRaw(p, twelve); },
       {},
       {},
       {"ok"},
       {{k9100, twelve}}},
      {"set-ip: GS D, the octets, their sum kept to eight bits",
       [](const Printer& p) {
         return SetAddress(p, {192, 168, 1, 100});
       },
       {},
       {},
       {"ok"},
       {{k9100, {0x1D, 0x44, 192, 168, 1, 100, 0xCD}}}},
      {"set-mac: GS E, six bytes, their sum kept to eight bits",
       [](const Printer& p) {
         return SetMac(p, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
       },
       {},
       {},
       {"ok"},
       {{k9100, {0x1D, 0x45, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA}}}},
      {"print: the text's bytes, nothing added",
       [](const Printer& p) { return PrintText(p, "\xB2\xE2\n"); },
       {},
       {},
       {"ok"},
       {{k4000, {0xB2, 0xE2, 0x0A}}}},
      {"print to a printer that stops reading reported as printed",
       [&](const Printer& p) { return PrintText(p, page); },
       {},
       {PortMode::NeverRead},
       {"incomplete"},
       {}},
  };
  int host = 1;
  for (const OperationCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++), c.on9100, c.on4000);
    LoopbackOnlyLibrary library;
    LinkTimings quick;
    quick.sendTimeoutMs = 200;
    quick.replyPollMs = 10;
    const Done done = c.run({library, printer.Address(), quick});
    std::vector<std::string> outcomes;
    for (const ExchangeRecord& r : done.records) outcomes.push_back(OutcomeName(r.outcome));
    EXPECT_EQ(outcomes, std::vector<std::string>(c.outcomes.begin(), c.outcomes.end()));
    EXPECT_EQ(done.ok(), std::all_of(outcomes.begin(), outcomes.end(), [](const auto& o) { return o == "ok"; }));
    if (c.wire.empty()) continue;
    ASSERT_TRUE(printer.WaitForClosedConnections(c.wire.size(), kWaitMs));
    std::vector<std::pair<std::uint16_t, Bytes>> seen;
    for (std::uint16_t port : {k4000, k9100}) {
      for (const auto& connection : printer.ConnectionsOn(port)) seen.emplace_back(port, connection.bytes);
    }
    EXPECT_EQ(seen, c.wire);
  }
}

TEST(PrinterCommands, AStatusReadDecodesWhatArrivedAndNothingElse) {
  struct Case {
    const char* fault;
    PortBehaviour on9100, on4000;
    bool reached, answered;
    ConditionStates conditions;  // on-line, cover, busy, temperature, pause, paper
  };
  const std::optional<bool> unknown;
  const Case cases[] = {
      {"cover open and paper end read from their bytes",
       {},
       {PortMode::Answer, {0x28, 0x10, 0x0C}},
       true,
       true,
       {false, true, true, false, true, true}},
      {"a short answer leaves the later conditions unknown, not fine",
       {},
       {PortMode::Answer, {0x00}},
       true,
       true,
       {false, false, false, unknown, unknown, unknown}},
      {"a silent printer is on-line with nothing read",
       {},
       {},
       true,
       false,
       {false, unknown, unknown, unknown, unknown, unknown}},
      {"a refusing printer is off-line, the rest unknown",
       {PortMode::Refuse},
       {},
       false,
       false,
       {true, unknown, unknown, unknown, unknown, unknown}},
  };
  int host = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++), c.on9100, c.on4000);
    LoopbackOnlyLibrary library;
    LinkTimings quick;
    quick.replyPollMs = 10;
    const StatusRead read = ReadStatus({library, printer.Address(), quick});
    EXPECT_EQ(read.reached, c.reached);
    EXPECT_EQ(read.answered, c.answered);
    EXPECT_EQ(read.conditions, c.conditions);
  }
}

TEST(PrinterCommands, SweepFindsTheListeningHostsInOrder) {
  TestPrinter low(testsupport::TestAddress(3)), high(testsupport::TestAddress(200));
  LoopbackOnlyLibrary library;
  const auto subnet = std::bit_cast<Ipv4Octets>(*ParseDottedQuad(low.Address()));
  const SweepDone sweep = Sweep(library, {subnet[0], subnet[1], subnet[2]}, 300);
  ASSERT_EQ(sweep.addresses.size(), 254u);
  EXPECT_EQ(sweep.record.found, (std::vector<std::string>{low.Address(), high.Address()}));
  EXPECT_TRUE(sweep.answered[2] && sweep.answered[199]);
  EXPECT_EQ(std::count(sweep.answered.begin(), sweep.answered.end(), true), 2);
}

}  // namespace
