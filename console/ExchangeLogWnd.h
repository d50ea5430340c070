#pragma once
// The exchange log window: a modeless window of the console listing every
// exchange with a printer, newest last. It can be cleared, its selected rows
// copied as text, and the whole log saved as a service report. It never
// takes the focus when a record arrives and never opens a message box: what
// it has to say (a report saved or not) goes into its own status line.

#include <QWidget>
#include <functional>

class CExchangeLogModel;
class CPrinterTestDlg;
class QLabel;
class QPushButton;
class QTableView;

class CExchangeLogWnd final : public QWidget {
  Q_OBJECT
public:
  CExchangeLogWnd(CExchangeLogModel& model, QWidget* parent = nullptr);

  // The printer named in the report's header.
  std::function<QString()> m_targetAddress;
  // Asks where to save the report; empty for "cancelled". Tests answer it.
  std::function<QString()> m_chooseReportPath;

  void CopySelection();
  // Writes the report to `path` as UTF-8; false (and the status line says
  // why) when it cannot.
  bool SaveReport(const QString& path);
  void OnSaveReport();

  QTableView* Table() const { return m_table; }
  QString StatusText() const;

private:
  void UpdateStatus();
  void FollowNewRows(int first);

  CExchangeLogModel& m_model;
  QTableView* m_table;
  QLabel* m_status;
  QPushButton* m_clear;
  QPushButton* m_copy;
  QPushButton* m_save;
  QString m_lastSave;  // what became of the last save, shown after the counts
};

// Makes the console's system-menu item and Ctrl+L open one log window on
// `model`, created the first time and shown again after. (The console's
// exchanges reach the model through its m_pExchangeObserver.)
void InstallExchangeLog(CPrinterTestDlg& console, CExchangeLogModel& model);
