#pragma once
// The status monitor: six lamps for the printer's on-line, busy, paper, pause,
// cover and temperature states, and a toggle that polls the printer every two
// seconds while it is on.

#include <QTime>
#include <array>
#include <functional>
#include <vector>

#include "Dialog.h"
#include "IndicatorButton.h"
#include "PrinterStatus.h"
#include "StatusDecode.h"
#include "StatusReport.h"
#include "Types.h"

class CStatusChannel;

inline constexpr UINT kStatusTimerId = 1;
inline constexpr UINT kStatusPollMs = 2000;
inline constexpr COLORREF kIndicatorCaptionColour = RGB(0x27, 0x06, 0xE3);  // a strong blue

class CStatusDlg : public CDialog {
public:
  explicit CStatusDlg(CWnd* parent = nullptr);

  CString m_strTargetAddress;            // the printer to probe, set by the console
  CStatusChannel* m_pChannel = nullptr;  // the console's way to the printer; not owned
  // One lamp per condition, in the order of the conditions' table.
  std::array<CIndicatorButton, printerlink::kConditionCount> m_lamps;
  CIndicatorButton& m_btnCover = LampOf(printerlink::Condition::Cover);
  CIndicatorButton& m_btnPause = LampOf(printerlink::Condition::Pause);
  CIndicatorButton& m_btnTemperature = LampOf(printerlink::Condition::Temperature);
  CIndicatorButton& m_btnOnline = LampOf(printerlink::Condition::Online);
  CIndicatorButton& m_btnPaper = LampOf(printerlink::Condition::Paper);
  CIndicatorButton& m_btnBusy = LampOf(printerlink::Condition::Busy);

  // Takes a record of every lamp that changed since the poll before (the
  // exchange log); nothing when no lamp changed. Not owned.
  printerlink::ExchangeObserver* m_pExchangeObserver = nullptr;

  void OnTimer(UINT id) override;

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnMonitor();

private:
  void Poll();
  // The lamps, the status line, the tooltips and the change records after a poll.
  void ShowPoll(const printerlink::StatusRead& read);
  CIndicatorButton& LampOf(printerlink::Condition condition) { return m_lamps[printerlink::IndexOf(condition)]; }
  bool m_bPolling = false;  // the toggle is on: a tick polls the printer
  bool m_bPollInProgress = false;
  LampStates m_lampsRead{};  // what the polls have read so far
  bool m_bPolled = false;
  QTime m_lastAnswer;       // invalid until the printer has answered
  QTime m_firstUnanswered;  // the first poll, when none has been answered
};
