#pragma once
// Finding the printers of a /24: every host answers or not on port 4000
// within one shared wait, and the answers are taken in host order.

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "ExchangeRecord.h"
#include "Neighbours.h"
#include "SocketLibrary.h"
#include "SweepHosts.h"

using printerlink::kSweepFirstHost;
using printerlink::kSweepLastHost;

// The progress bar's position after `host`: host × 100 / 254 to the nearest
// integer (0 for host 1, 50 for 127, 100 for 254).
int SweepProgress(int host);

// Probes hosts 1 to 254 of subnet.0/24 at once, then calls `step` for each
// host in ascending order with its dotted address, whether it answered and,
// when it did, its card in words from the neighbour table (FoundHardwareText).
// `observer` gets one record for the whole sweep.
void ProbeSubnet(printerlink::SocketLibrary& sockets, const std::array<std::uint8_t, 3>& subnet,
                 const std::function<void(int host, const std::string& address, bool found, const QString& card)>& step,
                 printerlink::ExchangeObserver* observer = nullptr, const printerlink::LocalTables& tables = {});
