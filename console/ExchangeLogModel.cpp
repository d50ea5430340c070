#include "ExchangeLogModel.h"

#include <QBrush>
#include <QColor>
#include <QIcon>
#include <QThread>
#include <algorithm>

#include "ExchangeLogFormat.h"
#include "ResourceIds.h"
#include "Resources.h"
#include "StringTable.h"
#include "Wnd.h"

namespace {
// A failed exchange's row: dark red text on a pale red ground, and the bad
// state icon before its outcome, so it stands out without colour too.
const QColor kFailedText(0x9C, 0x00, 0x06);
const QColor kFailedGround(0xFF, 0xE5, 0xE5);
}  // namespace

CExchangeLogModel::CExchangeLogModel(QObject* parent, std::size_t capacity, std::size_t byteCapacity)
    : QAbstractTableModel(parent),
      m_capacity(std::max<std::size_t>(capacity, 1)),
      m_byteCapacity(byteCapacity),
      m_iconFailed(res::IconSet(IDI_STATE_BAD)) {}

void CExchangeLogModel::OnExchange(const printerlink::ExchangeRecord& record) {
  if (QThread::currentThread() == thread()) {
    Append(record);
    return;
  }
  // From a worker: the copy travels to the model's thread; a model gone by
  // then drops it.
  QMetaObject::invokeMethod(
      this, [this, record] { Append(record); }, Qt::QueuedConnection);
}

void CExchangeLogModel::DropOldest() {
  beginRemoveRows({}, 0, 0);
  m_bytes -= m_rows.front().bytes;
  m_rows.pop_front();
  endRemoveRows();
}

void CExchangeLogModel::Append(const printerlink::ExchangeRecord& record) {
  Row row{record, SentWords(record), 0};
  row.bytes = sizeof(Row) + record.sent.size() + record.received.size() + record.address.size() +
              static_cast<std::size_t>(row.sentWords.size()) * sizeof(QChar);
  for (const std::string& a : record.found) row.bytes += sizeof(std::string) + a.size();
  // The newest record always stays, however large.
  while (!m_rows.empty() && (m_rows.size() >= m_capacity || m_bytes + row.bytes > m_byteCapacity)) DropOldest();
  const int at = static_cast<int>(m_rows.size());
  beginInsertRows({}, at, at);
  m_bytes += row.bytes;
  m_rows.push_back(std::move(row));
  endInsertRows();
  ++m_total;
  if (record.failed()) ++m_failed;
  emit Changed();
}

void CExchangeLogModel::Clear() {
  beginResetModel();
  m_rows.clear();
  m_bytes = 0;
  m_total = 0;
  m_failed = 0;
  endResetModel();
  emit Changed();
}

std::vector<printerlink::ExchangeRecord> CExchangeLogModel::Records() const {
  std::vector<printerlink::ExchangeRecord> all;
  all.reserve(m_rows.size());
  for (const Row& r : m_rows) all.push_back(r.record);
  return all;
}

QString CExchangeLogModel::RowsText(std::vector<int> rows) const {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  QString text;
  for (int row : rows) {
    if (row < 0 || row >= rowCount()) continue;
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    text += LogRowText(r.record, r.sentWords) + QLatin1Char('\n');
  }
  return text;
}

int CExchangeLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CExchangeLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kLogColumnCount; }

QVariant CExchangeLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kLogColumnCount) return {};
  const Row& row = m_rows[static_cast<std::size_t>(index.row())];
  const auto column = static_cast<LogColumn>(index.column());
  const bool failed = row.record.failed();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return LogCellText(row.record, column, row.sentWords);
    case Qt::AccessibleTextRole:
      // A screen reader hears the failure in words, not in colour.
      if (column == LogColumn::Outcome && failed) {
        return LoadText(IDS_LOG_FAILED) + QStringLiteral(": ") + OutcomeWords(row.record);
      }
      return LogCellText(row.record, column, row.sentWords);
    case Qt::DecorationRole:
      // Only failures carry the lamp, so its presence alone marks them.
      if (column == LogColumn::Outcome && failed) return m_iconFailed;
      return {};
    case Qt::ForegroundRole: return failed ? QVariant(QBrush(kFailedText)) : QVariant();
    case Qt::BackgroundRole: return failed ? QVariant(QBrush(kFailedGround)) : QVariant();
    case Qt::TextAlignmentRole:
      if (column == LogColumn::Ms) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default: return {};
  }
}

QVariant CExchangeLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || section < 0) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (section >= kLogColumnCount) return {};
  return LogColumnTitle(static_cast<LogColumn>(section));
}
