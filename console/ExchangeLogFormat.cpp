#include "ExchangeLogFormat.h"

#include <QStringList>

#include "Neighbours.h"
#include "OutcomeWords.h"
#include "PrinterDecoder.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "Transport.h"

using printerlink::ExchangeKind;
using printerlink::ExchangeRecord;

namespace {

QString Utf8(const std::string& s) { return QString::fromStdString(s); }

QString LocalTime(std::int64_t epochMs, const char* format) {
  return QDateTime::fromMSecsSinceEpoch(epochMs).toString(QString::fromLatin1(format));
}

}  // namespace

QString FoundHardwareText(const std::string& mac, const std::string& vendor) {
  if (mac == printerlink::MacSourceName(printerlink::MacSource::Routed)) return LoadText(IDS_SWEEP_ROUTED);
  if (mac == printerlink::MacSourceName(printerlink::MacSource::Local)) return LoadText(IDS_SWEEP_LOCAL);
  if (mac == printerlink::MacSourceName(printerlink::MacSource::NoTable)) return LoadText(IDS_SWEEP_NO_TABLE);
  return LoadText(IDS_SWEEP_MAC).arg(Utf8(mac), Utf8(vendor));
}

QString LogColumnTitle(LogColumn column) {
  switch (column) {
    case LogColumn::Time: return LoadText(IDS_LOG_COL_TIME);
    case LogColumn::Printer: return LoadText(IDS_LOG_COL_PRINTER);
    case LogColumn::Sent: return LoadText(IDS_LOG_COL_SENT);
    case LogColumn::Bytes: return LoadText(IDS_LOG_COL_BYTES);
    case LogColumn::Reply: return LoadText(IDS_LOG_COL_REPLY);
    case LogColumn::Outcome: return LoadText(IDS_LOG_COL_OUTCOME);
    case LogColumn::Ms: return LoadText(IDS_LOG_COL_MS);
  }
  return {};
}

QString SentWords(const ExchangeRecord& r) {
  if (!r.note.empty()) return Utf8(r.noteShown.empty() ? r.note : r.noteShown);
  switch (r.kind) {
    case ExchangeKind::Probe: return LoadText(IDS_LOG_PROBE);
    case ExchangeKind::Sweep: return LoadText(IDS_LOG_SWEEP).arg(Utf8(r.address)).arg(r.waitMs);
    case ExchangeKind::Text:
      if (r.sent.empty()) return LoadText(IDS_LOG_EMPTY_TEXT);
      break;
    case ExchangeKind::Frame:
    case ExchangeKind::Status: break;
  }
  return Utf8(printerlink::DescribeLine(r.sent));
}

QString OutcomeWords(const ExchangeRecord& r) { return Utf8(printerlink::OutcomeWords(r, InterfaceLanguage())); }

QString LogCellText(const ExchangeRecord& r, LogColumn column, const QString& sentWords) {
  switch (column) {
    case LogColumn::Time: return LocalTime(r.startMs, "HH:mm:ss.zzz");
    case LogColumn::Printer: return Utf8(r.address) + QLatin1Char(':') + QString::number(r.port);
    case LogColumn::Sent: return sentWords;
    case LogColumn::Bytes: return Utf8(printerlink::HexBytes(r.sent));
    case LogColumn::Reply:
      if (r.kind == ExchangeKind::Sweep) {
        QStringList found;
        for (std::size_t i = 0; i < r.found.size(); ++i) {
          // A printer on this computer has no card between: nothing to say.
          const bool card = i < r.foundMac.size() && r.foundMac[i] != MacSourceName(printerlink::MacSource::Local);
          found << (card ? Utf8(r.found[i]) + QStringLiteral(" (") +
                               FoundHardwareText(r.foundMac[i], r.foundVendor[i]) + QLatin1Char(')')
                         : Utf8(r.found[i]));
        }
        return found.isEmpty() ? QString() : LoadText(IDS_LOG_FOUND).arg(found.join(QStringLiteral(", ")));
      }
      return Utf8(printerlink::HexBytes(r.received));
    case LogColumn::Outcome: return OutcomeWords(r);
    case LogColumn::Ms: return QString::number(r.durationMs);
  }
  return {};
}

QString LogRowText(const ExchangeRecord& r, const QString& sentWords) {
  QStringList cells;
  for (int c = 0; c < kLogColumnCount; ++c) cells << LogCellText(r, static_cast<LogColumn>(c), sentWords);
  if (r.failed()) cells << LoadText(IDS_LOG_FAILED);
  return cells.join(QLatin1Char('\t'));
}

QString ServiceReport(const ReportHeader& h, std::span<const ExchangeRecord> records) {
  QString text;
  const auto line = [&text](const QString& label, const QString& value) {
    text += label + QStringLiteral(": ") + value + QLatin1Char('\n');
  };
  text += LoadText(IDS_LOG_REPORT_TITLE) + QStringLiteral(" - ") + h.program + QLatin1Char(' ') + h.version +
          QLatin1Char('\n');
  line(LoadText(IDS_LOG_REPORT_DATE), h.written.toString(Qt::ISODateWithMs));
  line(LoadText(IDS_LOG_REPORT_TARGET), h.target);
  line(LoadText(IDS_LOG_REPORT_LANGUAGE), LoadText(IDS_LOG_LANGUAGE_NAME));
  line(LoadText(IDS_LOG_REPORT_RECORDS), QString::number(records.size()));
  int n = 0;
  for (const ExchangeRecord& r : records) {
    text += QLatin1Char('\n');
    // Joined, not filled in with arg(): an address typed as "%2" must stay as typed.
    text += QLatin1Char('#') + QString::number(++n) + QStringLiteral("  ") + Utf8(printerlink::IsoTime(r.startMs)) +
            QStringLiteral("  ") + LogCellText(r, LogColumn::Printer, {}) + QStringLiteral("  ") +
            QString::number(r.durationMs) + QLatin1Char(' ') + LoadText(IDS_LOG_COL_MS) +
            (r.failed() ? QStringLiteral("  ") + LoadText(IDS_LOG_FAILED) : QString()) + QLatin1Char('\n');
    const QString sent = SentWords(r);
    line(QStringLiteral("  ") + LoadText(IDS_LOG_COL_SENT), sent);
    if (!r.sent.empty())
      line(QStringLiteral("  ") + LoadText(IDS_LOG_COL_BYTES), LogCellText(r, LogColumn::Bytes, sent));
    const QString reply = LogCellText(r, LogColumn::Reply, sent);
    if (!reply.isEmpty()) line(QStringLiteral("  ") + LoadText(IDS_LOG_COL_REPLY), reply);
    line(QStringLiteral("  ") + LoadText(IDS_LOG_COL_OUTCOME), OutcomeWords(r));
  }
  return text;
}
