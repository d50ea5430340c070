// Which printer is which: GS I answers as they arrive, the question asked on
// the port it is answered on, the neighbour table and the IEEE registry as
// the machine has them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

#include "DrawerCheck.h"
#include "Identity.h"
#include "LoopbackTest.h"

using namespace printerlink;
using namespace std::literals;

namespace {

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

// ---------------------------------------------------------------------------
// A GS I answer is whole only at its NUL, however TCP cut it.

TEST(TextBlock, AnAnswerCutAnywhereIsWholeOnlyAtItsNul) {
  const struct {
    const char* fault;
    Bytes bytes;
    std::size_t end;  // where the answer ends; 0: never whole
    std::optional<std::string> text;
  } cases[] = {
      {"a plain block loses its first or last letter", B("_RP-80\0"sv), 7, "RP-80"},
      {"an automatic status report ahead of the block is taken for text",
       {0x14, 0x00, 0x00, 0x0F, 0x5F, 'S', '9', 0},
       8,
       "S9"},
      {"the blanks a printer pads with stay", B("_ 1.05  \0"sv), 9, "1.05"},
      {"the next answer's bytes are taken into this one", B("_A\0_B\0"sv), 3, "A"},
      {"control bytes pass for a name", {0x5F, 0x01, 0x02, 0x00}, 4, std::nullopt},
      {"an empty block is taken for a name", B("_\0"sv), 2, std::nullopt},
      {"bytes without the header are taken for a block", B("ABC\0"sv), 0, std::nullopt},
  };
  for (const auto& c : cases) {
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
      const std::span<const std::uint8_t> first(c.bytes.data(), cut);
      const std::size_t expected = c.end != 0 && cut >= c.end ? c.end : 0;
      EXPECT_EQ(TextBlockEnd(first), expected) << c.fault << ", cut after " << cut << " bytes";
    }
    const std::size_t whole = c.end == 0 ? c.bytes.size() : c.end;
    EXPECT_EQ(TextBlockText(std::span(c.bytes.data(), whole)), c.text) << c.fault;
  }
}

// ---------------------------------------------------------------------------
// The question on port 9100: how its answer ended.

class Ask : public ::testing::Test {
protected:
  void TearDown() override {
    EXPECT_EQ(library.startups, library.cleanups);
    EXPECT_EQ(library.opened, library.closed);
  }
  LoopbackOnlyLibrary library;
};

TEST_F(Ask, TheAnswerIsReadOnThePortAskedAndEndsAsThePrinterEndedIt) {
  constexpr int kEndByMs = 150;
  const struct {
    const char* fault;
    PortBehaviour on9100;
    ReplyEnd end;
    Outcome outcome;
    Bytes answer;
    int answerWaitMs = 150;
    bool endBy = false;  // the call must end kEndByMs from its start, whatever its own bounds
  } cases[] = {
      {"a whole answer is missed on port 9100",
       {PortMode::Answer, B("_VP-80\0trailing"sv)},
       ReplyEnd::Arrived,
       Outcome::Ok,
       B("_VP-80\0"sv)},
      {"half an answer counts as one",
       {PortMode::Answer, B("_VP-8"sv)},
       ReplyEnd::Silent,
       Outcome::NoReply,
       B("_VP-8"sv)},
      {"a silent printer is waited for without end", {PortMode::Record}, ReplyEnd::Silent, Outcome::NoReply, {}},
      {"a hang-up is taken for silence", {PortMode::AcceptClose}, ReplyEnd::Closed, Outcome::Closed, {}},
      {"the answer's wait runs past the end of the call",
       {PortMode::Record},
       ReplyEnd::Silent,
       Outcome::NoReply,
       {},
       2000,
       true},
      {"the connection's wait runs past the end of the call",
       {PortMode::Unreachable},
       ReplyEnd::NotAsked,
       Outcome::Timeout,
       {},
       2000,
       true},
  };
  int host = 1;
  for (const auto& c : cases) {
    TestPrinter printer(testsupport::TestAddress(host++), c.on9100);
    std::vector<ExchangeRecord> records;
    struct : ExchangeObserver {
      std::vector<ExchangeRecord>* to;
      void OnExchange(const ExchangeRecord& r) override { to->push_back(r); }
    } keep;
    keep.to = &records;
    Bytes answer;
    const Bytes question{0x1D, 0x49, 0x43};
    LinkTimings timings;
    const auto start = std::chrono::steady_clock::now();
    if (c.endBy) timings.endBy = start + std::chrono::milliseconds(kEndByMs);
    const LinkResult r = AskPrinter(library, printer.Address(), kFramePort, question, TextBlockEnd, c.answerWaitMs,
                                    answer, timings, &keep);
    if (c.endBy) {
      EXPECT_LT(std::chrono::steady_clock::now() - start, 600ms) << c.fault;
    }
    // A printer that hangs up at once may do so before the question has gone
    // (the send fails) or after (the wait for the answer ends): closed either way.
    if (c.end == ReplyEnd::Closed) {
      EXPECT_TRUE(r.reply == ReplyEnd::Closed || r.reply == ReplyEnd::NotAsked) << c.fault;
    } else {
      EXPECT_EQ(r.reply, c.end) << c.fault;
    }
    EXPECT_EQ(answer, c.answer) << c.fault;
    ASSERT_EQ(records.size(), 1u) << c.fault;
    EXPECT_EQ(records[0].port, kFramePort) << c.fault;
    EXPECT_EQ(records[0].outcome, c.outcome) << c.fault;
    EXPECT_EQ(records[0].sent, question) << c.fault;
  }
}

TEST_F(Ask, IdentityTellsWhatCameAndAsksNoMoreOfAPrinterThatIsNotThere) {
  const Printer base{library, ""};
  {
    TestPrinter printer(testsupport::TestAddress(1), {PortMode::Answer, B("_P-1\0"sv)});
    Printer p = base;
    p.address = printer.Address();
    const Identity id = ReadIdentity(p);
    EXPECT_TRUE(id.reached);
    for (const auto& f : id.fields) EXPECT_EQ(f, "P-1") << "an answered question left unknown";
    EXPECT_EQ(id.hardware.source, MacSource::Local) << "loopback has no card: nothing to look up";
    ASSERT_EQ(id.done.records.size(), kIdentityFieldCount);
    EXPECT_EQ(id.done.records[0].sent, (Bytes{0x1D, 0x49, 0x44}))
        << "the serial, which the follow-up compares, is not asked first";
  }
  {
    TestPrinter printer(testsupport::TestAddress(2), {PortMode::Record});
    Printer p = base;
    p.address = printer.Address();
    const auto start = std::chrono::steady_clock::now();
    const Identity id = ReadIdentity(p);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kIdentityBudgetMs + 250))
        << "the questions ran past their budget";
    EXPECT_TRUE(id.reached) << "a printer that tells nothing is still there";
    for (const auto& f : id.fields) EXPECT_FALSE(f) << "silence taken for a name";
    // 250, 200 and the 50 ms left: the last question is not asked.
    EXPECT_LT(id.done.records.size(), kIdentityFieldCount) << "every question waited its full time: past the budget";
  }
  {
    TestPrinter printer(testsupport::TestAddress(3), {PortMode::Refuse});
    Printer p = base;
    p.address = printer.Address();
    const Identity id = ReadIdentity(p);
    EXPECT_FALSE(id.reached);
    EXPECT_EQ(id.done.records.size(), 1u) << "a refused printer was asked again";
    EXPECT_EQ(id.done.Deciding().outcome, Outcome::Refused);
  }
}

// ---------------------------------------------------------------------------
// The neighbour table and the registry as the machine has them.

// The MACs of IANA's block: its documentation range 00:00:5E:00:53:xx, and
// others of the block, whose holder the sample names as the registry does.
constexpr char kArp[] =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.1.10     0x1         0x2         00:00:5e:00:01:0a     *        eth0\n"
    "192.168.1.11     0x1         0x0         00:00:00:00:00:00     *        eth0\n"
    "192.168.1.12     0x1         0x2         02:11:22:33:44:55     *        wlan0\n"
    "192.168.1.13     0x1         0x2         00:00:5e:00:53:23     *        eth0\n"
    "192.168.1.14     0x1         0x6         00:00:5E:00:01:0B     *        eth0\n"
    "192.168.1.15     0x1         0x2         00:99:99:00:00:01     *        eth0\n"
    "garbage line\n"
    "192.168.1.16     0x1         0x2         00:00:5e:00:53        *        eth0\n";

// The registry's CSV format, with the quoting its real files use. The MA-S
// block is made up: the documentation range is assigned to no maker.
constexpr char kOui[] =
    "Registry,Assignment,Organization Name,Organization Address\r\n"
    "MA-L,00005E,\"ICANN, IANA Department\",\"Los Angeles CA US 90094 \"\r\n";
constexpr char kOui36[] =
    "Registry,Assignment,Organization Name,Organization Address\r\n"
    "MA-S,00005E005,Example Small Block,Documentation Range 1 \r\n";

TEST(NeighbourTable, OnlyEntriesWithAKnownMacAreRead) {
  const auto entries = ParseNeighbourTable(kArp);
  std::vector<std::string> addresses;
  for (const auto& e : entries) addresses.push_back(e.address);
  // .11 is still waiting for an answer, .16's MAC is cut short, the heading and garbage are no entries.
  EXPECT_EQ(addresses,
            (std::vector<std::string>{"192.168.1.10", "192.168.1.12", "192.168.1.13", "192.168.1.14", "192.168.1.15"}));
  EXPECT_EQ(entries[0].mac, (MacBytes{0x00, 0x00, 0x5E, 0x00, 0x01, 0x0A}));
  EXPECT_EQ(entries[1].device, "wlan0");
}

class Tables : public ::testing::Test {
protected:
  void SetUp() override {
    dir = ::testing::TempDir() + "/identity-" + std::to_string(getpid());
    std::filesystem::create_directories(dir + "/ieee");
    std::ofstream(dir + "/arp") << kArp;
    std::ofstream(dir + "/ieee/oui.csv") << kOui;
    std::ofstream(dir + "/ieee/oui36.csv") << kOui36;
    tables = {dir + "/arp", dir + "/ieee"};
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string dir;
  LocalTables tables;
};

TEST_F(Tables, EachAddressGetsItsMacAndTheVendorOfItsLongestAssignment) {
  const struct {
    const char* fault;
    std::string address;
    MacSource source;
    std::string vendor;
  } cases[] = {
      {"a quoted name with a comma is cut at the comma", "192.168.1.10", MacSource::Neighbour,
       "ICANN, IANA Department"},
      {"a locally administered MAC is looked up", "192.168.1.12", MacSource::Neighbour, kLocallyAdministered},
      {"the MA-L block's holder is named for a MA-S block", "192.168.1.13", MacSource::Neighbour,
       "Example Small Block"},
      {"upper-case digits of the table miss the registry", "192.168.1.14", MacSource::Neighbour,
       "ICANN, IANA Department"},
      {"a MAC the registry lacks gets a vendor anyway", "192.168.1.15", MacSource::Neighbour, kUnregistered},
      {"an entry still waiting is taken for a MAC", "192.168.1.11", MacSource::Routed, ""},
      {"a printer behind a router gets the router's MAC", "10.1.2.3", MacSource::Routed, ""},
      {"this machine's own address is called routed", "127.0.0.1", MacSource::Local, ""},
  };
  std::vector<std::string> addresses;
  for (const auto& c : cases) addresses.push_back(c.address);
  const auto found = HardwareOf(addresses, tables);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(found[i].source, cases[i].source) << cases[i].fault;
    EXPECT_EQ(found[i].vendor, cases[i].vendor) << cases[i].fault;
  }
  EXPECT_EQ(MacText(found[0].mac), "00:00:5E:00:01:0A");
}

TEST_F(Tables, MissingTablesSayWhatIsMissing) {
  LocalTables none{dir + "/no-arp", dir + "/no-ieee"};
  EXPECT_EQ(HardwareOf({"192.168.1.10"}, none)[0].source, MacSource::NoTable) << "an unreadable table is no router";
  none.neighbourTable = tables.neighbourTable;
  EXPECT_EQ(HardwareOf({"192.168.1.10"}, none)[0].vendor, kNoRegistry) << "no registry passed for an unknown card";
}

// ---------------------------------------------------------------------------
// One printer or two.

TEST(SamePrinter, TheSerialDecidesThenTheMac) {
  const auto id = [](std::optional<std::string> serial, std::optional<std::uint8_t> macLast) {
    Identity i;
    i.fields[static_cast<std::size_t>(IdentityField::Serial)] = std::move(serial);
    if (macLast) i.hardware = {MacSource::Neighbour, {0, 1, 2, 3, 4, *macLast}, ""};
    return i;
  };
  const struct {
    const char* fault;
    Identity before, after;
    Sameness same;
  } cases[] = {
      {"the same serial is called a clash", id("S1", 1), id("S1", 2), Sameness::Same},
      {"another serial behind the same card passes", id("S1", 1), id("S2", 1), Sameness::Other},
      {"the MAC is ignored without a serial", id(std::nullopt, 1), id("S1", 1), Sameness::Same},
      {"another MAC without serials passes", id(std::nullopt, 1), id(std::nullopt, 2), Sameness::Other},
      {"nothing to compare is called the same", id("S1", std::nullopt), id(std::nullopt, 1), Sameness::CannotTell},
  };
  for (const auto& c : cases) EXPECT_EQ(Compare(c.before, c.after), c.same) << c.fault;
}

// ---------------------------------------------------------------------------
// The drawer sensor's byte.

TEST(DrawerSensor, Pin3IsBit2OfAByteWithTheFixedBits) {
  const struct {
    const char* fault;
    Bytes answer;
    std::optional<bool> high;
  } cases[] = {
      {"pin 3 high read as low", {0x16}, true},
      {"pin 3 low read as high", {0x12}, false},
      {"an offline printer's byte is taken for no reading", {0x1E}, true},
      {"a byte without the fixed bits is taken for a reading", {0x04}, std::nullopt},
      {"another answer's first byte is taken for a reading", {0x16, 0x00}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(DrawerPin3High(c.answer), c.high) << c.fault;
}

}  // namespace
