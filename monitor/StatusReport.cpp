#include "StatusReport.h"

#include <algorithm>
#include <cerrno>

#include "OutcomeWords.h"
#include "PrinterDecoder.h"
#include "ResourceIds.h"
#include "StringTable.h"

using printerlink::ConditionRow;

namespace {

QString Hex(unsigned value) { return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper(); }

// "bit 5 (0x20) cover open" or "bits 2–3 (0x0C) paper end sensors".
QString BitsText(std::uint8_t mask, int nameId) {
  int low = 0;
  while (!(mask & (1u << low))) ++low;
  int high = 7;
  while (!(mask & (1u << high))) --high;
  const QString name = LoadText(nameId);
  if (low == high) return LoadText(IDS_TIP_BIT).arg(low).arg(Hex(mask), name);
  return LoadText(IDS_TIP_BITS).arg(low).arg(high).arg(Hex(mask), name);
}

// The field's bits as they arrived, highest first: "11", "01".
QString BitValues(std::uint8_t byte, std::uint8_t mask) {
  QString bits;
  for (int i = 7; i >= 0; --i) {
    if (mask & (1u << i)) bits += (byte & (1u << i)) ? QLatin1Char('1') : QLatin1Char('0');
  }
  return bits;
}

constexpr std::size_t kShownStatusBytes = 3;  // the bytes a status reply carries

}  // namespace

LampStates LampsAfterPoll(const LampStates& before, const printerlink::StatusRead& read) {
  if (!read.reached) {
    LampStates after = before;
    after[printerlink::IndexOf(printerlink::Condition::Online)] = true;
    return after;
  }
  return read.conditions;
}

QString NotPolledText() { return LoadText(IDS_STATUS_NOT_POLLED); }

QString AnsweredText(const printerlink::ReplyBuffer& reply, std::size_t received, QTime at, int elapsedMs) {
  const std::size_t count = std::min({received, kShownStatusBytes, reply.size()});
  QString shown = count == 0 ? LoadText(IDS_STATUS_NO_BYTES)
                             : QString::fromStdString(printerlink::HexBytes(std::span(reply.data(), count)));
  // Bytes past the status bytes mean nothing to the lamps; that they came is worth a mark.
  if (received > kShownStatusBytes) shown += QStringLiteral(" …");
  return LoadText(IDS_STATUS_ANSWERED).arg(shown, at.toString(QStringLiteral("HH:mm:ss")), QString::number(elapsedMs));
}

QString NoAnswerText(QTime since, const printerlink::ExchangeRecord& failure) {
  return LoadText(IDS_STATUS_NO_ANSWER)
      .arg(since.toString(QStringLiteral("HH:mm:ss")),
           QString::fromStdString(printerlink::FailureCause(failure, InterfaceLanguage())));
}

QString IndicatorTooltip(const ConditionRow& row, const printerlink::ReplyBuffer& reply, std::size_t received) {
  const std::uint8_t mask = row.mask;
  const std::size_t index = row.byte.value_or(0);
  const QString bits = BitsText(mask, row.nameId);
  if (index >= received || index >= reply.size()) return LoadText(IDS_TIP_BYTE_MISSING).arg(index).arg(bits);

  const std::uint8_t byte = reply[index];
  QString tip = LoadText(IDS_TIP_BYTE).arg(index).arg(Hex(byte), bits + QStringLiteral(" = ") + BitValues(byte, mask));
  const std::uint8_t unused = byte & static_cast<std::uint8_t>(~printerlink::UsedBits(index));
  for (int i = 0; i < 8; ++i) {
    const auto bit = static_cast<std::uint8_t>(1u << i);
    if (unused & bit) tip += QLatin1Char('\n') + BitsText(bit, IDS_FIELD_NOT_USED) + QStringLiteral(" = 1");
  }
  return tip;
}

std::vector<StatusChange> StatusChanges(const LampStates& before, const LampStates& after) {
  std::vector<StatusChange> changes;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] != after[i]) changes.push_back({static_cast<printerlink::Condition>(i), before[i], after[i]});
  }
  return changes;
}

QString ChangeSummary(const StatusChange& change) { return ChangeSummary(change, InterfaceLanguage()); }

QString ChangeSummary(const StatusChange& change, res::Language language) {
  const ConditionRow& row = printerlink::RowOf(change.lamp);
  if (!change.to) return LoadText(IDS_CHANGE_NOT_READ, language).arg(LoadText(row.nameId, language));
  return LoadText(*change.to ? row.setChangeId : row.clearedChangeId, language);
}

printerlink::ExchangeRecord ChangeRecord(const StatusChange& change, const std::string& address,
                                         const printerlink::ReplyBuffer& reply, std::size_t received,
                                         std::int64_t atMs) {
  printerlink::ExchangeRecord r;
  r.startMs = atMs;
  r.kind = printerlink::ExchangeKind::Status;
  r.address = address;
  r.port = printerlink::kReplyPort;
  r.received.assign(reply.begin(), reply.begin() + std::min(received, reply.size()));
  r.note = ChangeSummary(change, res::Language::English).toStdString();
  r.noteShown = ChangeSummary(change).toStdString();
  return r;
}
