#include "StatusReport.h"

#include <algorithm>
#include <cerrno>

#include "PrinterDecoder.h"
#include "ResourceIds.h"
#include "StringTable.h"

using printerlink::StatusIndicator;

namespace {

struct ChangeTexts {
  StatusLamp lamp;
  int setId;      // the condition now needs attention
  int clearedId;  // it no longer does
  int nameId;     // the lamp, for "not read" and for its bits in a tooltip
};

constexpr ChangeTexts kChangeTexts[] = {
    {StatusLamp::Online, IDS_CHANGE_OFFLINE, IDS_CHANGE_ONLINE, IDS_ONLINE},
    {StatusLamp::Cover, IDS_CHANGE_COVER_OPENED, IDS_CHANGE_COVER_CLOSED, IDS_FIELD_COVER},
    {StatusLamp::Busy, IDS_CHANGE_BUSY, IDS_CHANGE_BUSY_CLEARED, IDS_FIELD_BUSY},
    {StatusLamp::Temperature, IDS_CHANGE_TEMP_OVER, IDS_CHANGE_TEMP_CLEARED, IDS_FIELD_TEMP},
    {StatusLamp::Pause, IDS_CHANGE_PAUSED, IDS_CHANGE_PAUSE_CLEARED, IDS_FIELD_PAUSE},
    {StatusLamp::Paper, IDS_CHANGE_PAPER_END, IDS_CHANGE_PAPER_CLEARED, IDS_FIELD_PAPER},
};

// What each condition's bits are called in a tooltip: the name of its lamp.
// Their byte and mask come from printerlink::StatusByteOf and StatusMaskOf.
int FieldNameId(StatusIndicator indicator) {
  for (const ChangeTexts& t : kChangeTexts) {
    if (t.lamp == LampOf(indicator)) return t.nameId;
  }
  return IDS_FIELD_NOT_USED;
}

// The bits of a byte that some condition is read from.
std::uint8_t UsedBits(std::size_t byte) {
  std::uint8_t used = 0;
  for (StatusIndicator indicator : printerlink::kDecodeOrder) {
    if (printerlink::StatusByteOf(indicator) == byte) used |= printerlink::StatusMaskOf(indicator);
  }
  return used;
}

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

StatusLamp LampOf(StatusIndicator indicator) {
  switch (indicator) {
    case StatusIndicator::Cover: return StatusLamp::Cover;
    case StatusIndicator::Busy: return StatusLamp::Busy;
    case StatusIndicator::Temperature: return StatusLamp::Temperature;
    case StatusIndicator::Pause: return StatusLamp::Pause;
    case StatusIndicator::Paper: break;
  }
  return StatusLamp::Paper;
}

LampStates LampsAfterPoll(const LampStates& before, bool reached, const printerlink::ReplyBuffer& reply,
                          std::size_t received) {
  LampStates after = before;
  after[static_cast<std::size_t>(StatusLamp::Online)] = !reached;
  if (!reached) return after;
  for (StatusIndicator indicator : printerlink::kDecodeOrder) {
    after[static_cast<std::size_t>(LampOf(indicator))] = printerlink::ConditionSet(indicator, reply, received);
  }
  return after;
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

QString NoAnswerText(QTime since, const printerlink::LinkResult& failure) {
  return LoadText(IDS_STATUS_NO_ANSWER).arg(since.toString(QStringLiteral("HH:mm:ss")), FailureCause(failure));
}

QString FailureCause(const printerlink::LinkResult& failure) {
  using printerlink::LinkError;
  switch (failure.error) {
    case LinkError::None: return {};
    case LinkError::ConnectTimedOut: return LoadText(IDS_CAUSE_NO_ANSWER);
    case LinkError::BadAddress: return LoadText(IDS_CAUSE_BAD_ADDRESS);
    case LinkError::LibraryNotStarted:
    case LinkError::WrongVersion:
    case LinkError::NoSocket: return LoadText(IDS_CAUSE_NO_NETWORK);
    case LinkError::SendIncomplete: return LoadText(IDS_CAUSE_SEND_INCOMPLETE);
    case LinkError::PeerClosed: return LoadText(IDS_CAUSE_CLOSED);
    case LinkError::ConnectFailed: break;
  }
  switch (failure.sysError) {
    case ECONNREFUSED: return LoadText(IDS_CAUSE_REFUSED);
    case ETIMEDOUT: return LoadText(IDS_CAUSE_NO_ANSWER);
    case EHOSTUNREACH:
    case EHOSTDOWN: return LoadText(IDS_CAUSE_HOST_UNREACHABLE);
    case ENETUNREACH:
    case ENETDOWN: return LoadText(IDS_CAUSE_NET_UNREACHABLE);
    default: return LoadText(IDS_CAUSE_CONNECT_FAILED).arg(failure.sysError);
  }
}

QString IndicatorTooltip(StatusIndicator indicator, const printerlink::ReplyBuffer& reply, std::size_t received) {
  const std::uint8_t mask = printerlink::StatusMaskOf(indicator);
  const std::size_t index = printerlink::StatusByteOf(indicator);
  const QString bits = BitsText(mask, FieldNameId(indicator));
  if (index >= received || index >= reply.size()) return LoadText(IDS_TIP_BYTE_MISSING).arg(index).arg(bits);

  const std::uint8_t byte = reply[index];
  QString tip = LoadText(IDS_TIP_BYTE).arg(index).arg(Hex(byte), bits + QStringLiteral(" = ") + BitValues(byte, mask));
  const std::uint8_t unused = byte & static_cast<std::uint8_t>(~UsedBits(index));
  for (int i = 0; i < 8; ++i) {
    const auto bit = static_cast<std::uint8_t>(1u << i);
    if (unused & bit) tip += QLatin1Char('\n') + BitsText(bit, IDS_FIELD_NOT_USED) + QStringLiteral(" = 1");
  }
  return tip;
}

std::vector<StatusChange> StatusChanges(const LampStates& before, const LampStates& after) {
  std::vector<StatusChange> changes;
  for (std::size_t i = 0; i < kLampCount; ++i) {
    if (before[i] != after[i]) changes.push_back({static_cast<StatusLamp>(i), before[i], after[i]});
  }
  return changes;
}

QString ChangeSummary(const StatusChange& change) { return ChangeSummary(change, InterfaceLanguage()); }

QString ChangeSummary(const StatusChange& change, res::Language language) {
  for (const ChangeTexts& t : kChangeTexts) {
    if (t.lamp != change.lamp) continue;
    if (!change.to) return LoadText(IDS_CHANGE_NOT_READ, language).arg(LoadText(t.nameId, language));
    return LoadText(*change.to ? t.setId : t.clearedId, language);
  }
  return {};
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
