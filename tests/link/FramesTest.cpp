#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Frames.h"
#include "TestPage.h"

using namespace printerlink;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sent(const CommandFrame& frame, std::size_t length) { return Bytes(frame.begin(), frame.begin() + length); }

struct FrameCase {
  std::string catches;
  std::function<std::size_t(CommandFrame&)> build;
  Bytes expected;
};

TEST(Frames, EachFrameWritesExactlyItsBytes) {
  const std::vector<FrameCase> cases = {
      {"init is ESC @", BuildInitFrame, {0x1B, 0x40}},
      {"drawer pulses pin 2 for 16 ms on and off", BuildDrawerFrame, {0x1B, 0x70, 0x00, 0x08, 0x08}},
      {"feed is 16 lines", BuildFeedFrame, {0x1B, 0x64, 0x10}},
      {"cut is ESC m", BuildCutFrame, {0x1B, 0x6D}},
      {"status query is ESC v", BuildStatusQueryFrame, {0x1B, 0x76}},
      {"new address in text order with its checksum",
       [](CommandFrame& f) {
         return BuildSetIpFrame(f, {192, 168, 1, 100});
       },
       {0x1D, 0x44, 0xC0, 0xA8, 0x01, 0x64, 0xCD}},
      {"checksum wraps: 255.255.255.255 -> FC",
       [](CommandFrame& f) {
         return BuildSetIpFrame(f, {255, 255, 255, 255});
       },
       {0x1D, 0x44, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC}},
      {"address 0.0.0.0 has checksum 00",
       [](CommandFrame& f) {
         return BuildSetIpFrame(f, {0, 0, 0, 0});
       },
       {0x1D, 0x44, 0x00, 0x00, 0x00, 0x00, 0x00}},
      {"default MAC 554433221100 sums to FF",
       [](CommandFrame& f) {
         return BuildSetMacFrame(f, {0x55, 0x44, 0x33, 0x22, 0x11, 0x00});
       },
       {0x1D, 0x45, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xFF}},
      {"MAC checksum wraps: FFFFFFFFFFFF -> FA",
       [](CommandFrame& f) {
         return BuildSetMacFrame(f, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
       },
       {0x1D, 0x45, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA}},
      {"one typed byte is a one-byte frame",
       [](CommandFrame& f) {
         const Bytes b{0x0A};
         return BuildRawHexFrame(f, b);
       },
       {0x0A}},
      {"ten typed bytes fill the frame",
       [](CommandFrame& f) {
         const Bytes b{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
         return BuildRawHexFrame(f, b);
       },
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const FrameCase& c : cases) {
    CommandFrame frame;
    frame.fill(0xEE);
    const std::size_t length = c.build(frame);
    EXPECT_EQ(Sent(frame, length), c.expected) << c.catches;
  }
}

// Which frames clear the area first decides what is left behind them; the
// leftovers must never reach the wire, and the clearing ones must leave zeros.
TEST(Frames, ClearingFramesZeroTheRestOthersKeepLeftovers) {
  CommandFrame frame;
  frame.fill(0xEE);
  BuildSetMacFrame(frame, {0x55, 0x44, 0x33, 0x22, 0x11, 0x00});

  CommandFrame afterQuery = frame;
  ASSERT_EQ(BuildStatusQueryFrame(afterQuery), 2u);
  EXPECT_EQ(afterQuery, (CommandFrame{0x1B, 0x76, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xFF, 0xEE}))
      << "the status query writes bytes 0 and 1 only";

  const std::vector<std::pair<std::string, std::size_t (*)(CommandFrame&)>> clearing = {
      {"init", BuildInitFrame}, {"drawer", BuildDrawerFrame}, {"feed", BuildFeedFrame}, {"cut", BuildCutFrame}};
  for (const auto& [name, build] : clearing) {
    CommandFrame f = frame;
    const std::size_t length = build(f);
    for (std::size_t i = length; i < kFrameSize; ++i) EXPECT_EQ(f[i], 0) << name << " leaves byte " << i;
  }

  CommandFrame afterIp = frame;
  BuildSetIpFrame(afterIp, {10, 0, 0, 1});
  EXPECT_EQ(afterIp[7], 0x00) << "set IP leaves the MAC frame's byte 7";
  EXPECT_EQ(afterIp[8], 0xFF) << "set IP leaves the MAC frame's checksum";
}

TEST(Frames, RawHexFrameNeverWritesPastTheTenthByte) {
  CommandFrame frame;
  frame.fill(0xEE);
  const Bytes eleven(11, 0x41);
  EXPECT_EQ(BuildRawHexFrame(frame, eleven), 0u) << "eleven bytes do not fit";
  EXPECT_EQ(BuildRawHexFrame(frame, Bytes{}), 0u) << "no bytes is no frame";
  for (std::uint8_t b : frame) EXPECT_EQ(b, 0xEE) << "a refused list wrote into the frame";
}

TEST(TestPage, HasItsSevenPiecesAsGbkBytes) {
  std::tm t{};
  t.tm_year = 108;  // 2008
  t.tm_mon = 2;
  t.tm_mday = 7;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 3;
  std::string page = "kept:";
  BuildTestPage(page, t);
  const std::string expected =
      "kept:"
      "\xCA\xB1\xBC\xE4:08-03-07 09:05:03\n\n"
      "0123456789\n"
      "abcdefghijklmnopqrstuvwxyz\n"
      "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
      "~!@#$%^&*()_+-={}[]|,./?';:\\\"\n"
      "\nBrenholt\n"
      "\n";
  EXPECT_EQ(page, expected);
}

}  // namespace
