#pragma once
// The exchange log's records behind its table: the last kMaxLogRecords
// records, newest last. It takes records from any thread; those from another
// thread are queued to the thread the model lives on, so the table only ever
// changes there.

#include <QAbstractTableModel>
#include <QIcon>
#include <deque>

#include "ExchangeRecord.h"

// A record of a frame takes about 400 bytes, one of the test page about
// 900, so 10,000 records take under 10 MB. Texts and hex lists the technician
// made long are bounded too: past kMaxLogBytes the oldest records go first.
inline constexpr std::size_t kMaxLogRecords = 10000;
inline constexpr std::size_t kMaxLogBytes = 32u << 20;

class CExchangeLogModel final : public QAbstractTableModel, public printerlink::ExchangeObserver {
  Q_OBJECT
public:
  explicit CExchangeLogModel(QObject* parent = nullptr, std::size_t capacity = kMaxLogRecords,
                             std::size_t byteCapacity = kMaxLogBytes);

  void OnExchange(const printerlink::ExchangeRecord& record) override;
  void Clear();

  const printerlink::ExchangeRecord& Record(int row) const { return m_rows[static_cast<std::size_t>(row)].record; }
  std::vector<printerlink::ExchangeRecord> Records() const;
  std::size_t Capacity() const { return m_capacity; }
  // Every record taken since the last Clear, those that fell off included.
  std::size_t TotalCount() const { return m_total; }
  std::size_t FailedCount() const { return m_failed; }
  // The selected rows (in any order) as lines of text, in row order.
  QString RowsText(std::vector<int> rows) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
  void Changed();  // a record was added or the log was cleared

private:
  void Append(const printerlink::ExchangeRecord& record);

  struct Row {
    printerlink::ExchangeRecord record;
    QString sentWords;  // decoded once: the view asks for it at every repaint
    std::size_t bytes;  // about what the row holds on the heap
  };
  void DropOldest();
  std::deque<Row> m_rows;
  std::size_t m_capacity;
  std::size_t m_byteCapacity;
  std::size_t m_bytes = 0;
  std::size_t m_total = 0;
  std::size_t m_failed = 0;
  QIcon m_iconFailed;
};
