#pragma once
// What the link tests that talk to a loopback printer share: the printer and
// the socket library by their short names, bytes as a list, and the longest
// wait for the printer.

#include <cstdint>
#include <vector>

#include "LoopbackOnlyLibrary.h"
#include "TestAddress.h"
#include "TestPrinter.h"

using testsupport::LoopbackOnlyLibrary;
using testsupport::PortBehaviour;
using testsupport::PortMode;
using testsupport::TestPrinter;

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kWaitMs = 5000;  // the most any test waits for the printer to see something
