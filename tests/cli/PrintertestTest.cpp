// printertest run as a program against loopback printers: the bytes and port
// of every command, its exit status, its JSON, and that bad input sends nothing.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "CliInput.h"
#include "RunProgram.h"
#include "TestAddress.h"
#include "TestPrinter.h"

using clitest::Describe;
using clitest::Finished;
using clitest::Printertest;
using clitest::Program;
using testsupport::Connection;
using testsupport::PortBehaviour;
using testsupport::PortMode;
using testsupport::TestPrinter;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint16_t k9100 = 9100;
constexpr std::uint16_t k4000 = 4000;

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

// The connections the printer saw, once each has ended, as (port, bytes):
// those on 4000 first, then those on 9100, each port's in their order. (The
// two ports' listeners may number connections of one instant either way.)
std::vector<std::pair<std::uint16_t, Bytes>> Seen(const TestPrinter& printer, std::size_t expected) {
  printer.WaitForClosedConnections(expected, 5000);
  std::vector<std::pair<std::uint16_t, Bytes>> seen;
  for (std::uint16_t port : {k4000, k9100}) {
    for (const Connection& c : printer.ConnectionsOn(port)) seen.emplace_back(c.port, c.bytes);
  }
  return seen;
}

std::string TempFile(const std::string& name, const std::string& content) {
  const std::string path = ::testing::TempDir() + "/printertest-" + std::to_string(getpid()) + "-" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

// Runs printertest for the printer at `address`, given by PRINTERTEST_PRINTER
// unless `env` names another; "{printer}" in `args` stands for the address.
Finished ForPrinter(const std::string& address, std::vector<std::string> args,
                    std::map<std::string, std::string> env = {}, const std::string& input = {}) {
  for (std::string& a : args) {
    if (a == "{printer}") a = address;
  }
  env.emplace("PRINTERTEST_PRINTER", address);
  return Printertest(args, env, input);
}

// ---------------------------------------------------------------------------
// Each command turns what it was given into the console's bytes; the
// operations' own exchanges are the command layer's tests.

struct WireCase {
  const char* fault;  // what goes wrong when this row fails
  std::vector<std::string> args;
  std::string input;
  std::vector<std::pair<std::uint16_t, Bytes>> wire;
};

TEST(PrintertestWire, EachCommandSendsTheConsolesBytesOnItsPort) {
  const std::string chineseUtf8 = "\xE6\xB5\x8B\xE8\xAF\x95 OK\r\n\xE4\xBD\xA0\xE5\xA5\xBD\n";  // 测试 OK\r\n你好\n
  const Bytes chineseGbk = B("\xB2\xE2\xCA\xD4 OK\r\n\xC4\xE3\xBA\xC3\n");
  const std::string file = TempFile("receipt.txt", chineseUtf8);
  const std::string withMark = TempFile("bom.txt", "\xEF\xBB\xBFok\n");
  const WireCase cases[] = {
      {"a command not wired to its operation", {"drawer"}, "", {{k9100, {0x1B, 0x70, 0x00, 0x08, 0x08}}}},
      {"hex: upper and lower case, one and two digits, blanks around pieces",
       {"hex", "1B, 64,a"},
       "",
       {{k9100, {0x1B, 0x64, 0x0A}}}},
      {"hex: more than ten values go whole, none dropped at the frame's tenth byte",
       {"hex", "1B,40,41,42,43,44,45,46,47,48,49,0A"},
       "",
       {{k9100, {0x1B, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x0A}}}},
      {"set-mac with colons: GS E, six bytes, their sum",
       {"set-mac", "00:12:ab:34:CD:56"},
       "",
       {{k9100, {0x1D, 0x45, 0x00, 0x12, 0xAB, 0x34, 0xCD, 0x56, 0x14}}}},
      {"set-mac bare",
       {"set-mac", "0012AB34CD56"},
       "",
       {{k9100, {0x1D, 0x45, 0x00, 0x12, 0xAB, 0x34, 0xCD, 0x56, 0x14}}}},
      {"set-mac with dashes, the sum kept to eight bits",
       {"set-mac", "FE-FF-FF-FF-FF-FF"},
       "",
       {{k9100, {0x1D, 0x45, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF9}}}},
      {"set-ip: GS D, the four octets, their sum kept to eight bits",
       {"set-ip", "192.168.1.100"},
       "",
       {{k9100, {0x1D, 0x44, 192, 168, 1, 100, 0xCD}}}},
      {"print -: Chinese from standard input as GBK, CR LF kept, nothing added",
       {"print", "-"},
       chineseUtf8,
       {{k4000, chineseGbk}}},
      {"print FILE: the same bytes from a file", {"print", file}, "", {{k4000, chineseGbk}}},
      {"print: a byte-order mark is no character", {"print", withMark}, "", {{k4000, B("ok\n")}}},
      {"test: a connection to 4000 opened and closed, nothing sent", {"test"}, "", {{k4000, {}}}},
      {"--printer wins over PRINTERTEST_PRINTER", {"--printer", "{printer}", "init"}, "", {{k9100, {0x1B, 0x40}}}},
  };
  int host = 1;
  for (const WireCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++));
    const Finished f = ForPrinter(printer.Address(), c.args, {}, c.input);
    EXPECT_EQ(f.exit, 0) << Describe(f);
    EXPECT_EQ(Seen(printer, c.wire.size()), c.wire);
  }
  std::remove(file.c_str());
  std::remove(withMark.c_str());
}

TEST(PrintertestWire, TestPageHasItsTimeLineAndThePrintLineFeed) {
  TestPrinter printer(testsupport::TestAddress());
  const Finished f = ForPrinter(printer.Address(), {"print"});
  ASSERT_EQ(f.exit, 0) << Describe(f);
  const auto seen = Seen(printer, 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, k4000);
  const std::string page(seen[0].second.begin(), seen[0].second.end());
  EXPECT_TRUE(page.starts_with("\xCA\xB1\xBC\xE4:")) << "the GBK time line comes first";
  EXPECT_TRUE(page.ends_with("\nBrenholt\n\n\n")) << "the page's own blank line and the one Print adds";
}

// ---------------------------------------------------------------------------
// Bad input: one line on standard error, exit 2, and nothing on the wire.

struct RefusedCase {
  const char* fault;
  std::vector<std::string> args;
  std::string input;
  std::string mentions;  // the error line names what was wrong
  std::map<std::string, std::string> env = {};
};

TEST(PrintertestRefuses, BadInputSendsNothingAndExitsTwo) {
  const std::string hangul = TempFile("hangul.txt", "ok\nprice 5\xED\x95\x9C\n");  // a Hangul syllable on line 2
  const std::string latin1 = TempFile("latin1.txt", "caf\xE9\n");
  const std::string markOnly = TempFile("mark-only.txt", "\xEF\xBB\xBF");
  const RefusedCase cases[] = {
      {"hex: a piece that is no hex byte would be sent as 00", {"hex", "1B,ZZ,10"}, "", "\"ZZ\""},
      {"hex: three digits would lose the top one", {"hex", "100"}, "", "\"100\""},
      {"hex: an empty piece would be sent as 00", {"hex", "1B,,10"}, "", "\"\""},
      {"hex: no list at all", {"hex"}, "", "LIST"},
      {"set-mac: eleven digits", {"set-mac", "0012AB34CD5"}, "", "0012AB34CD5"},
      {"set-mac: separators mixed", {"set-mac", "00:12-AB:34:CD:56"}, "", "00:12-AB:34:CD:56"},
      {"set-mac: a letter beyond F", {"set-mac", "0012AB34CD5G"}, "", "0012AB34CD5G"},
      {"set-mac: a group address, the console's default", {"set-mac", "55:44:33:22:11:00"}, "", "multicast"},
      {"set-mac: all zeros", {"set-mac", "000000000000"}, "", "all zeros"},
      {"set-mac: the refusal in Chinese", {"set-mac", "01005E000001"}, "", "组播", {{"LANG", "zh_CN.UTF-8"}}},
      {"set-ip: this network", {"set-ip", "0.1.2.3"}, "", "1 to 223"},
      {"set-ip: broadcast", {"set-ip", "255.255.255.255"}, "", "1 to 223"},
      {"set-ip: not a dotted quad", {"set-ip", "192.168.1"}, "", "192.168.1"},
      {"set-ip: an octet above 255", {"set-ip", "10.0.0.256"}, "", "10.0.0.256"},
      {"set-ip to the current address, as the console refuses it", {"set-ip", "{printer}"}, "", "The Current IP is"},
      {"sweep: not three octets", {"sweep", "10.0"}, "", "10.0"},
      {"unknown command", {"feed"}, "", "\"feed\""},
      {"no command", {}, "", "no command given"},
      {"file that cannot be read", {"print", "/nonexistent/receipt.txt"}, "", "/nonexistent/receipt.txt"},
      {"text GBK cannot carry: named with line and column", {"print", hangul}, "", "line 2, column 8"},
      {"bytes that are no UTF-8", {"print", latin1}, "", "line 1, column 4"},
      {"empty standard input: nothing to print", {"print", "-"}, "", "empty"},
      {"a byte-order mark alone sent as an empty job", {"print", markOnly}, "", "empty"},
      {"--watch below one second", {"status", "--watch", "0"}, "", "--watch"},
      {"--printer that is no dotted quad", {"--printer", "127.0.0", "test"}, "", "\"127.0.0\""},
      {"PRINTERTEST_PRINTER that is no dotted quad",
       {"test"},
       "",
       "PRINTERTEST_PRINTER",
       {{"PRINTERTEST_PRINTER", "printer1"}}},
  };
  int host = 1;
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++));
    const Finished f = ForPrinter(printer.Address(), c.args, c.env, c.input);
    EXPECT_EQ(f.exit, 2) << Describe(f);
    EXPECT_NE(f.err.find(c.mentions), std::string::npos) << Describe(f);
    EXPECT_EQ(std::count(f.err.begin(), f.err.end(), '\n'), 1) << "one line: " << f.err;
    EXPECT_TRUE(f.out.empty()) << f.out;
    EXPECT_EQ(printer.AcceptedCount(), 0u) << "nothing may go on the wire";
  }
  std::remove(hangul.c_str());
  std::remove(latin1.c_str());
  std::remove(markOnly.c_str());
}

// ---------------------------------------------------------------------------
// Status: the six states, the exit status a script acts on, and their JSON.

struct StatusCase {
  const char* fault;
  PortBehaviour on9100;
  PortBehaviour on4000;
  int exit;
  const char* line;  // what standard output starts with
};

TEST(PrintertestStatus, ExitStatusTellsFineAttentionUnreachableAndSilent) {
  const StatusCase cases[] = {
      {"a fine printer",
       {},
       {PortMode::Answer, {0x00, 0x00, 0x00}},
       0,
       "On-line, Cover Close, Wait for Task, Temp ok, Print, Paper Ok [00 00 00]"},
      {"cover open needs attention", {}, {PortMode::Answer, {0x20, 0x00, 0x00}}, 1, "On-line, Cover Open,"},
      {"paper end needs both sensor bits",
       {},
       {PortMode::Answer, {0x00, 0x00, 0x0C}},
       1,
       "On-line, Cover Close, Wait for Task, Temp ok, Print, Paper end"},
      {"paper near its end alone still prints", {}, {PortMode::Answer, {0x00, 0x00, 0x04}}, 0, "On-line,"},
      {"a short answer leaves paper unknown, never fine",
       {},
       {PortMode::Answer, {0x00, 0x00}},
       4,
       "On-line, Cover Close, Wait for Task, Temp ok, Print, Paper ? [00 00]"},
      {"refusing printer", {PortMode::Refuse}, {PortMode::Refuse}, 3, "Off-line"},
      {"silent printer: takes ESC v, never answers", {}, {PortMode::Record}, 4, "Off-line"},
  };
  int host = 1;
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++), c.on9100, c.on4000);
    const Finished f = Printertest({"--printer", printer.Address(), "status"});
    EXPECT_EQ(f.exit, c.exit) << Describe(f);
    EXPECT_TRUE(f.out.starts_with(c.line)) << Describe(f);
    if (c.exit >= 3) {
      EXPECT_FALSE(f.err.empty()) << "a failure says why on standard error";
    }
  }
}

TEST(PrintertestStatus, JsonCarriesTheLogFieldsAndTheDecodedStates) {
  TestPrinter printer(testsupport::TestAddress(), {}, {PortMode::Answer, {0x20, 0x40, 0x00}});
  const Finished f = Printertest({"--printer", printer.Address(), "--json", "status"});
  ASSERT_EQ(f.exit, 1) << Describe(f);
  const auto j = nlohmann::json::parse(f.out);  // exactly one object
  for (const char* field :
       {"time", "kind", "address", "port", "sent", "received", "outcome", "error", "ms", "summary"}) {
    EXPECT_TRUE(j.contains(field)) << field;
  }
  EXPECT_EQ(j["kind"], "status");
  EXPECT_EQ(j["port"], 4000);
  EXPECT_EQ(j["sent"], "1B 76");
  EXPECT_EQ(j["received"], "20 40 00");
  EXPECT_EQ(j["outcome"], "ok");
  EXPECT_EQ(j["exit"], 1);
  EXPECT_EQ(j["states"], nlohmann::json::parse(R"({"online":true,"cover_open":true,"busy":false,
      "over_temperature":true,"paused":false,"paper_end":false})"));
  ASSERT_EQ(j["exchanges"].size(), 2u) << "the probe of 9100, then the query";
  EXPECT_EQ(j["exchanges"][0]["port"], 9100);
}

TEST(PrintertestStatus, JsonOfARefusingPrinterSaysWhy) {
  TestPrinter printer(testsupport::TestAddress(), {PortMode::Refuse}, {PortMode::Refuse});
  const Finished f = Printertest({"--printer", printer.Address(), "--json", "status"});
  ASSERT_EQ(f.exit, 3) << Describe(f);
  const auto j = nlohmann::json::parse(f.out);
  EXPECT_EQ(j["outcome"], "refused");
  EXPECT_EQ(j["error"], "ECONNREFUSED");
  EXPECT_EQ(j["states"]["online"], false);
  EXPECT_TRUE(j["states"]["paper_end"].is_null()) << "unknown, never fine";
}

TEST(PrintertestStatus, WatchPrintsALinePerChangeUntilCtrlC) {
  TestPrinter printer(testsupport::TestAddress(), {}, {PortMode::Answer, {0x00, 0x00, 0x00}});
  Program watch({"--printer", printer.Address(), "--json", "status", "--watch", "1"});
  const auto first = watch.ReadLine(10000);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(nlohmann::json::parse(*first)["states"]["online"], true);
  // Two more polls of an unchanged printer add no line.
  printer.WaitUntil([](const std::vector<Connection>& c) { return c.size() >= 6; }, 10000);
  watch.Interrupt();
  const Finished f = watch.Finish(10000);
  EXPECT_EQ(f.exit, 0) << Describe(f);
  EXPECT_EQ(std::count(f.out.begin(), f.out.end(), '\n'), 1) << f.out;
}

// ---------------------------------------------------------------------------
// Exchanges that fail: never reported as done.

TEST(PrintertestFailures, UnreachableAndPartWayAreTold) {
  struct Case {
    const char* fault;
    std::vector<std::string> args;
    PortBehaviour on9100, on4000;
    int exit;
    std::size_t accepted;  // connections the printer took
  };
  const std::string file = TempFile("big.txt", std::string(256 * 1024, 'x'));
  const Case cases[] = {
      {"drawer to a refusing port", {"drawer"}, {PortMode::Refuse}, {}, 3, 0},
      {"test of a refusing reply port", {"test"}, {}, {PortMode::Refuse}, 3, 0},
      {"print to a printer that stops reading: not every byte taken", {"print", file}, {}, {PortMode::NeverRead}, 4, 1},
  };
  int host = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++), c.on9100, c.on4000);
    std::vector<std::string> args = {"--printer", printer.Address()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished f = Printertest(args);
    EXPECT_EQ(f.exit, c.exit) << Describe(f);
    EXPECT_NE(f.err.find("Can't Connect Net!"), std::string::npos) << Describe(f);
    EXPECT_EQ(printer.AcceptedCount(), c.accepted);
  }
  std::remove(file.c_str());
}

TEST(PrintertestFailures, ATargetIn0Slash8IsABadAddressNotThisMachine) {
  // Probes only: were the address taken, nothing would be sent to whatever listens here.
  for (const char* address : {"0.0.0.0", "0.1.2.3"}) {
    for (const char* command : {"test", "sweep"}) {  // a sweep of 0.x.y.0/24 found "no printer" and exited 0
      SCOPED_TRACE(std::string(command) + " " + address);
      const Finished f = Printertest({"--printer", address, "--json", command});
      EXPECT_EQ(f.exit, 3) << Describe(f);
      EXPECT_EQ(nlohmann::json::parse(f.out)["outcome"], "bad-address") << Describe(f);
    }
  }
}

// ---------------------------------------------------------------------------
// Sweep: host order, the found list in JSON, and each printer's status.

TEST(PrintertestSweep, FindsPrintersInHostOrderWithTheirStatus) {
  TestPrinter high(testsupport::TestAddress(200), {}, {PortMode::Answer, {0x00, 0x00, 0x00}});
  TestPrinter low(testsupport::TestAddress(3), {}, {PortMode::Answer, {0x20, 0x00, 0x00}});
  const std::string subnet = low.Address().substr(0, low.Address().rfind('.'));

  Finished f = Printertest({"--printer", low.Address(), "sweep"});
  EXPECT_EQ(f.exit, 0) << Describe(f);
  EXPECT_EQ(f.out, low.Address() + "\n" + high.Address() + "\n");

  f = Printertest({"--json", "sweep", subnet, "--status"}, {{"PRINTERTEST_PRINTER", high.Address()}});
  EXPECT_EQ(f.exit, 1) << "the cover-open printer decides: " << Describe(f);
  const auto j = nlohmann::json::parse(f.out);
  EXPECT_EQ(j["kind"], "sweep");
  EXPECT_EQ(j["address"], subnet + ".0/24");
  EXPECT_EQ(j["found"], nlohmann::json({low.Address(), high.Address()}));
  ASSERT_EQ(j["printers"].size(), 2u);
  EXPECT_EQ(j["printers"][0]["states"]["cover_open"], true);
  EXPECT_EQ(j["printers"][1]["states"]["cover_open"], false);
}

// ---------------------------------------------------------------------------
// Words in the locale's language, and the --log file.

TEST(PrintertestOutput, ChineseLocaleGetsTheConsolesChineseTexts) {
  TestPrinter printer(testsupport::TestAddress());
  const Finished f = Printertest({"--printer", printer.Address(), "test"}, {{"LANG", "zh_CN.UTF-8"}});
  EXPECT_EQ(f.exit, 0) << Describe(f);
  EXPECT_EQ(f.out, "网络连接正常\n");
}

TEST(PrintertestOutput, LogFileGetsOneLinePerExchange) {
  TestPrinter printer(testsupport::TestAddress());
  const std::string log = TempFile("exchanges.log", "");
  const Finished f = Printertest({"--printer", printer.Address(), "--log", log, "cut"});
  ASSERT_EQ(f.exit, 0) << Describe(f);
  std::ifstream in(log);
  std::vector<std::string> kinds;
  for (std::string line; std::getline(in, line);) kinds.push_back(nlohmann::json::parse(line)["kind"]);
  EXPECT_EQ(kinds, (std::vector<std::string>{"text", "frame", "frame"}));
  std::remove(log.c_str());
}

// ---------------------------------------------------------------------------
// The watch's pause between polls.

TEST(ParseWatchSeconds, LeftOutIsTheMonitorsTwoSecondsNeverZero) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"", 2},  // left out: a pause of 0 would poll the printer without a break
      {"1", 1},
      {"86400", 86400},               // the ends of the range
      {"0", std::nullopt},            // no pause at all
      {"86401", std::nullopt},        // beyond a day
      {"99999999999", std::nullopt},  // would overflow an int
      {"1.5", std::nullopt},
      {"-2", std::nullopt},
      {"2s", std::nullopt},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(printercli::ParseWatchSeconds(text), seconds) << text;
}

// ---------------------------------------------------------------------------
// Where a character GBK lacks stands, counted the way an editor counts.

TEST(Utf8ToGbk, NamesLineAndColumnOfTheFirstCharacterGbkLacks) {
  struct Case {
    const char* fault;
    std::string text;
    int line, column;
  };
  const Case cases[] = {
      {"first character", "\xED\x95\x9C", 1, 1},
      {"columns count characters, not bytes", "\xE4\xBD\xA0\xE5\xA5\xBD\xED\x95\x9C", 1, 3},
      {"lines count line feeds; CR is a character of its line", "a\r\nb\r\n\xF0\x9F\x98\x80", 3, 1},
      {"a cut-off sequence at the end is no UTF-8", "ab\xE4\xBD", 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const printercli::GbkText gbk = printercli::Utf8ToGbk(c.text);
    EXPECT_FALSE(gbk.ok());
    EXPECT_TRUE(gbk.bytes.empty()) << "nothing converted is kept";
    EXPECT_EQ(gbk.line, c.line);
    EXPECT_EQ(gbk.column, c.column);
  }
}

}  // namespace

TEST(PrintertestFailures, APrinterThatThrowsTheBytesAwayUnreadFailsPartWay) {
  const struct {
    const char* fault;
    std::vector<std::string> args;
    std::string input;
  } cases[] = {
      {"set-ip exits 0 for an address the printer never read", {"set-ip", "10.0.0.7"}, ""},
      {"drawer exits 0 with the drawer shut", {"drawer"}, ""},
      {"print - exits 0 for a receipt thrown away", {"print", "-"}, "receipt\n"},
  };
  int host = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    // Its TCP acknowledges the bytes, then it hangs up with them unread.
    const PortBehaviour discard{PortMode::Discard, {}, 200};
    TestPrinter printer(testsupport::TestAddress(host++), discard, discard);
    std::vector<std::string> args = {"--printer", printer.Address()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished f = Printertest(args, {}, c.input);
    EXPECT_EQ(f.exit, 4) << Describe(f);
    EXPECT_NE(f.err.find("Can't Connect Net!"), std::string::npos) << Describe(f);
    EXPECT_NE(f.err.find("ECONNRESET"), std::string::npos) << Describe(f);
  }
}
