#include "ExchangeLogWnd.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include "ExchangeLogFormat.h"
#include "ExchangeLogModel.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StringTable.h"

namespace {
constexpr int kInitialWidth = 1100;
constexpr int kInitialHeight = 420;
}  // namespace

CExchangeLogWnd::CExchangeLogWnd(CExchangeLogModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model) {
  setWindowTitle(LoadText(IDS_LOG_TITLE));
  setAttribute(Qt::WA_ShowWithoutActivating);
  resize(kInitialWidth, kInitialHeight);

  m_table = new QTableView(this);
  m_table->setModel(&m_model);
  m_table->setAccessibleName(LoadText(IDS_LOG_TITLE));
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setWordWrap(false);
  m_table->verticalHeader()->hide();
  m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
  QHeaderView* header = m_table->horizontalHeader();
  header->setStretchLastSection(false);
  const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  const struct {
    LogColumn column;
    int digits;
  } widths[] = {{LogColumn::Time, 13},  {LogColumn::Printer, 19}, {LogColumn::Sent, 32}, {LogColumn::Bytes, 15},
                {LogColumn::Reply, 12}, {LogColumn::Outcome, 48}, {LogColumn::Ms, 6}};
  for (const auto& w : widths) header->resizeSection(static_cast<int>(w.column), w.digits * digit);

  auto* copy = new QAction(m_table);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, &CExchangeLogWnd::CopySelection);
  m_table->addAction(copy);

  m_status = new QLabel(this);
  m_clear = new QPushButton(LoadText(IDS_LOG_CLEAR), this);
  m_copy = new QPushButton(LoadText(IDS_LOG_COPY), this);
  m_save = new QPushButton(LoadText(IDS_LOG_SAVE), this);
  for (QPushButton* b : {m_clear, m_copy, m_save}) b->setAutoDefault(false);
  connect(m_clear, &QPushButton::clicked, this, [this] {
    m_lastSave.clear();
    m_model.Clear();
  });
  connect(m_copy, &QPushButton::clicked, this, &CExchangeLogWnd::CopySelection);
  connect(m_save, &QPushButton::clicked, this, &CExchangeLogWnd::OnSaveReport);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_status, 1);
  buttons->addWidget(m_clear);
  buttons->addWidget(m_copy);
  buttons->addWidget(m_save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_table, 1);
  layout->addLayout(buttons);

  connect(&m_model, &CExchangeLogModel::Changed, this, &CExchangeLogWnd::UpdateStatus);
  connect(&m_model, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int) { FollowNewRows(first); });
  m_chooseReportPath = [this] {
    const QString name = QStringLiteral("service-report-%1.txt")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    return QFileDialog::getSaveFileName(this, LoadText(IDS_LOG_SAVE).remove(QLatin1Char('&')), name,
                                        QStringLiteral("Text (*.txt)"));
  };
  UpdateStatus();
  m_table->scrollToBottom();
}

QString CExchangeLogWnd::StatusText() const { return m_status->text(); }

void CExchangeLogWnd::UpdateStatus() {
  QString text = LoadText(IDS_LOG_COUNT)
                     .arg(static_cast<qulonglong>(m_model.TotalCount()))
                     .arg(static_cast<qulonglong>(m_model.FailedCount()))
                     .arg(static_cast<qulonglong>(m_model.Capacity()));
  if (!m_lastSave.isEmpty()) text += QStringLiteral("  ") + m_lastSave;
  m_status->setText(text);
}

// Newest last: a view scrolled to its end stays at the end as records come;
// one the technician scrolled up stays where it is.
void CExchangeLogWnd::FollowNewRows(int first) {
  QScrollBar* bar = m_table->verticalScrollBar();
  const bool wasAtEnd = first == 0 || bar->value() >= bar->maximum() - 1;
  if (wasAtEnd) m_table->scrollToBottom();
}

void CExchangeLogWnd::CopySelection() {
  std::vector<int> rows;
  for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) rows.push_back(index.row());
  if (rows.empty()) return;
  QApplication::clipboard()->setText(m_model.RowsText(rows));
}

bool CExchangeLogWnd::SaveReport(const QString& path) {
  ReportHeader header;
  header.program = QString::fromUtf8(res::kProductName.data(), static_cast<int>(res::kProductName.size()));
  header.version = QString::fromUtf8(res::kVersion.data(), static_cast<int>(res::kVersion.size()));
  header.written = QDateTime::currentDateTime();
  header.target = m_targetAddress ? m_targetAddress() : QString();
  const std::vector<printerlink::ExchangeRecord> records = m_model.Records();

  QSaveFile file(path);
  bool ok = file.open(QIODevice::WriteOnly | QIODevice::Text);
  if (ok) {
    const QByteArray bytes = ServiceReport(header, records).toUtf8();
    ok = file.write(bytes) == bytes.size() && file.commit();
  }
  m_lastSave = ok ? LoadText(IDS_LOG_SAVED).arg(path) : LoadText(IDS_LOG_SAVE_FAILED).arg(path, file.errorString());
  UpdateStatus();
  return ok;
}

void CExchangeLogWnd::OnSaveReport() {
  const QString path = m_chooseReportPath ? m_chooseReportPath() : QString();
  if (!path.isEmpty()) SaveReport(path);
}

void InstallExchangeLog(CPrinterTestDlg& console, CExchangeLogModel& model) {
  console.m_runExchangeLog = [&console, &model, window = QPointer<CExchangeLogWnd>()](QWidget* owner) mutable {
    if (!window) {
      // A child of the console's window: it closes and goes with the console.
      window = new CExchangeLogWnd(model, owner);
      window->m_targetAddress = [&console] { return QString::fromStdString(console.ResolveTargetAddress()); };
    }
    window->show();
    window->raise();
    window->activateWindow();  // asked for by the technician: here it may take the focus
  };
}
