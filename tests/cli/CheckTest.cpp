// printertest check as a monitoring engine runs it: the state for every kind
// of printer, the first line's form, the performance data read back by the
// plugins' grammar, the range syntax, and arguments it cannot use.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <regex>

#include "Check.h"
#include "RunProgram.h"
#include "TestAddress.h"
#include "TestPrinter.h"

using clitest::Describe;
using clitest::Finished;
using clitest::Printertest;
using testsupport::PortBehaviour;
using testsupport::PortMode;
using testsupport::TestPrinter;

namespace {

// One value of performance data as the plugins' grammar reads it:
// 'label'=value[UOM];[warn];[crit];[min];[max], values separated by spaces.
struct Perf {
  std::string value, unit, warn, crit, min, max;
};

// The values after the first line's |, by label; a value that does not
// follow the grammar fails the test.
std::map<std::string, Perf> ParsePerf(const std::string& firstLine) {
  std::map<std::string, Perf> values;
  const std::size_t bar = firstLine.find(" | ");
  if (bar == std::string::npos) {
    ADD_FAILURE() << "no performance data: " << firstLine;
    return values;
  }
  static const std::regex kValue(R"(('(?:[^']|'')+'|[^' =]+)=(U|-?[0-9]+(?:\.[0-9]+)?)(us|ms|s|%|B|KB|MB|TB|c)?)"
                                 R"((?:;([^; ]*))?(?:;([^; ]*))?(?:;([^; ]*))?(?:;([^; ]*))?)");
  const std::string data = firstLine.substr(bar + 3);
  std::size_t at = 0;
  while (at < data.size()) {
    std::smatch m;
    const std::string rest = data.substr(at);
    if (!std::regex_search(rest, m, kValue, std::regex_constants::match_continuous)) {
      ADD_FAILURE() << "not performance data at: " << rest;
      break;
    }
    std::string label = m[1];
    if (label.front() == '\'') label = std::regex_replace(label.substr(1, label.size() - 2), std::regex("''"), "'");
    values[label] = {m[2], m[3], m[4], m[5], m[6], m[7]};
    at += m.length(0);
    if (at < data.size() && data[at] != ' ') {
      ADD_FAILURE() << "values must be separated by one space: " << data.substr(at);
      break;
    }
    ++at;
  }
  return values;
}

std::string FirstLine(const std::string& out) { return out.substr(0, out.find('\n')); }

// ---------------------------------------------------------------------------
// Every state a printer can be in, as the engine sees it.

struct StateCase {
  const char* fault;
  PortBehaviour on9100, on4000;
  int exit;
  std::string summary;                           // what the first line says before the |
  std::map<std::string, std::string> perf = {};  // some performance values
};

TEST(CheckPlugin, EachPrinterStateGivesItsExitCodeFirstLineAndPerformanceData) {
  const auto answer = [](std::vector<std::uint8_t> bytes) { return PortBehaviour(PortMode::Answer, bytes); };
  const StateCase cases[] = {
      {"a fine printer is not OK",
       {},
       answer({0, 0, 0}),
       0,
       "PRINTER OK - On-line, Cover Close, Wait for Task, Temp ok, Print, Paper Ok",
       {{"online", "1"}, {"cover_open", "0"}, {"status_byte_1", "0"}}},
      {"cover open is not critical",
       {},
       answer({0x20, 0, 0}),
       2,
       "PRINTER CRITICAL - On-line, Cover Open",
       {{"cover_open", "1"}, {"status_byte_1", "32"}}},
      {"paper end is not critical",
       {},
       answer({0, 0, 0x0C}),
       2,
       "PRINTER CRITICAL - On-line, Paper end",
       {{"paper_end", "1"}, {"status_byte_3", "12"}}},
      {"over temperature is not critical", {}, answer({0, 0x40, 0}), 2, "PRINTER CRITICAL - On-line, Over Temp"},
      {"paused is not a warning", {}, answer({0, 0x10, 0}), 1, "PRINTER WARNING - On-line, Pause", {{"paused", "1"}}},
      {"busy is not a warning", {}, answer({0x08, 0, 0}), 1, "PRINTER WARNING - On-line, Busy"},
      {"a warning hides a critical condition",
       {},
       answer({0x28, 0, 0}),
       2,
       "PRINTER CRITICAL - On-line, Cover Open, Busy"},
      {"a short reply reads as OK",
       {},
       answer({0, 0}),
       3,
       "PRINTER UNKNOWN - On-line, only 2 of 3 status bytes",
       {{"paper_end", "U"}, {"status_byte_3", "U"}, {"cover_open", "0"}}},
      {"a reply split across TCP segments is cut short and loses paper end",
       {},
       PortBehaviour(PortMode::AnswerInParts, {0x20, 0, 0x0C}, 5),
       2,
       "PRINTER CRITICAL - On-line, Cover Open, Paper end",
       {{"status_byte_3", "12"}}},
      {"a known warning is lost in a short reply",
       {},
       answer({0x08}),
       1,
       "PRINTER WARNING - On-line, Busy, only 1 of 3 status bytes"},
      {"a refusing printer is not critical",
       {PortMode::Refuse},
       {PortMode::Refuse},
       2,
       "PRINTER CRITICAL - Off-line, refused on port 9100",
       {{"online", "0"}, {"cover_open", "U"}, {"status_byte_1", "U"}}},
      {"an unreachable printer is not critical",
       {PortMode::Unreachable},
       {},
       2,
       "PRINTER CRITICAL - Off-line, no answer on port 9100"},
      {"a printer that hangs up is not critical",
       {},
       {PortMode::AcceptClose},
       2,
       "PRINTER CRITICAL - Off-line, closed by the printer on port 4000"},
      {"a printer that never replies is not critical",
       {},
       {PortMode::Record},
       2,
       "PRINTER CRITICAL - Off-line, no answer on port 4000",
       {{"online", "0"}}},
  };
  int host = 1;
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++), c.on9100, c.on4000);
    const Finished f = Printertest({"check", "-H", printer.Address()});
    EXPECT_EQ(f.exit, c.exit) << Describe(f);
    const std::string first = FirstLine(f.out);
    EXPECT_EQ(first.substr(0, first.find(" | ")), c.summary);
    EXPECT_LE(first.find(" | "), 80u) << "the summary fits a pager's line";
    const auto perf = ParsePerf(first);
    ASSERT_TRUE(perf.contains("time"));
    EXPECT_EQ(perf.at("time").unit, "s");
    EXPECT_EQ(perf.size(), 1u + 3u + 6u) << "the time, three status bytes, six conditions";
    for (const auto& [label, value] : c.perf) {
      ASSERT_TRUE(perf.contains(label)) << label;
      EXPECT_EQ(perf.at(label).value, value) << label;
    }
    EXPECT_NE(f.out.find("\nStatus bytes: "), std::string::npos) << "later lines hold the bytes: " << f.out;
    EXPECT_NE(f.out.find("\npaper_end: "), std::string::npos) << "and each condition: " << f.out;
  }
}

TEST(CheckPlugin, ThresholdsOnTheTimeRaiseTheStateAndGoIntoThePerformanceData) {
  struct Case {
    const char* fault;
    std::vector<std::uint8_t> answer;
    std::vector<std::string> thresholds;
    int exit;
  };
  const Case cases[] = {
      {"a time inside the warning range alerts only with @", {0, 0, 0}, {"-w", "@0:3600"}, 1},
      {"critical wins over warning", {0, 0, 0}, {"-w", "@0:3600", "-c", "~:0"}, 2},
      {"a time inside both ranges is OK", {0, 0, 0}, {"-w", "30", "-c", "60"}, 0},
      {"a threshold never lowers a critical printer", {0x20, 0, 0}, {"-w", "@0:3600"}, 2},
  };
  int host = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++), {}, {PortMode::Answer, c.answer});
    std::vector<std::string> args = {"check", "-H", printer.Address()};
    args.insert(args.end(), c.thresholds.begin(), c.thresholds.end());
    const Finished f = Printertest(args);
    EXPECT_EQ(f.exit, c.exit) << Describe(f);
    const auto perf = ParsePerf(FirstLine(f.out));
    ASSERT_TRUE(perf.contains("time"));
    EXPECT_EQ(perf.at("time").warn, c.thresholds[1]);
    EXPECT_EQ(perf.at("time").crit, c.thresholds.size() > 2 ? c.thresholds[3] : "");
  }
}

TEST(CheckPlugin, ItsOwnTimeOutIsUnknownAndNamesTheStage) {
  TestPrinter printer(testsupport::TestAddress(), {}, {PortMode::Unreachable});
  const Finished f = Printertest({"check", "-H", printer.Address(), "-t", "0.5"});
  EXPECT_EQ(f.exit, 3) << Describe(f);
  EXPECT_EQ(FirstLine(f.out), "PRINTER UNKNOWN - -t 0.5 s ran out connecting to port 4000");
  using printercli::CheckStage;
  for (const CheckStage stage :
       {CheckStage::Starting, CheckStage::Connecting, CheckStage::Sending, CheckStage::Waiting}) {
    const std::string words = printercli::StageWords(stage, 4000);
    const std::string first = FirstLine(printercli::TimedOut(words, 3599.999999).output);
    EXPECT_LT(first.size(), 80u) << "the longest -t and stage overflow a pager's line: " << first;
  }
}

TEST(CheckPlugin, ArgumentsItCannotUseAreUnknownOnOneLineAndSendNothing) {
  struct Case {
    const char* fault;
    std::vector<std::string> args;
    std::string mentions;
  };
  const Case cases[] = {
      {"no printer", {"check"}, "-H"},
      {"a host name", {"check", "-H", "printer1"}, "printer1"},
      {"a warning that is no range", {"check", "-H", "{printer}", "-w", "fast"}, "\"fast\""},
      {"a range whose start lies above its end", {"check", "-H", "{printer}", "-c", "5:1"}, "\"5:1\""},
      {"a time-out of nothing", {"check", "-H", "{printer}", "-t", "0"}, "-t"},
      {"an option it does not know", {"check", "-H", "{printer}", "--frobnicate"}, "--frobnicate"},
      {"a time-out without its value", {"check", "-H", "{printer}", "-t"}, "-t"},
      {"after a global option, a bad argument is printertest's usage error (2)",
       {"--printer", "bogus", "check", "-H", "{printer}", "-t", "0"},
       "-t"},
      {"a log it cannot write is printertest's usage error (2)",
       {"--log", "/nonexistent/exchanges.jsonl", "check", "-H", "{printer}"},
       "--log"},
  };
  int host = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    TestPrinter printer(testsupport::TestAddress(host++));
    std::vector<std::string> args = c.args;
    for (std::string& a : args) a = a == "{printer}" ? printer.Address() : a;
    const Finished f = Printertest(args);
    EXPECT_EQ(f.exit, 3) << Describe(f);
    EXPECT_TRUE(f.out.starts_with("PRINTER UNKNOWN - ")) << Describe(f);
    EXPECT_NE(f.out.find(c.mentions), std::string::npos) << Describe(f);
    EXPECT_EQ(std::count(f.out.begin(), f.out.end(), '\n'), 1) << f.out;
    EXPECT_EQ(printer.AcceptedCount(), 0u) << "nothing may go on the wire";
  }
  for (const char* option : {"-h", "-V"}) {
    EXPECT_EQ(Printertest({"check", option}).exit, 3) << option << ": help and version are UNKNOWN to an engine";
  }
}

TEST(CheckPlugin, StartedAsCheckPrinterItIsTheCheck) {
  const std::string dir = ::testing::TempDir() + "/check-printer-" + std::to_string(getpid());
  ::mkdir(dir.c_str(), 0755);
  const std::string link = dir + "/check_printer";
  ::unlink(link.c_str());
  ASSERT_EQ(::symlink(PRINTERTEST_PROGRAM, link.c_str()), 0);
  TestPrinter printer(testsupport::TestAddress(), {}, {PortMode::Answer, {0x08, 0, 0}});
  // The check never goes to printertest's own printer: a bad one is no error.
  const Finished f = clitest::Program(link, {"-H", printer.Address()}, {{"PRINTERTEST_PRINTER", "bogus"}}).Finish();
  EXPECT_EQ(f.exit, 1) << Describe(f);
  EXPECT_TRUE(f.out.starts_with("PRINTER WARNING - On-line, Busy |")) << f.out;
  // Its help is the plugin's: its name, its states, not printertest's exit table.
  const Finished help = clitest::Program(link, {"-h"}).Finish();
  EXPECT_EQ(help.exit, 3);
  EXPECT_NE(help.out.find("Usage: check_printer [OPTIONS]"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("3  UNKNOWN"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find("usage error"), std::string::npos) << help.out;
  ::unlink(link.c_str());
  ::rmdir(dir.c_str());
}

// ---------------------------------------------------------------------------
// The range syntax: which values alert.

TEST(ParseRange, EachFormAlertsOnTheValuesTheGuidelinesSay) {
  struct Case {
    const char* range;
    std::vector<std::pair<double, bool>> alerts;  // value, whether it alerts
  };
  const Case cases[] = {
      {"10", {{-0.1, true}, {0, false}, {10, false}, {10.1, true}}},      // 0 to 10, ends included
      {"10:", {{9.9, true}, {10, false}, {1e9, false}}},                  // 10 and up
      {"~:10", {{-1e9, false}, {10, false}, {10.1, true}}},               // up to 10
      {"10:20", {{9.9, true}, {10, false}, {20, false}, {20.1, true}}},   // between
      {"@10:20", {{9.9, false}, {10, true}, {20, true}, {20.1, false}}},  // inside alerts
      {"@~:0.5", {{-3, true}, {0.5, true}, {0.6, false}}},
      {"0.25", {{0.25, false}, {0.26, true}}},  // decimals, as seconds need
      {"-1:1", {{-1, false}, {-1.5, true}}},    // negative starts
      {"~:", {{-1e9, false}, {1e9, false}}},    // everything: never alerts
  };
  for (const Case& c : cases) {
    const auto range = printercli::ParseRange(c.range);
    ASSERT_TRUE(range) << c.range;
    EXPECT_EQ(range->text, c.range);
    for (const auto& [value, alerts] : c.alerts) EXPECT_EQ(range->Alerts(value), alerts) << c.range << " at " << value;
  }
  for (const char* bad : {"", "@", "~", "fast", "20:10", "1:2:3", "inf", "nan", "10s", "@:", ":", " 10", "1e-3"}) {
    EXPECT_FALSE(printercli::ParseRange(bad)) << "\"" << bad << "\" read as a range";
  }
}

TEST(PerfData, LabelsAreQuotedAndTrailingEmptyFieldsLeftOff) {
  const printercli::PerfValue values[] = {
      {"time", 0.0125, "s", "1", "@2:3", 0.0, std::nullopt},
      {"it's", std::nullopt, "", "", "", 0.0, 1.0},
      {"plain", 7, "", "", "", std::nullopt, std::nullopt},
      {"fast", 0.00009, "s", "", "", std::nullopt, std::nullopt},  // %g: 9e-05, which the grammar has no room for
  };
  EXPECT_EQ(printercli::PerfData(values), "'time'=0.0125s;1;@2:3;0 'it''s'=U;;;0;1 'plain'=7 'fast'=0.00009s");
}

}  // namespace
