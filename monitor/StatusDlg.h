#pragma once
// The status monitor: six lamps for the printer's on-line, busy, paper, pause,
// cover and temperature states, and a toggle that polls the printer every two
// seconds while it is on.

#include <QTime>
#include <functional>
#include <vector>

#include "Dialog.h"
#include "IndicatorButton.h"
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
  CIndicatorButton m_btnCover;
  CIndicatorButton m_btnPause;
  CIndicatorButton m_btnTemperature;
  CIndicatorButton m_btnOnline;
  CIndicatorButton m_btnPaper;
  CIndicatorButton m_btnBusy;

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
  CIndicatorButton* Indicators(std::size_t i);  // in member order
  CIndicatorButton& LampOf(const printerlink::ConditionRow& row);
  bool m_bPolling = false;  // the toggle is on: a tick polls the printer
  bool m_bPollInProgress = false;
  LampStates m_lampsRead{};  // what the polls have read so far
  bool m_bPolled = false;
  QTime m_lastAnswer;       // invalid until the printer has answered
  QTime m_firstUnanswered;  // the first poll, when none has been answered
};
