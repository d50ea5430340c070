// printertest metrics: the printers file, the exposition Prometheus's own
// checker accepts, the file replaced whole, and node_exporter serving it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "Metrics.h"
#include "RunProgram.h"
#include "Sanitized.h"
#include "TestAddress.h"
#include "TestPrinter.h"

using clitest::Describe;
using clitest::Finished;
using clitest::Printertest;
using clitest::Program;
using testsupport::PortBehaviour;
using testsupport::PortMode;
using testsupport::TestPrinter;

namespace {

// A directory of the test's own, emptied first.
std::string TempDirFor(const std::string& name) {
  const std::string dir = ::testing::TempDir() + "/metrics-" + std::to_string(getpid()) + "-" + name;
  if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) ADD_FAILURE() << "cannot empty " << dir;
  ::mkdir(dir.c_str(), 0755);
  return dir;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The samples of an exposition, by series ("printer_up{printer=\"...\"}"): value.
std::map<std::string, std::string> Samples(const std::string& text) {
  std::map<std::string, std::string> samples;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.rfind(' ');
    samples[line.substr(0, space)] = line.substr(space + 1);
  }
  return samples;
}

// ---------------------------------------------------------------------------

TEST(ParsePrinterList, ReadsAddressesNamesAndCommentsAndNamesTheBadLine) {
  struct Case {
    const char* fault;
    std::string text;
    std::vector<std::pair<std::string, std::string>> printers;
    std::string error;
  };
  const Case cases[] = {
      {"names with blanks, comments, blank lines and CR LF",
       "# shops\n192.168.1.50 Shop 12 front counter\r\n\n  10.0.0.7\t# back office\n10.0.0.8 Bar #2\n"
       "10.0.0.9 Caf\u00e9 \u4e0a\u6d77\n",
       {{"192.168.1.50", "Shop 12 front counter"},
        {"10.0.0.7", ""},
        {"10.0.0.8", "Bar"},
        {"10.0.0.9", "Caf\u00e9 \u4e0a\u6d77"}},
       ""},
      {"a last line without its line feed is lost", "10.0.0.9 Till", {{"10.0.0.9", "Till"}}, ""},
      {"an empty file is no error", "", {}, ""},
      {"a host name would be sent nowhere", "10.0.0.1\nprinter1 Shop\n", {}, "printers:2: \"printer1\" is not"},
      {"a Latin-1 name makes node_exporter drop every printer's series",
       "10.0.0.1 Bar\n10.0.0.2 Caf\xe9 du Nord\n",
       {},
       "printers:2: the name has a byte that is no UTF-8 (E9) after \"Caf\""},
      {"a printer listed twice gives duplicate series",
       "10.0.0.1 A\n\n10.0.0.1 B\n",
       {},
       "printers:3: 10.0.0.1 is listed twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const printercli::PrinterList list = printercli::ParsePrinterList(c.text, "printers");
    EXPECT_TRUE(list.error.starts_with(c.error)) << list.error;
    if (!c.error.empty()) continue;
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& p : list.printers) got.emplace_back(p.address, p.name);
    EXPECT_EQ(got, c.printers);
  }
}

// A fleet of every kind of printer, its names and its file.
struct Fleet {
  explicit Fleet(const std::string& dir)
      : fine(testsupport::TestAddress(1), {}, {PortMode::Answer, {0x00, 0x00, 0x00}}),
        coverOpen(testsupport::TestAddress(2), {}, {PortMode::Answer, {0x20, 0x00, 0x0C}}),
        shortReply(testsupport::TestAddress(3), {}, {PortMode::Answer, {0x08}}),
        refusing(testsupport::TestAddress(4), {PortMode::Refuse}, {PortMode::Refuse}),
        file(dir + "/printers") {
    std::ofstream(file) << "# the fleet\n"
                        << fine.Address() << " Shop 12 \"front\" counter\n"
                        << coverOpen.Address() << " Bar\\back\n"
                        << shortReply.Address() << "\n"
                        << refusing.Address() << " Closed shop\n";
  }
  TestPrinter fine, coverOpen, shortReply, refusing;
  std::string file;
};

TEST(Metrics, EveryPrinterStateIsExposedAsPrometheusReadsIt) {
  const std::string dir = TempDirFor("states");
  Fleet fleet(dir);
  const Finished f = Printertest({"metrics", "--printers", fleet.file});
  ASSERT_EQ(f.exit, 0) << Describe(f);

  const Finished lint = Program("promtool", {"check", "metrics"}, {}, f.out).Finish();
  EXPECT_EQ(lint.exit, 0) << "promtool refused the exposition (exit " << lint.exit << "; 127: promtool is missing,"
                          << " scripts/setup installs it):\n"
                          << lint.out << lint.err << "\n"
                          << f.out;

  const auto samples = Samples(f.out);
  const auto value = [&](const std::string& series) {
    const auto it = samples.find(series);
    return it == samples.end() ? std::string("(no sample)") : it->second;
  };
  const std::string fine = "printer=\"" + fleet.fine.Address() + "\",name=\"Shop 12 \\\"front\\\" counter\"";
  const std::string cover = "printer=\"" + fleet.coverOpen.Address() + "\",name=\"Bar\\\\back\"";
  const std::string partial = "printer=\"" + fleet.shortReply.Address() + "\"";
  const std::string refused = "printer=\"" + fleet.refusing.Address() + "\",name=\"Closed shop\"";
  const std::pair<std::string, std::string> expected[] = {
      {"printer_up{" + fine + "}", "1"},
      {"printer_up{" + refused + "}", "0"},
      {"printer_condition{" + fine + ",condition=\"online\"}", "1"},
      {"printer_condition{" + fine + ",condition=\"cover_open\"}", "0"},
      {"printer_condition{" + cover + ",condition=\"cover_open\"}", "1"},
      {"printer_condition{" + cover + ",condition=\"paper_end\"}", "1"},
      {"printer_condition{" + partial + ",condition=\"busy\"}", "1"},
      {"printer_condition{" + refused + ",condition=\"online\"}", "0"},
      {"printer_status_byte{" + cover + ",byte=\"1\"}", "32"},
      {"printer_status_byte{" + cover + ",byte=\"3\"}", "12"},
      {"printer_info{" + fine + "}", "1"},
      {"printer_info{" + partial + "}", "1"},
  };
  for (const auto& [series, v] : expected) EXPECT_EQ(value(series), v) << series << "\n" << f.out;
  const std::string unknown[] = {
      "printer_condition{" + partial + ",condition=\"paper_end\"}",
      "printer_status_byte{" + partial + ",byte=\"2\"}",
      "printer_condition{" + refused + ",condition=\"cover_open\"}",
  };
  for (const std::string& series : unknown) EXPECT_FALSE(samples.contains(series)) << series << ": unknown is no 0";
  EXPECT_TRUE(samples.contains("printer_status_read_duration_seconds{" + refused + "}"));
}

TEST(Metrics, OutputReplacesTheFileWholeReadableByAllAndLeavesNothingBeside) {
  const std::string dir = TempDirFor("output");
  TestPrinter printer(testsupport::TestAddress(), {}, {PortMode::Answer, {0x00, 0x00, 0x00}});
  const std::string output = dir + "/printers.prom";
  std::ofstream(output) << "old";
  // Its own --printer: printertest's default printer, bad here, is left alone.
  const Finished f =
      Printertest({"metrics", "--printer", printer.Address(), "--output", output}, {{"PRINTERTEST_PRINTER", "bogus"}});
  ASSERT_EQ(f.exit, 0) << Describe(f);
  EXPECT_TRUE(f.out.empty()) << f.out;
  EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"printers.prom"}) << "a temporary file was left behind";
  struct stat st {};
  ASSERT_EQ(::stat(output.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u) << "node_exporter runs as another user";
  std::stringstream text;
  text << std::ifstream(output).rdbuf();
  EXPECT_NE(text.str().find("printer_up{printer=\"" + printer.Address() + "\"} 1\n"), std::string::npos) << text.str();
}

TEST(Metrics, ArgumentsItCannotUseSendNothing) {
  const std::string dir = TempDirFor("refused");
  TestPrinter printer(testsupport::TestAddress());
  std::ofstream(dir + "/bad") << printer.Address() << "\nshop-printer\n";
  std::ofstream(dir + "/same") << "# given by --printer too\n" << printer.Address() << " Shop\n";
  struct Case {
    const char* fault;
    std::vector<std::string> args;
    std::string mentions;
  };
  const Case cases[] = {
      {"an output directory that does not exist, found only after the reads",
       {"--output", dir + "/missing/printers.prom"},
       "--output"},
      {"a bad line in the printers file", {"--printers", dir + "/bad"}, "bad:2:"},
      {"a printers file that cannot be read", {"--printers", dir + "/none"}, "cannot read"},
      {"a printer given by --printer and in the file", {"--printers", dir + "/same"}, "is given by --printer and in"},
      {"parallel reads of none", {"--parallel", "0"}, "--parallel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    std::vector<std::string> args = {"metrics", "--printer", printer.Address()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished f = Printertest(args);
    EXPECT_EQ(f.exit, 2) << Describe(f);
    EXPECT_NE(f.err.find(c.mentions), std::string::npos) << Describe(f);
    EXPECT_EQ(printer.AcceptedCount(), 0u) << "nothing may go on the wire";
  }
}

// Out of descriptors is this machine's fault, never the printers': the reads
// at a time fit what the open-files limit leaves, and a read that still finds
// no socket fails the run instead of passing for a printer down.
TEST(Metrics, TooFewDescriptorsNeverReadAsPrintersDown) {
  const std::string dir = TempDirFor("descriptors");
  std::vector<std::unique_ptr<TestPrinter>> fleet;
  std::ofstream list(dir + "/printers");
  // Each answer takes 50 ms, so that every read holds its socket at the same time.
  for (int host = 1; host <= 48; ++host) {
    fleet.push_back(std::make_unique<TestPrinter>(testsupport::TestAddress(host), PortBehaviour{},
                                                  PortBehaviour(PortMode::AnswerInParts, {0x00, 0x00, 0x00}, 50)));
    list << fleet.back()->Address() << "\n";
  }
  list.close();
  struct Case {
    const char* fault;
    const char* limit;  // prlimit's soft:hard
    int exit;
    std::string up;  // the printer_up value of every printer; "" for none
    const char* err;
  };
  // The limit counts every descriptor below it: those the test's own runner
  // leaves open are closed first.
  const char* kOnlyTheStandardStreams =
      "for fd in /proc/$$/fd/*; do fd=${fd##*/}; ((fd > 2)) && eval \"exec $fd>&-\"; done; exec \"$@\"";
  const Case cases[] = {
      {"128 reads at a time where 32 files may be open: answering printers read as down", "--nofile=32:32", 0, "1", ""},
      // The standard streams, the output and the log take all five.
      {"no socket to be had: every printer read as down, exit 0", "--nofile=5:5", 3, "", "failed on this machine"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    // A sanitizer's runtime needs descriptors of its own to check memory.
    if (testsupport::kSanitized && c.up.empty()) continue;
    const std::string output = dir + "/printers.prom";
    std::remove(output.c_str());
    const Finished f = Program({"--log", dir + "/log", "metrics", "--printers", dir + "/printers", "--output", output},
                               {}, {}, {"bash", "-c", kOnlyTheStandardStreams, "bash", "prlimit", c.limit, "--"})
                           .Finish();
    EXPECT_EQ(f.exit, c.exit) << Describe(f);
    EXPECT_NE(f.err.find(c.err), std::string::npos) << Describe(f);
    std::stringstream text;
    text << std::ifstream(output).rdbuf();
    const auto samples = Samples(text.str());
    for (const auto& printer : fleet) {
      const std::string series = "printer=\"" + printer->Address() + "\"";
      const auto up = samples.find("printer_up{" + series + "}");
      EXPECT_EQ(up == samples.end() ? "" : up->second, c.up) << series;
      EXPECT_TRUE(samples.contains("printer_info{" + series + "}")) << series;
    }
  }
}

// The whole path a user sets up: node_exporter's textfile collector pointed
// at a directory, metrics --output there, the printer series read back from
// node_exporter's own /metrics.
TEST(Metrics, NodeExporterServesThePrinterSeries) {
  const std::string dir = TempDirFor("textfile");
  TestPrinter printer(testsupport::TestAddress(1), {}, {PortMode::Answer, {0x20, 0x00, 0x00}});
  const std::string exporter = testsupport::TestAddress(250);
  Program node("prometheus-node-exporter",
               {"--web.listen-address=" + exporter + ":9100", "--collector.disable-defaults", "--collector.textfile",
                "--collector.textfile.directory=" + dir});
  const Finished f = Printertest({"metrics", "--printer", printer.Address(), "--output", dir + "/printers.prom"});
  ASSERT_EQ(f.exit, 0) << Describe(f);

  // node_exporter takes a moment to listen: ask again, for at most 10 s.
  std::string page;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (page.find("printer_up") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    page.clear();
    const int fd = testsupport::ConnectToLoopback(exporter, 9100, 5);
    if (fd < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: " + exporter + "\r\n\r\n";
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      char buf[65536];
      for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) page.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
  }
  const std::string printerLabel = "printer=\"" + printer.Address() + "\"";
  EXPECT_NE(page.find("printer_up{" + printerLabel + "} 1"), std::string::npos)
      << "node_exporter did not serve the printer (prometheus-node-exporter missing? scripts/setup installs it):\n"
      << page.substr(0, 2000) << node.Finish(1000).err;
  EXPECT_NE(page.find("printer_condition{condition=\"cover_open\"," + printerLabel + "} 1"), std::string::npos)
      << "labels come back sorted by name";
  EXPECT_NE(page.find("\nnode_textfile_scrape_error 0\n"), std::string::npos)
      << "node_exporter could not read the file";
}

}  // namespace
