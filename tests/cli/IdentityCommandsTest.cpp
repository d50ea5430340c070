// Which printer is which, from the shell: identify, sweep --details, the
// follow-up of set-ip --follow and drawer --check, against loopback printers;
// and the MAC of a printer across a real link, inside network namespaces.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "RunProgram.h"
#include "TestAddress.h"
#include "TestPrinter.h"
#include "VirtualPrinter.h"

using clitest::Describe;
using clitest::Finished;
using clitest::Printertest;
using clitest::Program;
using testsupport::PortBehaviour;
using testsupport::PortMode;
using testsupport::TestPrinter;
using Bytes = std::vector<std::uint8_t>;
using namespace std::literals;

namespace {

// A GS I answer: the header, the text, the NUL.
Bytes Block(std::string_view text) {
  Bytes b(text.size() + 2, 0x00);
  b.front() = 0x5F;
  std::copy(text.begin(), text.end(), b.begin() + 1);
  return b;
}

Finished For(const std::string& printer, const std::vector<std::string>& args) {
  return Printertest(args, {{"PRINTERTEST_PRINTER", printer}});
}

// A loopback test printer that behaves so on port 9100, or, without a
// behaviour, the virtual printer: a drawer that a pulse opens, and every
// answer `slowMs` late.
class AnyPrinter {
public:
  AnyPrinter(const std::string& address, const std::optional<PortBehaviour>& on9100, int slowMs = 0) {
    if (on9100) {
      test_.emplace(address, *on9100);
      return;
    }
    vprinter::VirtualPrinterOptions options;
    options.address = address;
    options.slowMs = slowMs;
    virtual_ = std::make_unique<vprinter::VirtualPrinter>(options, transcript_);
    std::string error;
    EXPECT_TRUE(virtual_->Start(error)) << error;
  }

private:
  std::ostringstream transcript_;  // outlives the virtual printer
  std::optional<TestPrinter> test_;
  std::unique_ptr<vprinter::VirtualPrinter> virtual_;
};

// ---------------------------------------------------------------------------

TEST(PrintertestIdentify, WhatThePrinterTellsIsShownAndWhatItDoesNotIsNull) {
  const std::vector<std::string> all = {"serial", "maker", "model", "firmware"};
  const struct {
    const char* fault;
    std::optional<PortBehaviour> on9100;  // none: the virtual printer, each answer 180 ms late
    int exit;
    const char* outcome;
    std::vector<std::string> told;
    std::vector<std::string> null;
  } cases[] = {
      {"what the printer tells is lost", PortBehaviour{PortMode::Answer, Block("VP-80")}, 0, "ok", all, {}},
      {"a printer that tells nothing is called silent though it was reached",
       PortBehaviour{PortMode::Record},
       0,
       "ok",
       {},
       all},
      {"a slow printer leaves no time for the serial the follow-up compares",
       std::nullopt,
       0,
       "ok",
       {"serial"},
       {"firmware"}},
      {"a refusing printer passes for one that tells nothing", PortBehaviour{PortMode::Refuse}, 3, "refused", {}, all},
  };
  int host = 1;
  for (const auto& c : cases) {
    const std::string address = testsupport::TestAddress(host++);
    AnyPrinter printer(address, c.on9100, 180);
    const Finished f = For(address, {"--json", "identify"});
    ASSERT_EQ(f.exit, c.exit) << c.fault << "\n" << Describe(f);
    const auto j = nlohmann::json::parse(f.out);
    EXPECT_EQ(j["outcome"], c.outcome) << c.fault << "\n" << f.out;
    for (const std::string& field : c.told) EXPECT_TRUE(j[field].is_string()) << c.fault << ": " << field;
    for (const std::string& field : c.null) EXPECT_TRUE(j[field].is_null()) << c.fault << ": " << field;
    EXPECT_EQ(j["mac_source"], "local") << c.fault;
  }

  TestPrinter mute(testsupport::TestAddress(9), {PortMode::Record});
  const Finished f = For(mute.Address(), {"identify"});
  EXPECT_EQ(f.exit, 0) << "a printer that tells nothing is no failure: " << Describe(f);
  EXPECT_NE(f.out.find("Serial: unknown"), std::string::npos) << f.out;
}

TEST(PrintertestSweep, DetailsComeForEveryPrinterAtOnce) {
  TestPrinter a(testsupport::TestAddress(7), {PortMode::Answer, Block("S7")});
  TestPrinter b(testsupport::TestAddress(9), {PortMode::Record});  // tells nothing: each question waits it out
  const std::string subnet = a.Address().substr(0, a.Address().rfind('.'));
  const Finished f = For(a.Address(), {"--json", "sweep", subnet, "--details"});
  ASSERT_EQ(f.exit, 0) << Describe(f);
  const auto j = nlohmann::json::parse(f.out);
  ASSERT_EQ(j["printers"].size(), 2u) << f.out;
  EXPECT_EQ(j["printers"][0]["address"], a.Address());
  EXPECT_EQ(j["printers"][0]["serial"], "S7");
  EXPECT_TRUE(j["printers"][1]["serial"].is_null()) << "silence became a serial";
  EXPECT_EQ(j["hardware"].size(), 2u) << "the sweep's record lacks the cards";
}

// ---------------------------------------------------------------------------
// After Set IP: the same printer, nothing, or another one on the new address.

TEST(PrintertestFollow, SetIpTellsTheSamePrinterFromNothingAndFromAClash) {
  const std::string old = testsupport::TestAddress(1);
  const std::string next = testsupport::TestAddress(2);
  {
    SCOPED_TRACE("the printer comes back on the new address two seconds later");
    TestPrinter printer(old, {PortMode::Answer, Block("S1")});
    Program run({"set-ip", next, "--follow", "8"}, {{"PRINTERTEST_PRINTER", old}});
    std::this_thread::sleep_for(2s);  // the printer's restart
    TestPrinter moved(next, {PortMode::Answer, Block("S1")});
    const Finished f = run.Finish();
    EXPECT_EQ(f.exit, 0) << Describe(f);
    EXPECT_NE(f.out.find("The same printer answers on " + next), std::string::npos) << f.out;
    const auto gsd = printer.ConnectionsOn(9100);
    EXPECT_TRUE(std::any_of(gsd.begin(), gsd.end(), [](const auto& c) { return c.bytes.size() == 7; }))
        << "GS D was not sent";
  }
  {
    SCOPED_TRACE("the new address answers on port 4000 before it takes questions on port 9100");
    TestPrinter printer(old, {PortMode::Answer, Block("S1")});
    Program run({"set-ip", next, "--follow", "8"}, {{"PRINTERTEST_PRINTER", old}});
    std::optional<TestPrinter> starting(std::in_place, next, PortBehaviour{PortMode::Refuse});
    std::this_thread::sleep_for(2s);
    starting.reset();
    TestPrinter moved(next, {PortMode::Answer, Block("S1")});
    const Finished f = run.Finish();
    EXPECT_EQ(f.exit, 0) << "the first answer on port 4000 ended the follow-up: " << Describe(f);
  }
  {
    SCOPED_TRACE("nothing answers on the new address");
    TestPrinter printer(old, {PortMode::Answer, Block("S1")});
    const Finished f = For(old, {"set-ip", next, "--follow", "2"});
    EXPECT_EQ(f.exit, 4) << Describe(f);
    EXPECT_NE(f.err.find("Nothing answered on " + next + " within 2 s"), std::string::npos) << f.err;
  }
  {
    SCOPED_TRACE("the new address never takes a question on port 9100");
    TestPrinter printer(old, {PortMode::Answer, Block("S1")});
    TestPrinter starting(next, {PortMode::Refuse});
    const Finished f = For(old, {"set-ip", next, "--follow", "1"});
    EXPECT_EQ(f.exit, 4) << Describe(f);
    EXPECT_NE(f.err.find("took no question on port 9100"), std::string::npos) << f.err;
  }
  {
    SCOPED_TRACE("another printer holds the new address");
    TestPrinter printer(old, {PortMode::Answer, Block("S1")});
    TestPrinter squatter(next, {PortMode::Answer, Block("S2")});
    const Finished f = For(old, {"--json", "set-ip", next, "--follow", "5"});
    EXPECT_EQ(f.exit, 1) << Describe(f);
    const auto j = nlohmann::json::parse(f.out);  // one object, or it throws
    EXPECT_EQ(j["same"], "other");
    EXPECT_EQ(j["after"]["serial"], "S2");
    EXPECT_EQ(j["setting"]["outcome"], "ok") << "the setting's exchange is not in the one object";
    EXPECT_EQ(j["setting"]["sent"].get<std::string>().substr(0, 5), "1D 44") << f.out;
  }
}

// ---------------------------------------------------------------------------

TEST(PrintertestDrawerCheck, ExitTellsNoChangeFromNoReadingAndFromNoPrinter) {
  const struct {
    const char* fault;
    std::optional<PortBehaviour> on9100;  // none: the virtual printer, whose drawer the pulse opens
    int exit;
    const char* words;
  } cases[] = {
      {"a drawer that opens is not told from a stuck one", std::nullopt, 0, "The drawer opened"},
      {"a sensor that never changes passes for an opening", PortBehaviour{PortMode::Answer, {0x16}}, 1,
       "did not change"},
      {"a printer without a reading passes for one", PortBehaviour{PortMode::Record}, 4, "no drawer sensor reading"},
      {"a refusing printer passes for a silent one", PortBehaviour{PortMode::Refuse}, 3, "refused"},
  };
  int host = 1;
  for (const auto& c : cases) {
    const std::string address = testsupport::TestAddress(host++);
    AnyPrinter printer(address, c.on9100);
    const Finished f = For(address, {"drawer", "--check"});
    EXPECT_EQ(f.exit, c.exit) << c.fault << "\n" << Describe(f);
    EXPECT_NE((f.out + f.err).find(c.words), std::string::npos) << c.fault << "\n" << Describe(f);
  }
}

// ---------------------------------------------------------------------------
// The MAC across a real link: a virtual printer in one network namespace, the
// program in another, joined by a veth pair. Needs root; removed afterwards.

class Namespaces {
public:
  Namespaces() : tag_(std::to_string(getpid() % 100000)) {
    ok_ = Sh("ip netns add ptc" + tag_) && Sh("ip netns add ptp" + tag_) &&
          Sh("ip link add vc" + tag_ + " netns ptc" + tag_ + " type veth peer name vp" + tag_ + " netns ptp" + tag_) &&
          Sh("ip -n ptc" + tag_ + " addr add 10.226.26.1/30 dev vc" + tag_) &&
          Sh("ip -n ptp" + tag_ + " addr add 10.226.26.2/30 dev vp" + tag_) &&
          Sh("ip -n ptc" + tag_ + " link set vc" + tag_ + " up") &&
          Sh("ip -n ptp" + tag_ + " link set vp" + tag_ + " up");
  }
  ~Namespaces() {
    if (printer_ > 0) {
      ::kill(printer_, SIGTERM);
      ::waitpid(printer_, nullptr, 0);
    }
    Sh("ip netns del ptc" + tag_ + " 2>/dev/null");  // takes the veth pair with it
    Sh("ip netns del ptp" + tag_ + " 2>/dev/null");
  }
  bool ok() const { return ok_; }
  std::string Client() const { return "ptc" + tag_; }
  // The printer side's MAC as the kernel writes it.
  std::string PrinterMac() const {
    const std::string file = ::testing::TempDir() + "/mac-" + tag_;
    Sh("ip -n ptp" + tag_ + " -o link show vp" + tag_ + " | sed 's/.*link\\/ether \\([^ ]*\\).*/\\1/' > " + file);
    std::string mac;
    std::ifstream(file) >> mac;
    std::remove(file.c_str());
    for (char& c : mac) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return mac;
  }
  void StartPrinter() {
    printer_ = ::fork();
    if (printer_ == 0) {
      const std::string ns = "ptp" + tag_;
      ::execlp("ip", "ip", "netns", "exec", ns.c_str(), VIRTUAL_PRINTER_BINARY, "--address", "10.226.26.2",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }

private:
  static bool Sh(const std::string& command) { return std::system(command.c_str()) == 0; }
  std::string tag_;
  bool ok_ = false;
  pid_t printer_ = -1;
};

TEST(PrintertestIdentify, TheMacComesFromTheNeighbourTableAcrossARealLink) {
  if (::geteuid() != 0 || std::system("command -v ip >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "needs root and iproute2 for network namespaces";
  }
  Namespaces net;
  if (!net.ok()) GTEST_SKIP() << "network namespaces cannot be made here";
  net.StartPrinter();
  // The printer needs a moment to bind; identify is asked until it answers.
  Finished f;
  for (int attempt = 0; attempt < 50; ++attempt) {
    f = Program({"--printer", "10.226.26.2", "--json", "identify"}, {}, {}, {"ip", "netns", "exec", net.Client()})
            .Finish();
    if (f.exit == 0) break;
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_EQ(f.exit, 0) << Describe(f);
  const auto j = nlohmann::json::parse(f.out);
  EXPECT_EQ(j["maker"], "Virtual");
  EXPECT_EQ(j["mac_source"], "found");
  EXPECT_EQ(j["mac"], net.PrinterMac());
  EXPECT_EQ(j["vendor"], "locally administered (no vendor)") << "a veth's MAC is made up locally";
}

}  // namespace
