#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ExchangeLog.h"
#include "LoopbackTest.h"
#include "OutcomeWords.h"
#include "Transport.h"

using namespace printerlink;

namespace {

using Json = nlohmann::json;

std::string Words(const printerlink::ExchangeRecord& r) { return OutcomeWords(r, res::Language::English); }

// Bounds well past the discarding printer's 100 ms, so that a slow run still
// sees its reset within them.
constexpr LinkTimings kQuick{.connectTimeoutMs = 300, .sendTimeoutMs = 1000, .replyPollMs = 50};

struct Collector final : ExchangeObserver {
  void OnExchange(const ExchangeRecord& r) override { records.push_back(r); }
  std::vector<ExchangeRecord> records;
};

// What one printer does to each kind of call.
struct Expect {
  Outcome outcome;
  const char* error;  // errno name, "" for none
  std::size_t taken;
  Bytes received;
};

struct PrinterCase {
  std::string catches;
  bool present;  // false: nothing is bound at the address, every port refuses
  PortBehaviour on9100, on4000;
  Expect frame, status, text, probe;
};

TEST(ExchangeRecords, OneRecordPerCallWithItsBytesPortAndOutcome) {
  const Bytes drawer = {0x1B, 0x70, 0x00, 0x08, 0x08};
  const Bytes query = {0x1B, 0x76};
  const std::string text = "Testing the cut";
  const Bytes status = {0x14, 0x00, 0x00};
  const std::vector<PrinterCase> cases = {
      {"listening printer: everything ok, the reply recorded",
       true,
       {},
       {PortMode::Answer, status},
       {Outcome::Ok, "", 5, {}},
       {Outcome::Ok, "", 2, status},
       {Outcome::Ok, "", text.size(), {}},
       {Outcome::Ok, "", 0, {}}},
      {"refusing address: refused, nothing taken",
       false,
       {},
       {},
       {Outcome::Refused, "ECONNREFUSED", 0, {}},
       {Outcome::Refused, "ECONNREFUSED", 0, {}},
       {Outcome::Refused, "ECONNREFUSED", 0, {}},
       {Outcome::Refused, "ECONNREFUSED", 0, {}}},
      {"silent printer: the query taken but never answered",
       true,
       {},
       {},
       {Outcome::Ok, "", 5, {}},
       {Outcome::NoReply, "", 2, {}},
       {Outcome::Ok, "", text.size(), {}},
       {Outcome::Ok, "", 0, {}}},
      {"printer that hangs up at once: closed, not a success",
       true,
       {PortMode::AcceptClose},
       {PortMode::AcceptClose},
       // Its FIN came first, so the reset that answers the bytes reads as a broken pipe.
       {Outcome::Closed, "EPIPE", 0, {}},
       {Outcome::Closed, "EPIPE", 0, {}},
       {Outcome::Closed, "EPIPE", 0, {}},
       {Outcome::Ok, "", 0, {}}},
      {"printer that takes the bytes into its queue, then resets unread: closed, though every byte was taken",
       true,
       {PortMode::Discard, {}, 100},
       {PortMode::Discard, {}, 100},
       {Outcome::Closed, "ECONNRESET", 5, {}},
       {Outcome::Closed, "ECONNRESET", 2, {}},
       {Outcome::Closed, "ECONNRESET", text.size(), {}},
       {Outcome::Ok, "", 0, {}}},
      {"unreachable printer: connect dropped until the bound",
       true,
       {PortMode::Unreachable},
       {PortMode::Unreachable},
       {Outcome::Timeout, "ETIMEDOUT", 0, {}},
       {Outcome::Timeout, "ETIMEDOUT", 0, {}},
       {Outcome::Timeout, "ETIMEDOUT", 0, {}},
       {Outcome::Timeout, "ETIMEDOUT", 0, {}}},
  };
  int host = 1;
  for (const PrinterCase& c : cases) {
    SCOPED_TRACE(c.catches);
    const std::string address = testsupport::TestAddress(host++);
    std::optional<TestPrinter> printer;
    if (c.present) printer.emplace(address, c.on9100, c.on4000);
    LoopbackOnlyLibrary library;
    std::size_t connections = 0;  // how many the printer must have taken before a send goes out
    library.beforeSend = [&] {
      // The printer acts first, as a real one does before the first data segment arrives.
      if (printer) printer->WaitUntil([&](const auto& seen) { return seen.size() >= connections; }, kWaitMs);
    };
    Collector log;
    ReplyBuffer reply{};

    connections = 1;
    const bool frameOk = ExchangeFrame(library, address, drawer, false, reply, kQuick, &log).ok();
    connections = 2;
    ExchangeFrame(library, address, query, true, reply, kQuick, &log);
    connections = 3;
    SendTextJob(library, address, text, kQuick, &log);
    ProbePrinter(library, address, kReplyPort, 100, &log);

    EXPECT_EQ(frameOk, c.frame.outcome == Outcome::Ok) << "the caller's result and the record disagree";
    ASSERT_EQ(log.records.size(), 4u);
    const struct {
      ExchangeKind kind;
      std::uint16_t port;
      Bytes sent;
      const Expect& expect;
    } calls[] = {
        {ExchangeKind::Frame, kFramePort, drawer, c.frame},
        {ExchangeKind::Status, kReplyPort, query, c.status},
        {ExchangeKind::Text, kTextJobPort, Bytes(text.begin(), text.end()), c.text},
        {ExchangeKind::Probe, kReplyPort, {}, c.probe},
    };
    for (std::size_t i = 0; i < 4; ++i) {
      const ExchangeRecord& r = log.records[i];
      SCOPED_TRACE(KindName(calls[i].kind));
      EXPECT_EQ(r.kind, calls[i].kind);
      EXPECT_EQ(r.address, address);
      EXPECT_EQ(r.port, calls[i].port);
      EXPECT_EQ(r.sent, calls[i].sent) << "the record must hold every byte the call had to send";
      EXPECT_EQ(OutcomeName(r.outcome), std::string(OutcomeName(calls[i].expect.outcome))) << Words(r);
      EXPECT_EQ(ErrorName(r.sysError), calls[i].expect.error) << Words(r);
      EXPECT_EQ(r.taken, calls[i].expect.taken) << "taken must count acknowledged bytes";
      EXPECT_EQ(r.received, calls[i].expect.received);
      EXPECT_GT(r.startMs, 1'600'000'000'000) << "start time is not the wall clock";
      EXPECT_GE(r.durationMs, 0);
    }
  }
}

TEST(ExchangeRecords, SetAddressToAPrinterThatHungUpIsNoSuccessAndSaysWhy) {
  TestPrinter printer(testsupport::TestAddress(), {PortMode::AcceptClose}, {PortMode::AcceptClose});
  LoopbackOnlyLibrary library;
  library.beforeSend = [&] { printer.WaitForClosedConnections(1, kWaitMs); };
  CommandFrame frame{};
  const std::size_t length = BuildSetIpFrame(frame, {192, 168, 1, 100});
  ReplyBuffer reply{};
  Collector log;
  const LinkResult r =
      ExchangeFrame(library, printer.Address(), std::span(frame.data(), length), false, reply, {}, &log);
  EXPECT_FALSE(r.ok()) << "the kernel took the bytes, the printer never did: reported as success";
  EXPECT_EQ(r.error, LinkError::PeerClosed);
  EXPECT_EQ(r.sent, 0u);
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(Words(log.records[0]), "the printer closed the connection after taking 0 of 7 bytes (EPIPE)");
  EXPECT_EQ(printer.Connections().at(0).bytes, Bytes{}) << "the printer received bytes after all";
}

TEST(ExchangeRecords, WithoutAnObserverTheCallsStillWork) {
  TestPrinter printer(testsupport::TestAddress());
  LoopbackOnlyLibrary library;
  ReplyBuffer reply{};
  EXPECT_TRUE(ExchangeFrame(library, printer.Address(), Bytes{0x1B, 0x40}, false, reply).ok());
  EXPECT_TRUE(SendTextJob(library, printer.Address(), "x").ok());
  ASSERT_TRUE(printer.WaitForClosedConnections(2, kWaitMs));
}

TEST(ExchangeRecords, SweepGivesOneRecordThatExplainsAnEmptyList) {
  const std::string net = testsupport::TestAddress(1);
  const std::string prefix = net.substr(0, net.rfind('.'));
  TestPrinter first(testsupport::TestAddress(10));
  TestPrinter silent(testsupport::TestAddress(20), {PortMode::Unreachable}, {PortMode::Unreachable});
  TestPrinter last(testsupport::TestAddress(254));
  std::vector<std::string> addresses;
  for (int host = 1; host <= 254; ++host) addresses.push_back(testsupport::TestAddress(host));
  LoopbackOnlyLibrary library;
  Collector log;

  ProbePrinters(library, addresses, kReplyPort, 300, &log);
  ASSERT_EQ(log.records.size(), 1u) << "a sweep is one record, not one per host";
  const ExchangeRecord& r = log.records[0];
  EXPECT_EQ(r.kind, ExchangeKind::Sweep);
  EXPECT_EQ(r.address, prefix + ".0/24");
  EXPECT_EQ(r.port, kReplyPort);
  EXPECT_EQ(r.waitMs, 300);
  EXPECT_EQ(r.answering, 2);
  EXPECT_EQ(r.refusing, 251);
  EXPECT_EQ(r.silent, 1);
  EXPECT_EQ(r.found, (std::vector<std::string>{first.Address(), last.Address()}));
  EXPECT_EQ(r.outcome, Outcome::Ok);
  EXPECT_EQ(Words(r), "2 printers answered, 251 refused, 1 silent");

  // Nobody home: still one record, and it says so.
  const std::vector<std::string> empty(addresses.begin() + 100, addresses.begin() + 110);
  ProbePrinters(library, empty, kReplyPort, 300, &log);
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_EQ(log.records[1].refusing, 10);
  EXPECT_EQ(Words(log.records[1]), "no printer answered: 10 refused, 0 silent");
}

TEST(ExchangeRecords, LibraryFaultsAreNamed) {
  LoopbackOnlyLibrary library;
  Collector log;
  ReplyBuffer reply{};
  library.startupError = 10091;
  ExchangeFrame(library, testsupport::TestAddress(), Bytes{0x1B, 0x40}, false, reply, {}, &log);
  library.startupError = 0;
  library.grant = SocketVersion{2, 2};
  SendTextJob(library, testsupport::TestAddress(), "x", {}, &log);
  library.grant.reset();
  ProbePrinter(library, "192.168.1", kReplyPort, 100, &log);
  ASSERT_EQ(log.records.size(), 3u);
  EXPECT_EQ(Words(log.records[0]), "the socket library refused to start");
  EXPECT_EQ(Words(log.records[1]), "the socket library granted a version other than 1.1");
  EXPECT_EQ(OutcomeName(log.records[2].outcome), std::string("bad-address"));
  for (const auto& r : log.records) EXPECT_TRUE(r.failed());
}

ExchangeRecord FrameRecord() {
  ExchangeRecord r;
  r.startMs = 1'700'000'000'123;
  r.kind = ExchangeKind::Frame;
  r.address = "192.168.1.10";
  r.port = 9100;
  r.sent = {0x1B, 0x70, 0x00, 0x08, 0x08};
  r.taken = 5;
  r.durationMs = 2;
  return r;
}

TEST(ExchangeRecords, WordsForTheEndOfTheConnectionTellTakenFromRead) {
  struct Case {
    const char* fault;
    ExchangeKind kind;
    Outcome outcome;
    bool peerOpen;
    const char* text;
    std::size_t bytes = 5;  // sent and taken; for a status query received, for a sweep those that answered
  };
  const Case cases[] = {
      {"a reset after every byte was taken reads like a success", ExchangeKind::Frame, Outcome::Closed, false,
       "the printer's TCP took all 5 bytes, then the printer reset the connection without reading them (ECONNRESET)"},
      {"a status query reset before its reply reads as bytes unread", ExchangeKind::Status, Outcome::Closed, false,
       "the printer closed the connection without a reply (ECONNRESET)"},
      {"a printer that kept its side open goes unmentioned", ExchangeKind::Text, Outcome::Ok, true,
       "ok, the printer took 5 of 5 bytes and kept the connection open"},
      // English counts one thing in the singular.
      {"one byte counted as bytes", ExchangeKind::Frame, Outcome::Ok, false, "ok, the printer took 1 of 1 byte", 1},
      {"a reply of one byte counted as bytes", ExchangeKind::Status, Outcome::Ok, false, "reply of 1 byte", 1},
      {"one printer counted as printers", ExchangeKind::Sweep, Outcome::Ok, false,
       "1 printer answered, 253 refused, 0 silent", 1},
      {"the one byte thrown away counted as all bytes", ExchangeKind::Text, Outcome::Closed, false,
       "the printer's TCP took its 1 byte, then the printer reset the connection without reading it (ECONNRESET)", 1},
  };
  for (const Case& c : cases) {
    ExchangeRecord r = FrameRecord();
    r.kind = c.kind;
    r.outcome = c.outcome;
    r.sysError = c.outcome == Outcome::Ok ? 0 : ECONNRESET;
    r.peerOpen = c.peerOpen;
    r.sent.resize(c.bytes);
    r.taken = c.bytes;
    r.received.assign(c.bytes, 0);
    r.answering = static_cast<int>(c.bytes);
    r.refusing = 254 - r.answering;
    EXPECT_EQ(Words(r), c.text) << c.fault;
  }
}

TEST(ExchangeJson, EachLineParsesBackFieldByField) {
  ExchangeRecord ok = FrameRecord();

  ExchangeRecord heldOpen = FrameRecord();
  heldOpen.peerOpen = true;

  ExchangeRecord refused = FrameRecord();
  refused.kind = ExchangeKind::Status;
  refused.port = 4000;
  refused.sent = {0x1B, 0x76};
  refused.taken = 0;
  refused.outcome = Outcome::Refused;
  refused.sysError = ECONNREFUSED;

  ExchangeRecord text = FrameRecord();
  text.kind = ExchangeKind::Text;
  text.port = 4000;
  const std::string gbk = "\"\xB2\xE2\xCA\xD4\"\n";  // quotes, GBK, a line feed
  text.sent.assign(gbk.begin(), gbk.end());

  ExchangeRecord sweep;
  sweep.kind = ExchangeKind::Sweep;
  sweep.address = "192.168.1.0/24";
  sweep.port = 4000;
  sweep.waitMs = 500;
  sweep.answering = 1;
  sweep.refusing = 250;
  sweep.silent = 3;
  sweep.found = {"192.168.1.77"};
  sweep.durationMs = 503;

  // 0.x is never tried: on Linux it would reach this machine.
  ExchangeRecord badProbe;
  badProbe.kind = ExchangeKind::Probe;
  badProbe.address = "0.1.2.3";
  badProbe.port = 4000;
  badProbe.outcome = Outcome::BadAddress;

  ExchangeRecord badSweep = sweep;
  badSweep.address = "0.1.2.0/24";
  badSweep.outcome = Outcome::BadAddress;
  badSweep.answering = badSweep.refusing = badSweep.silent = 0;
  badSweep.found.clear();

  const std::vector<std::string> fields = {"time",     "kind",    "address", "port", "sent",
                                           "received", "outcome", "error",   "ms",   "summary"};
  struct Case {
    std::string catches;
    ExchangeRecord record;
    Json expected;  // the fields to compare, time aside
  } cases[] = {
      {"a frame: hex with spaces, error null, summary decoded",
       ok,
       {{"kind", "frame"},
        {"address", "192.168.1.10"},
        {"port", 9100},
        {"sent", "1B 70 00 08 08"},
        {"received", ""},
        {"outcome", "ok"},
        {"error", nullptr},
        {"ms", 2},
        {"summary", "ESC p drawer pulse: pin 2, on 16 ms, off 16 ms"},
        {"peer_open", false}}},
      {"a frame delivered to a printer that kept its side open: peer_open lost",
       heldOpen,
       {{"outcome", "ok"}, {"error", nullptr}, {"peer_open", true}}},
      {"a refused query: errno by name",
       refused,
       {{"kind", "status"},
        {"port", 4000},
        {"sent", "1B 76"},
        {"outcome", "refused"},
        {"error", "ECONNREFUSED"},
        {"summary", "ESC v status request"}}},
      {"a text job: GBK read as UTF-8, quotes escaped",
       text,
       {{"kind", "text"},
        {"sent", "22 B2 E2 CA D4 22 0A"},
        {"peer_open", false},
        {"summary", "text \"\\\"\xE6\xB5\x8B\xE8\xAF\x95\\\"\\n\""}}},
      {"a sweep: the probed port and the found list",
       sweep,
       {{"kind", "sweep"},
        {"address", "192.168.1.0/24"},
        {"port", 4000},
        {"sent", ""},
        {"outcome", "ok"},
        {"ms", 503},
        {"found", {"192.168.1.77"}},
        {"summary", "sweep of 192.168.1.0/24 on port 4000: 1 answering, 250 refusing, 3 silent within 500 ms"}}},
      {"a probe of 0.x said a connection opened",
       badProbe,
       {{"outcome", "bad-address"}, {"summary", "no connection tried, nothing sent"}}},
      {"a sweep of 0.x read as hosts that were silent",
       badSweep,
       {{"outcome", "bad-address"}, {"summary", "sweep of 0.1.2.0/24 on port 4000: no connection tried"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.catches);
    const std::string line = RecordToJson(c.record);
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one record, one line";
    const Json j = Json::parse(line);
    for (const auto& [key, value] : c.expected.items()) EXPECT_EQ(j.at(key), value) << key;
    std::vector<std::string> keys;
    for (const auto& [key, value] : j.items()) keys.push_back(key);
    std::vector<std::string> wanted = fields;
    if (c.record.kind == ExchangeKind::Sweep) wanted.push_back("found");
    if (c.record.kind == ExchangeKind::Frame || c.record.kind == ExchangeKind::Text) wanted.push_back("peer_open");
    std::sort(keys.begin(), keys.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(keys, wanted) << "exactly the documented fields";
    EXPECT_TRUE(j.at("port").is_number() && j.at("ms").is_number());
  }
}

TEST(ExchangeJson, TimeIsLocalWithMillisecondsAndOffset) {
  const char* saved = std::getenv("TZ");
  const std::string restore = saved ? saved : "";
  struct Case {
    const char* tz;
    std::int64_t ms;
    const char* expected;
  } cases[] = {
      {"UTC0", 0, "1970-01-01T00:00:00.000+00:00"},
      {"CST-8", 1'700'000'000'123, "2023-11-15T06:13:20.123+08:00"},     // east of UTC
      {"EST5", 1'700'000'000'009, "2023-11-14T17:13:20.009-05:00"},      // west: the sign
      {"IST-5:30", 1'700'000'000'999, "2023-11-15T03:43:20.999+05:30"},  // half-hour offset
      {"UTC0", -1, "1969-12-31T23:59:59.999+00:00"},                     // before 1970: ms not negative
  };
  for (const Case& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    EXPECT_EQ(IsoTime(c.ms), c.expected) << c.tz;
  }
  if (saved)
    setenv("TZ", restore.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(ExchangeJson, LocalTimeNowIsWholeOrEmptyNeverCutOrUninitialised) {
  EXPECT_EQ(LocalTimeNow("%H:%M:%S").size(), 8u) << "a status line's clock: hh:mm:ss";
  EXPECT_EQ(LocalTimeNow("%Y-%m-%d").size(), 10u) << "a start-up note's date: yyyy-mm-dd";
  EXPECT_EQ(LocalTimeNow(std::string(70, 'x').c_str()), "") << "longer than the buffer: empty, not garbage";
}

TEST(ExchangeJson, RangeNamesTheSubnetOnlyWhenThereIsOne) {
  EXPECT_EQ(RangeOf({"10.0.7.1", "10.0.7.254"}), "10.0.7.0/24");
  EXPECT_EQ(RangeOf({"10.0.7.1", "10.0.8.1"}), "2 addresses");
  EXPECT_EQ(RangeOf({"10.0.7.1", "printer"}), "2 addresses");
  EXPECT_EQ(RangeOf({}), "0 addresses");
}

TEST(ExchangeJson, LogFileAppendsWholeLinesAndAnUnwritableFileSaysSo) {
  const auto dir = std::filesystem::temp_directory_path() / ("exchange-log-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / "log.jsonl";
  { std::ofstream(path) << "{\"earlier\":true}\n"; }
  std::string error;
  auto log = JsonLineLog::Open(path.string(), error);
  ASSERT_TRUE(log) << error;
  log->OnExchange(FrameRecord());
  // Flushed at once: readable before the log is closed.
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u) << "the file was not appended to, or not flushed";
  EXPECT_EQ(Json::parse(lines[1]).at("sent"), "1B 70 00 08 08");
  log.reset();

  EXPECT_FALSE(JsonLineLog::Open((dir / "missing" / "log.jsonl").string(), error));
  EXPECT_NE(error.find("missing/log.jsonl"), std::string::npos) << error;
  std::filesystem::remove_all(dir);
}

}  // namespace
