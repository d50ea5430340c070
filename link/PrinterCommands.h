#pragma once
// One function per printer operation, below every front end: the console's
// buttons, the status monitor's poll and printertest's commands call these
// and only translate what comes back. Each operation is a plan of exchanges
// (a probe, a frame, a text job, a status query), each on its own
// connection, in the order they go. The functions run a plan to its first
// failure and return what happened as data: every exchange's record, the
// printer's answer where there is one, the first failure. A front end that
// must speak between two exchanges (the console shows a message box after
// each failed frame) runs the plan's steps itself with RunStep.
//
// Nothing here shows or prints anything, holds a lock or starts a thread.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ExchangeRecord.h"
#include "Frames.h"
#include "Neighbours.h"
#include "PrinterStatus.h"
#include "SocketLibrary.h"
#include "SweepHosts.h"
#include "Transport.h"

namespace printerlink {

// The printer an operation goes to, and the bounds of its exchanges.
struct Printer {
  SocketLibrary& sockets;
  std::string address;
  LinkTimings timings{};
  int probeWaitMs = kProbeWaitMs;
  // Gets each exchange's record as soon as it has ended, besides the
  // result; on the thread that runs the operation. Not owned.
  ExchangeObserver* observer = nullptr;
};

// One exchange of a plan.
struct Step {
  ExchangeKind kind = ExchangeKind::Frame;  // Probe, Frame, Text or Status
  std::uint16_t port = kFramePort;
  std::vector<std::uint8_t> bytes;  // nothing for a probe
  // A question answered on the port it was asked on (GS I, DLE EOT): where
  // its answer ends and how long it may take. Without one, a status query is
  // ESC v, answered on port 4000 by the reply schedule.
  AnswerEnd answerEnd = nullptr;
  int answerWaitMs = 0;
  // One of the four fixed frames (ESC @, ESC p, ESC d, ESC m): the console
  // clears its ten-byte CommandFrame before it writes one. A setting or typed
  // bytes overwrite only their own and leave what a longer frame left behind.
  bool clearsFrame = false;
};
using Plan = std::vector<Step>;

// What an operation did.
struct Done {
  std::vector<ExchangeRecord> records;  // one per exchange made, in order
  LinkResult last;                      // the last exchange's result
  ReplyBuffer reply{};                  // a status query's answer from index 0
  std::size_t received = 0;             // how many bytes of it arrived
  std::vector<std::uint8_t> answer;     // the last question's answer (GS I, DLE EOT), whole or as far as it came

  // Every exchange ended well (a status query with at least one byte).
  bool ok() const;
  // The record that decides how the operation went: its first failure, else
  // its last exchange. Only for an operation that made one.
  const ExchangeRecord& Deciding() const;
};

// The plans, one per operation.
Plan TestPlan();                                    // can port 4000 be reached? nothing is sent
Plan StatusPlan();                                  // port 9100 must connect, then ESC v on 4000
Plan PrintPlan(std::string_view bytes);             // one text job, the bytes as they are
Plan TestPagePlan(std::string_view page);           // the page as one text job, and the line feed Print adds
Plan DrawerPlan();                                  // ESC p, pin 2
Plan CutPlan();                                     // "Testing the cut", then feed, then cut
Plan InitPlan();                                    // ESC @
Plan RawPlan(std::span<const std::uint8_t> bytes);  // the bytes as typed, however many
Plan SetAddressPlan(const Ipv4Octets& next);        // GS D
Plan SetMacPlan(const MacBytes& mac);               // GS E
Plan IdentityPlan();                                // GS I: maker, model, serial, firmware, each on port 9100
Plan DrawerCheckPlan();                             // DLE EOT 1, ESC p, DLE EOT 1: the sensor around a pulse

// The real-time status a printer answers DLE EOT 1 with: one byte, bit 2 the
// drawer connector's pin 3. Bits 1 and 4 are always set, 0 and 7 always
// clear: a byte that breaks them is no such answer.
inline constexpr std::uint8_t kDrawerPin3Bit = 0x04;
std::size_t RealTimeStatusEnd(std::span<const std::uint8_t> received);
// Pin 3 high, from a whole DLE EOT 1 answer; nothing for another byte.
std::optional<bool> DrawerPin3High(std::span<const std::uint8_t> answer);

// Makes one exchange of a plan: its record goes to the printer's observer
// and into `done`, a status query's answer into done.reply.
LinkResult RunStep(const Printer& printer, const Step& step, Done& done);
// Makes the plan's exchanges in order until one fails: what follows a failed
// one would fail too.
Done Run(const Printer& printer, const Plan& plan);

// The operations.
inline Done TestConnection(const Printer& p) { return Run(p, TestPlan()); }
inline Done PrintText(const Printer& p, std::string_view bytes) { return Run(p, PrintPlan(bytes)); }
inline Done OpenDrawer(const Printer& p) { return Run(p, DrawerPlan()); }
inline Done CutPaper(const Printer& p) { return Run(p, CutPlan()); }
inline Done InitPrinter(const Printer& p) { return Run(p, InitPlan()); }
inline Done SendRaw(const Printer& p, std::span<const std::uint8_t> bytes) { return Run(p, RawPlan(bytes)); }
inline Done SetAddress(const Printer& p, const Ipv4Octets& next) { return Run(p, SetAddressPlan(next)); }
inline Done SetMac(const Printer& p, const MacBytes& mac) { return Run(p, SetMacPlan(mac)); }

// A status read: the printer is reached when it took a connection on port
// 9100 and then the whole query on port 4000, and has answered when at least
// one byte came back.
struct StatusRead {
  Done done;
  bool reached = false;
  bool answered = false;
  ConditionStates conditions{};  // per kConditions; unknown where no byte said
};
// What a run of StatusPlan (whole or cut short by a failure) read.
StatusRead StatusOf(Done done);
inline StatusRead ReadStatus(const Printer& p) { return StatusOf(Run(p, StatusPlan())); }

// A sweep of a /24: every host 1 to 254 probed on port 4000 within one wait.
struct SweepDone {
  std::vector<std::string> addresses;     // the hosts probed, in order
  std::vector<bool> answered;             // per address
  std::vector<HardwareAddress> hardware;  // per found address (record.found)
  ExchangeRecord record;                  // the one record of the whole sweep
};
// The found printers' MACs and vendors come from the neighbour table the
// probes filled, in the record too: not a byte more goes on the wire.
SweepDone Sweep(SocketLibrary& sockets, const std::array<std::uint8_t, 3>& subnet, int waitMs = kSweepProbeWaitMs,
                ExchangeObserver* observer = nullptr, const LocalTables& tables = {});

}  // namespace printerlink
