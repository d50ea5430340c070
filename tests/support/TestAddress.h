#pragma once
// The running test's own addresses: a /24 inside loopback picked from the
// test's full name, so every test can listen on the real ports 9100 and 4000
// without colliding with tests running beside it.

#include <gtest/gtest.h>

#include <string>

#include "TestPrinter.h"

namespace testsupport {

// "127.x.y.host" in the running test's /24; `net` picks another /24 of its own.
inline std::string TestAddress(int host = 1, const std::string& net = {}) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return LoopbackAddressFor(std::string(info->test_suite_name()) + "." + info->name() + net, host);
}

}  // namespace testsupport
