#pragma once
// Which printer answers at an address: its maker, model, serial number and
// firmware as it tells them (GS I on port 9100), and its MAC and the card's
// vendor as this machine knows them. What a printer does not tell is
// unknown, never a failure of the whole reading.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Neighbours.h"
#include "PrinterCommands.h"

namespace printerlink {

enum class IdentityField { Serial, Maker, Model, Firmware };

// One row per thing a printer tells about itself: its GS I n, its --json
// name and how long its answer may take, in the order asked and shown. The
// serial number first, and with the longest wait: it is what tells two
// printers apart, and a slow printer may leave no time for the last question.
struct IdentityRow {
  IdentityField field;
  std::uint8_t n;
  const char* name;
  int answerWaitMs;
};
inline constexpr IdentityRow kIdentityFields[] = {
    {IdentityField::Serial, 0x44, "serial", 250},
    {IdentityField::Maker, 0x42, "maker", 200},
    {IdentityField::Model, 0x43, "model", 200},
    {IdentityField::Firmware, 0x41, "firmware", 200},
};
inline constexpr std::size_t kIdentityFieldCount = std::size(kIdentityFields);
constexpr bool IdentityFieldsInOrder() {
  for (std::size_t i = 0; i < kIdentityFieldCount; ++i) {
    if (static_cast<std::size_t>(kIdentityFields[i].field) != i) return false;
  }
  return true;
}
static_assert(IdentityFieldsInOrder(), "kIdentityFields must list the fields in the order of IdentityField");

inline constexpr int kIdentityBudgetMs = 500;    // the whole reading, every question and connection
inline constexpr int kIdentityLeastWaitMs = 20;  // less left is no time for an answer: not asked
inline constexpr char kUnknown[] = "unknown";

// GS I answers these with a text block: the header byte 0x5F, the text, a
// NUL. Bytes before the header (an automatic status report) are skipped.
inline constexpr std::uint8_t kTextBlockHeader = 0x5F;
// Where the block ends (the NUL), or 0 while it is not whole.
std::size_t TextBlockEnd(std::span<const std::uint8_t> received);
// The text of a whole block, blanks at either end trimmed; nothing for bytes
// that are no whole block or hold no printable text.
std::optional<std::string> TextBlockText(std::span<const std::uint8_t> answer);

struct Identity {
  std::string address;
  std::array<std::optional<std::string>, kIdentityFieldCount> fields;  // per kIdentityFields
  HardwareAddress hardware;
  Done done;             // the questions asked, one exchange each
  bool reached = false;  // a question was taken: the printer is there

  const std::optional<std::string>& Field(IdentityField f) const { return fields[static_cast<std::size_t>(f)]; }
};

// Whether two readings are of one printer: the serial numbers decide when
// both printers told theirs, else the MACs when the table had both.
enum class Sameness { Same, Other, CannotTell };
Sameness Compare(const Identity& before, const Identity& after);

// Asks the printer within kIdentityBudgetMs, each question on its own
// connection so that a late answer is never taken for the next one's. A
// printer that cannot be reached is asked nothing more. The MAC is read
// after the first connection.
Identity ReadIdentity(const Printer& printer, const LocalTables& tables = {});
// The questions alone, without the tables: for many printers at once, whose
// hardware a sweep has read already.
Identity AskIdentity(const Printer& printer);

}  // namespace printerlink
