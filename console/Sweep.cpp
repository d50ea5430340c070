#include "Sweep.h"

#include "ExchangeLogFormat.h"
#include "PrinterCommands.h"
#include "Waiting.h"

int SweepProgress(int host) { return static_cast<int>(host * 100 * (1.0 / kSweepLastHost) + 0.5); }

void ProbeSubnet(printerlink::SocketLibrary& sockets, const std::array<std::uint8_t, 3>& subnet,
                 const std::function<void(int host, const std::string& address, bool found, const QString& card)>& step,
                 printerlink::ExchangeObserver* observer, const printerlink::LocalTables& tables) {
  // One wait for the whole subnet: a printer on Wi-Fi or behind a router
  // answers too, and the sweep takes about half a second.
  const printerlink::SweepDone sweep = WaitWithoutFreezing([&sockets, subnet, &tables] {
    return printerlink::Sweep(sockets, subnet, printerlink::kSweepProbeWaitMs, nullptr, tables);
  });
  if (observer) observer->OnExchange(sweep.record);
  const printerlink::ExchangeRecord& r = sweep.record;
  std::size_t found = 0;  // the found printers come in the order probed
  for (std::size_t i = 0; i < sweep.addresses.size(); ++i) {
    QString card;
    if (sweep.answered[i] && found < r.foundMac.size()) {
      card = FoundHardwareText(r.foundMac[found], r.foundVendor[found]);
      ++found;
    }
    step(kSweepFirstHost + static_cast<int>(i), sweep.addresses[i], sweep.answered[i], card);
  }
}
