#include "DrawerCheck.h"

namespace printerlink {
namespace {

// The level the answer gave, when the printer answered DLE EOT 1 at all.
std::optional<bool> Reading(const LinkResult& r, const Done& done) {
  if (!r.ok() || r.reply != ReplyEnd::Arrived) return std::nullopt;
  return DrawerPin3High(done.answer);
}

}  // namespace

DrawerCheck CheckDrawer(const Printer& printer) {
  const Plan plan = DrawerCheckPlan();
  DrawerCheck check;
  const LinkResult before = RunStep(printer, plan[0], check.done);
  if (!before.ok()) return check;  // not there: no pulse either
  check.pin3Before = Reading(before, check.done);
  if (!RunStep(printer, plan[1], check.done).ok()) return check;
  check.pulsed = true;
  printer.sockets.Sleep(kDrawerSettleMs);
  check.pin3After = Reading(RunStep(printer, plan[2], check.done), check.done);
  return check;
}

}  // namespace printerlink
