#include "Identity.h"

#include <algorithm>
#include <chrono>

namespace printerlink {
namespace {

constexpr std::uint8_t GS = 0x1D;
constexpr std::size_t kMaxTextBlock = 80;  // a printer's longest answer

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  return static_cast<int>(
      std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
}

}  // namespace

std::size_t TextBlockEnd(std::span<const std::uint8_t> received) {
  const auto header = std::find(received.begin(), received.end(), kTextBlockHeader);
  if (header == received.end()) return 0;
  const auto nul = std::find(header + 1, received.end(), std::uint8_t{0});
  if (nul == received.end()) return 0;
  return static_cast<std::size_t>(nul - received.begin()) + 1;
}

std::optional<std::string> TextBlockText(std::span<const std::uint8_t> answer) {
  const std::size_t end = TextBlockEnd(answer);
  if (end == 0) return std::nullopt;
  const auto start =
      static_cast<std::size_t>(std::find(answer.begin(), answer.end(), kTextBlockHeader) - answer.begin()) + 1;
  const std::string_view text(reinterpret_cast<const char*>(answer.data()) + start, end - 1 - start);
  if (text.size() > kMaxTextBlock) return std::nullopt;
  // Printable ASCII only: anything else is no name a technician can read or
  // compare, and may not be text at all.
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; })) return std::nullopt;
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

Plan IdentityPlan() {
  Plan plan;
  for (const IdentityRow& row : kIdentityFields) {
    plan.push_back({ExchangeKind::Status, kFramePort, {GS, 0x49, row.n}, TextBlockEnd, row.answerWaitMs});
  }
  return plan;
}

Identity AskIdentity(const Printer& printer) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kIdentityBudgetMs);
  Identity id;
  id.address = printer.address;
  // Every wait of every question ends by the deadline: a slow connection
  // leaves its question less time for the answer, never more in all.
  Printer bounded = printer;
  bounded.timings.endBy = deadline;
  const Plan plan = IdentityPlan();
  for (std::size_t i = 0; i < plan.size(); ++i) {
    if (MsLeft(deadline) < kIdentityLeastWaitMs) break;
    const LinkResult r = RunStep(bounded, plan[i], id.done);
    // Not there, or gone: the next questions would only fail too.
    if (!r.ok()) break;
    id.reached = true;
    if (r.reply == ReplyEnd::Arrived) id.fields[i] = TextBlockText(id.done.answer);
  }
  return id;
}

Identity ReadIdentity(const Printer& printer, const LocalTables& tables) {
  Identity id = AskIdentity(printer);
  id.hardware = HardwareOf({printer.address}, tables).front();
  return id;
}

Sameness Compare(const Identity& before, const Identity& after) {
  const auto& s1 = before.Field(IdentityField::Serial);
  const auto& s2 = after.Field(IdentityField::Serial);
  if (s1 && s2) return *s1 == *s2 ? Sameness::Same : Sameness::Other;
  if (before.hardware.found() && after.hardware.found()) {
    return before.hardware.mac == after.hardware.mac ? Sameness::Same : Sameness::Other;
  }
  return Sameness::CannotTell;
}

}  // namespace printerlink
