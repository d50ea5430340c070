// Every printer operation of the command layer against loopback printers
// that listen, refuse, keep silent, hang up or read slowly: the exchanges it
// makes, how each ended, and the bytes on each port. The front ends only
// translate what these return.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <string>

#include "LoopbackTest.h"
#include "PrinterCommands.h"

using namespace printerlink;

namespace {

constexpr std::uint16_t k9100 = kFramePort;
constexpr std::uint16_t k4000 = kReplyPort;

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

using Wire = std::vector<std::pair<std::uint16_t, Bytes>>;

struct OperationCase {
  std::string fault;  // what goes wrong when this row fails
  Plan plan;
  PortBehaviour on9100, on4000;
  std::vector<const char*> outcomes;  // one per exchange, in order
  Wire wire;                          // what the printer took, 4000's first
};

// The loopback printer's ways to misbehave, by what a printer does.
const PortBehaviour refuses{PortMode::Refuse}, silent{PortMode::Unreachable}, hangsUp{PortMode::AcceptClose},
    slow{PortMode::SlowReader};

constexpr LinkTimings kQuick{.connectTimeoutMs = 200, .sendTimeoutMs = 200, .replyPollMs = 10};

TEST(PrinterCommands, EachOperationMakesItsExchangesInOrderAndStopsAtTheFirstFailure) {
  const std::string page(300 * 1024, 'x');  // more than a printer that never reads can buffer
  std::vector<OperationCase> cases = {
      {"test sends something, or probes the wrong port", TestPlan(), {}, {}, {"ok"}, {{k4000, {}}}},
      {"test of a refusing port reads as reached", TestPlan(), {}, refuses, {"refused"}, {}},
      {"test of a silent port reads as reached", TestPlan(), {}, silent, {"timeout"}, {}},
      {"test: a printer that hangs up at once took the connection", TestPlan(), {}, hangsUp, {"ok"}, {}},
      {"status: the query goes to 4000 only once 9100 took a connection",
       StatusPlan(),
       {},
       {PortMode::Answer, {0x20, 0, 0}},
       {"ok", "ok"},
       {{k4000, {0x1B, 0x76}}, {k9100, {}}}},
      {"status of a silent printer is no answer, not fine",
       StatusPlan(),
       {},
       {},
       {"ok", "no-reply"},
       {{k4000, {0x1B, 0x76}}, {k9100, {}}}},
      {"status: a refusing frame port ends the read before the query", StatusPlan(), refuses, {}, {"refused"}, {}},
      {"status: a printer that hangs up has not answered", StatusPlan(), {}, hangsUp, {"ok", "closed"}, {}},
      {"cut: the line on 4000, then feed and cut each on its own connection",
       CutPlan(),
       {},
       {},
       {"ok", "ok", "ok"},
       {{k4000, B("Testing the cut")}, {k9100, {0x1B, 0x64, 0x10}}, {k9100, {0x1B, 0x6D}}}},
      {"cut goes on after its line failed", CutPlan(), {}, refuses, {"refused"}, {}},
      {"cut feeds to a refusing frame port twice",
       CutPlan(),
       refuses,
       {},
       {"ok", "refused"},
       {{k4000, B("Testing the cut")}}},
      {"print to a printer that stops reading reported as printed",
       PrintPlan(page),
       {},
       {PortMode::NeverRead},
       {"incomplete"},
       {}},
  };
  // The operations of one exchange, each against every kind of printer: its
  // bytes reach the listening one and the slow one whole, and every other
  // ends the way it did.
  const Bytes twelve{0x1B, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x0A};
  const struct {
    const char* fault;
    Plan plan;
    Bytes bytes;
  } single[] = {
      {"drawer pulse wrong: pin 2, 16 ms on and off", DrawerPlan(), {0x1B, 0x70, 0x00, 0x08, 0x08}},
      {"init is ESC @ alone", InitPlan(), {0x1B, 0x40}},
      {"raw: more than ten bytes cut at the frame's tenth", RawPlan(twelve), twelve},
      {"set-ip: GS D, the octets, their sum kept to eight bits",
       SetAddressPlan({192, 168, 1, 100}),
       {0x1D, 0x44, 192, 168, 1, 100, 0xCD}},
      {"set-mac: GS E, six bytes, their sum kept to eight bits",
       SetMacPlan({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
       {0x1D, 0x45, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA}},
      {"print: the text's bytes, nothing added", PrintPlan("\xB2\xE2\n"), {0xB2, 0xE2, 0x0A}},
      {"test page: one line feed after the page, in one job", TestPagePlan("page\n"), B("page\n\n")},
  };
  const struct {
    const char* fault;
    PortBehaviour port;
    const char* outcome;
    bool takes;  // the bytes reach the printer
  } printers[] = {
      {"a listening printer", {}, "ok", true},
      {"sent to a refusing printer", refuses, "refused", false},
      {"sent to a silent printer", silent, "timeout", false},
      {"sent to a printer that hangs up at once", hangsUp, "closed", false},
      {"a slow reader's bytes cut short", slow, "ok", true},
  };
  for (const auto& o : single) {
    for (const auto& p : printers) {
      const std::uint16_t port = o.plan.front().port;
      cases.push_back({std::string(o.fault) + "; " + p.fault,
                       o.plan,
                       port == k9100 ? p.port : PortBehaviour(),
                       port == k4000 ? p.port : PortBehaviour(),
                       {p.outcome},
                       p.takes ? Wire{{port, o.bytes}} : Wire{}});
    }
  }
  int host = 1;
  for (const OperationCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++), c.on9100, c.on4000);
    LoopbackOnlyLibrary library;
    const Done done = printerlink::Run({library, printer.Address(), kQuick}, c.plan);
    std::vector<std::string> outcomes;
    for (const ExchangeRecord& r : done.records) outcomes.push_back(OutcomeName(r.outcome));
    EXPECT_EQ(outcomes, std::vector<std::string>(c.outcomes.begin(), c.outcomes.end()));
    EXPECT_EQ(done.ok(), std::all_of(outcomes.begin(), outcomes.end(), [](const auto& o) { return o == "ok"; }));
    if (c.wire.empty()) continue;
    ASSERT_TRUE(printer.WaitForClosedConnections(c.wire.size(), kWaitMs));
    Wire seen;
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
    const StatusRead read = ReadStatus({library, printer.Address(), kQuick});
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
