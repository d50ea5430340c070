#pragma once
// How the exchange log shows a record: the cells of its row, its outcome in
// words of the interface language, the row as text for the clipboard, and
// the service report. Plain functions of the record; no window.

#include <QDateTime>
#include <QString>
#include <span>

#include "ExchangeRecord.h"

enum class LogColumn { Time, Printer, Sent, Bytes, Reply, Outcome, Ms };
inline constexpr int kLogColumnCount = 7;

// The column's title in the interface language.
QString LogColumnTitle(LogColumn column);

// The cell's text. `sentWords` is what the Sent column shows (see SentWords);
// the model works it out once per record.
QString LogCellText(const printerlink::ExchangeRecord& record, LogColumn column, const QString& sentWords);

// A found printer's card as a sweep's record gives it (its MAC or "routed",
// "local", "no table"; its vendor): "MAC 00:00:5E:00:53:32, Vendor".
QString FoundHardwareText(const std::string& mac, const std::string& vendor);

// The sent bytes by the printer's command names ("ESC p drawer pulse: ..."),
// or what a probe, a sweep or an empty text job did.
QString SentWords(const printerlink::ExchangeRecord& record);

// The outcome in words with its figures and errno name, e.g. "the printer took
// only 3 of 7 bytes (ETIMEDOUT)".
QString OutcomeWords(const printerlink::ExchangeRecord& record);

// One row as a line of tab-separated cells, for the clipboard.
QString LogRowText(const printerlink::ExchangeRecord& record, const QString& sentWords);

struct ReportHeader {
  QString program;
  QString version;
  QDateTime written;
  QString target;  // the console's target printer
};

// The service report: the header, then one block per record, oldest first.
QString ServiceReport(const ReportHeader& header, std::span<const printerlink::ExchangeRecord> records);
