#include "PrinterStatus.h"

#include "ResourceIds.h"

namespace printerlink {

// clang-format off
constinit const std::array<ConditionRow, kConditionCount> kConditions = {{
    // condition             name                fine   severity            byte          mask  all    raised
    {Condition::Online,      "online",           true,  Severity::Critical, std::nullopt, 0x00, false, 0x00,
     IDC_IND_ONLINE, IDS_ONLINE, IDS_OFFLINE, IDS_OFFLINE, IDS_ONLINE, IDS_CHANGE_OFFLINE, IDS_CHANGE_ONLINE},
    {Condition::Cover,       "cover_open",       false, Severity::Critical, 0,            0x20, false, 0x20,
     IDC_IND_COVER, IDS_COVER_CLOSED, IDS_COVER_OPEN, IDS_COVER_UNKNOWN, IDS_FIELD_COVER,
     IDS_CHANGE_COVER_OPENED, IDS_CHANGE_COVER_CLOSED},
    {Condition::Busy,        "busy",             false, Severity::Warning,  0,            0x08, false, 0x08,
     IDC_IND_BUSY, IDS_IDLE, IDS_BUSY, IDS_BUSY_UNKNOWN, IDS_FIELD_BUSY, IDS_CHANGE_BUSY, IDS_CHANGE_BUSY_CLEARED},
    {Condition::Temperature, "over_temperature", false, Severity::Critical, 1,            0x40, false, 0x40,
     IDC_IND_TEMP, IDS_TEMP_OK, IDS_TEMP_OVER, IDS_TEMP_UNKNOWN, IDS_FIELD_TEMP,
     IDS_CHANGE_TEMP_OVER, IDS_CHANGE_TEMP_CLEARED},
    // Either pause bit pauses; a printer that pauses raises the lower one.
    {Condition::Pause,       "paused",           false, Severity::Warning,  1,            0x30, false, 0x10,
     IDC_IND_PAUSE, IDS_PRINT_ALLOWED, IDS_PAUSED, IDS_PAUSE_UNKNOWN, IDS_FIELD_PAUSE,
     IDS_CHANGE_PAUSED, IDS_CHANGE_PAUSE_CLEARED},
    // Paper end needs both sensor bits; one alone is paper near its end, still printing.
    {Condition::Paper,       "paper_end",        false, Severity::Critical, 2,            0x0C, true,  0x0C,
     IDC_IND_PAPER, IDS_PAPER_OK, IDS_PAPER_END, IDS_PAPER_UNKNOWN, IDS_FIELD_PAPER,
     IDS_CHANGE_PAPER_END, IDS_CHANGE_PAPER_CLEARED},
}};
// clang-format on

namespace {
constexpr bool InOrder() {
  for (std::size_t i = 0; i < kConditionCount; ++i) {
    if (static_cast<std::size_t>(Condition(i)) != i) return false;
  }
  return true;
}
static_assert(InOrder());
}  // namespace

const ConditionRow& RowOf(Condition condition) { return kConditions[IndexOf(condition)]; }

std::optional<bool> ConditionSet(const ConditionRow& row, const ReplyBuffer& reply, std::size_t received) {
  if (!row.byte || *row.byte >= received || *row.byte >= reply.size()) return std::nullopt;
  const unsigned set = reply[*row.byte] & row.mask;
  return row.allBits ? set == row.mask : set != 0;
}

ConditionStates DecodeStatus(bool reached, const ReplyBuffer& reply, std::size_t received) {
  ConditionStates states{};
  for (const ConditionRow& row : kConditions) {
    states[IndexOf(row.condition)] =
        row.byte ? (reached ? ConditionSet(row, reply, received) : std::nullopt) : std::optional<bool>(!reached);
  }
  return states;
}

std::uint8_t UsedBits(std::size_t byte) {
  std::uint8_t used = 0;
  for (const ConditionRow& row : kConditions) {
    if (row.byte == byte) used |= row.mask;
  }
  return used;
}

std::array<std::uint8_t, kStatusByteCount> RaisedBytes(const std::array<bool, kConditionCount>& set) {
  std::array<std::uint8_t, kStatusByteCount> bytes{};
  for (const ConditionRow& row : kConditions) {
    if (row.byte && *row.byte < bytes.size() && set[IndexOf(row.condition)]) bytes[*row.byte] |= row.raised;
  }
  return bytes;
}

std::optional<Severity> WorstSeverity(const ConditionStates& states) {
  std::optional<Severity> worst;
  for (const ConditionRow& row : kConditions) {
    if (!states[IndexOf(row.condition)].value_or(false)) continue;
    if (!worst || row.severity == Severity::Critical) worst = row.severity;
  }
  return worst;
}

}  // namespace printerlink
