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
#include <thread>

#include "RunProgram.h"
#include "TestAddress.h"
#include "TestPrinter.h"

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

std::string Describe(const Finished& f) {
  return "exit " + std::to_string(f.exit) + "\nout: " + f.out + "\nerr: " + f.err;
}

Finished For(const std::string& printer, const std::vector<std::string>& args) {
  return Printertest(args, {{"PRINTERTEST_PRINTER", printer}});
}

// ---------------------------------------------------------------------------

TEST(PrintertestIdentify, WhatThePrinterTellsIsShownAndWhatItDoesNotIsUnknown) {
  TestPrinter talking(testsupport::TestAddress(1), {PortMode::Answer, Block("VP-80")});
  Finished f = For(talking.Address(), {"--json", "identify"});
  ASSERT_EQ(f.exit, 0) << Describe(f);
  auto j = nlohmann::json::parse(f.out);
  EXPECT_EQ(j["model"], "VP-80");
  EXPECT_EQ(j["serial"], "VP-80");
  EXPECT_EQ(j["mac_source"], "local");
  EXPECT_EQ(j["exchanges"].size(), 4u) << "one question per field";

  TestPrinter mute(testsupport::TestAddress(2), {PortMode::Record});
  f = For(mute.Address(), {"identify"});
  EXPECT_EQ(f.exit, 0) << "a printer that tells nothing is no failure: " << Describe(f);
  EXPECT_NE(f.out.find("Serial: unknown"), std::string::npos) << f.out;

  TestPrinter refusing(testsupport::TestAddress(3), {PortMode::Refuse}, {PortMode::Refuse});
  f = For(refusing.Address(), {"identify"});
  EXPECT_EQ(f.exit, 3) << Describe(f);
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
    SCOPED_TRACE("nothing answers on the new address");
    TestPrinter printer(old, {PortMode::Answer, Block("S1")});
    const Finished f = For(old, {"set-ip", next, "--follow", "2"});
    EXPECT_EQ(f.exit, 4) << Describe(f);
    EXPECT_NE(f.err.find("Nothing answered on " + next + " within 2 s"), std::string::npos) << f.err;
  }
  {
    SCOPED_TRACE("another printer holds the new address");
    TestPrinter printer(old, {PortMode::Answer, Block("S1")});
    TestPrinter squatter(next, {PortMode::Answer, Block("S2")});
    const Finished f = For(old, {"--json", "set-ip", next, "--follow", "5"});
    EXPECT_EQ(f.exit, 1) << Describe(f);
    const auto j = nlohmann::json::parse(f.out.substr(f.out.rfind("{\"command\"")));
    EXPECT_EQ(j["same"], "other");
    EXPECT_EQ(j["after"]["serial"], "S2");
  }
}

// ---------------------------------------------------------------------------

TEST(PrintertestDrawerCheck, ExitTellsNoChangeFromNoReadingAndFromNoPrinter) {
  const struct {
    const char* fault;
    PortBehaviour on9100;
    int exit;
    const char* words;
  } cases[] = {
      {"a sensor that never changes passes for an opening", {PortMode::Answer, {0x16}}, 1, "did not change"},
      {"a printer without a reading passes for one", {PortMode::Record}, 4, "no drawer sensor reading"},
      {"a refusing printer passes for a silent one", {PortMode::Refuse}, 3, "refused"},
  };
  int host = 1;
  for (const auto& c : cases) {
    TestPrinter printer(testsupport::TestAddress(host++), c.on9100);
    const Finished f = For(printer.Address(), {"drawer", "--check"});
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
