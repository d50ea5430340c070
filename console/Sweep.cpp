#include "Sweep.h"

#include <vector>

#include "SweepHosts.h"
#include "TargetAddress.h"
#include "Transport.h"
#include "Waiting.h"

int SweepProgress(int host) { return static_cast<int>(host * 100 * (1.0 / kSweepLastHost) + 0.5); }

void ProbeSubnet(printerlink::SocketLibrary& sockets, const std::array<std::uint8_t, 3>& subnet,
                 const std::function<void(int host, const std::string& address, bool found)>& step,
                 printerlink::ExchangeObserver* observer) {
  const std::vector<std::string> addresses = printerlink::SweepAddresses(subnet);
  // One wait for the whole subnet: a printer on Wi-Fi or behind a router
  // answers too, and the sweep takes about half a second.
  printerlink::ExchangeBuffer records;
  const auto results = WaitWithoutFreezing([&sockets, &addresses, buffer = records.For(observer)] {
    return printerlink::ProbePrinters(sockets, addresses, printerlink::kReplyPort, printerlink::kSweepProbeWaitMs,
                                      buffer);
  });
  records.HandTo(observer);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    step(kSweepFirstHost + static_cast<int>(i), addresses[i], results[i].ok());
  }
}
