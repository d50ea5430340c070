// The settings no printer may be given, and the destination no printer has:
// each refused before a byte goes out.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "LoopbackTest.h"
#include "Settings.h"
#include "Transport.h"

using namespace printerlink;

namespace {

TEST(CheckMac, GroupAndZeroMacsWouldStrandThePrinter) {
  struct Case {
    const char* catches;
    MacBytes mac;
    std::optional<SettingProblem> problem;
  };
  constexpr auto kRefused = SettingProblem::MacNotForAStation;
  const Case cases[] = {
      {"the console's default text is a group address", {0x55, 0x44, 0x33, 0x22, 0x11, 0x00}, kRefused},
      {"IPv4 multicast MAC", {0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}, kRefused},
      {"broadcast", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kRefused},
      {"all zeros is no address", {0, 0, 0, 0, 0, 0}, kRefused},
      {"only the lowest bit of the first byte marks a group", {0x00, 0x01, 0, 0, 0, 0}, std::nullopt},
      {"an ordinary vendor MAC", {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, std::nullopt},
      {"a locally administered one is a station's too", {0x02, 0x00, 0x00, 0x00, 0x00, 0x01}, std::nullopt},
      {"high bytes are no group bit", {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckMac(c.mac), c.problem) << c.catches;
}

TEST(ReadMacText, OnlyTwelveHexDigitsAreReadAndEachCaseCounts) {
  struct Case {
    const char* catches;
    std::string text;
    std::optional<SettingProblem> problem;
    MacBytes mac;  // as read, when nothing is wrong
  };
  constexpr auto kLength = SettingProblem::MacNotTwelveDigits;
  const Case cases[] = {
      {"twelve digits", "0011AABBCCDD", std::nullopt, {0x00, 0x11, 0xAA, 0xBB, 0xCC, 0xDD}},
      {"lower case read as zero", "0011aabbccdd", std::nullopt, {0x00, 0x11, 0xAA, 0xBB, 0xCC, 0xDD}},
      {"colons read as digits", "5:@A0F9;<=>?", kLength, {}},
      {"a MAC as its label prints it is no bare text", "00:11:22:33:44:55", kLength, {}},
      {"eleven digits", "00112233445", kLength, {}},
      {"thirteen digits", "0011223344556", kLength, {}},
      {"nothing", "", kLength, {}},
      {"twelve digits, but a group address", "554433221100", SettingProblem::MacNotForAStation, {}},
  };
  for (const Case& c : cases) {
    MacBytes mac{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(ReadMacText(c.text, mac), c.problem) << c.catches;
    const MacBytes expected = c.problem ? MacBytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE} : c.mac;
    EXPECT_EQ(mac, expected) << c.catches << (c.problem ? ": a refused text wrote bytes" : "");
  }
}

TEST(CheckNewAddress, AddressesNoPrinterCanLiveOnAreRefused) {
  struct Case {
    const char* catches;
    Ipv4Octets address;
    int filled;
    std::optional<SettingProblem> problem;
  };
  constexpr auto kBlank = SettingProblem::AddressPartBlank;
  constexpr auto kNone = SettingProblem::AddressNotForAStation;
  const Case cases[] = {
      {"half-typed 192.168.1. sent as 192.168.1.0", {192, 168, 1, 0}, 3, kBlank},
      {"a cleared field sent as 0.0.0.0", {0, 0, 0, 0}, 0, kBlank},
      {"this network, 0.x", {0, 1, 2, 3}, 4, kNone},
      {"the first multicast address", {224, 0, 0, 1}, 4, kNone},
      {"reserved 240 and above", {240, 0, 0, 1}, 4, kNone},
      {"broadcast 255.255.255.255", {255, 255, 255, 255}, 4, kNone},
      {"the last unicast network", {223, 255, 255, 254}, 4, std::nullopt},
      {"an ordinary address", {192, 168, 1, 50}, 4, std::nullopt},
      {"loopback, where the virtual printer answers", {127, 9, 8, 7}, 4, std::nullopt},
      {"a last part of 0 typed out is the technician's choice", {10, 0, 0, 0}, 4, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckNewAddress(c.address, c.filled), c.problem) << c.catches;
}

struct Collector final : ExchangeObserver {
  void OnExchange(const ExchangeRecord& r) override { records.push_back(r); }
  std::vector<ExchangeRecord> records;
};

TEST(ThisNetwork, ADestinationIn0Slash8WouldReachThisMachine) {
  // The library aborts on any connection outside loopback: reaching the end
  // is part of the test.
  LoopbackOnlyLibrary library;
  const Bytes init{0x1B, 0x40};
  ReplyBuffer reply{};
  for (const char* address : {"0.0.0.0", "0.1.2.3", "000.255.255.255"}) {
    SCOPED_TRACE(address);
    Collector log;
    EXPECT_EQ(ExchangeFrame(library, address, init, false, reply, {}, &log).error, LinkError::BadAddress);
    EXPECT_EQ(SendTextJob(library, address, "x", {}, &log).error, LinkError::BadAddress);
    EXPECT_EQ(ProbePrinter(library, address, kReplyPort, 100, &log).error, LinkError::BadAddress);
    const std::string addresses[] = {address};  // a sweep of 0.0.0.x
    EXPECT_EQ(ProbePrinters(library, addresses, kReplyPort, 100, &log).at(0).error, LinkError::BadAddress);
    ASSERT_EQ(log.records.size(), 4u);
    for (int i : {0, 1, 2, 3}) EXPECT_STREQ(OutcomeName(log.records[i].outcome), "bad-address");
    EXPECT_EQ(log.records[3].silent, 0) << "the sweep counted an address it never tried as silent";
  }
  EXPECT_EQ(library.connectCalls, 0);
  EXPECT_EQ(library.opened, library.closed);
}

}  // namespace
