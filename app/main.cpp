// Start-up placeholder: the console window is not built yet. The printer link
// underneath it is, and its tests run with `make test`.
#include <cstdio>

#include "Transport.h"

int main() {
  std::printf(
      "Printer Test: the console window is not built yet.\n"
      "The printer link is ready: command frames go to port %u, answered frames and text jobs to port %u.\n",
      static_cast<unsigned>(printerlink::kFramePort), static_cast<unsigned>(printerlink::kReplyPort));
  return 0;
}
