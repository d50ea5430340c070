#include "StatusDlg.h"

#include <QDateTime>

#include "DataExchange.h"
#include "Gbk.h"
#include "StatusChannel.h"
#include "ResourceIds.h"
#include "StatusDecode.h"
#include "StringTable.h"
#include "PrinterCommands.h"

CStatusDlg::CStatusDlg(CWnd* parent) : CDialog(IDD_STATUS_DIALOG, parent) {
  BindClicked(IDC_GET_STATUS, &CStatusDlg::OnMonitor);
}

void CStatusDlg::DoDataExchange(CDataExchange* pDX) {
  for (const printerlink::ConditionRow& row : printerlink::kConditions) {
    DDX_Control(pDX, row.lampId, LampOf(row.condition));
  }
}

BOOL CStatusDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (CIndicatorButton& lamp : m_lamps) {
    lamp.LoadIcons(IDI_STATE_IDLE, 0);
    lamp.ShowBorder(FALSE, TRUE);
    lamp.SetStateColor(INDCLR_FG_NORMAL, kIndicatorCaptionColour, TRUE);
  }
  return TRUE;
}

void CStatusDlg::OnMonitor() {
  m_bPolling = !m_bPolling;
  SetWidgetText(GetDlgItem(IDC_GET_STATUS), FromGbk(LoadString(m_bPolling ? IDS_MONITOR_STOP : IDS_MONITOR_START)));
  if (m_bPolling) {
    SetTimer(kStatusTimerId, kStatusPollMs);
  } else {
    KillTimer(kStatusTimerId);
  }
  // Starting shows nothing new: a lamp turns green or red only when a reply
  // has been read. Stopping turns them all grey again.
  if (!m_bPolling) {
    for (CIndicatorButton& lamp : m_lamps) lamp.LoadIcons(IDI_STATE_IDLE, 0);
  }
}

void CStatusDlg::OnTimer(UINT id) {
  if (id == kStatusTimerId) Poll();
  CDialog::OnTimer(id);
}

void CStatusDlg::Poll() {
  // A failed query waits in its message box while ticks keep coming; those
  // ticks are skipped, so polls never pile up on each other. Ticks that come
  // while the printer call waits are skipped the same way.
  if (m_bPollInProgress || !m_pChannel || IsEnding()) return;
  m_bPollInProgress = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{m_bPollInProgress};

  printerlink::Done exchanges;
  for (const printerlink::Step& step : printerlink::StatusPlan()) {
    const int through = m_pChannel->Run(*this, m_strTargetAddress, step, exchanges);
    // Closed while a call waited, or while the failure was shown: the result
    // is dropped, no box and no lamp.
    if (IsEnding()) return;
    if (!through) break;
  }
  ShowPoll(printerlink::StatusOf(std::move(exchanges)));
}

void CStatusDlg::ShowPoll(const printerlink::StatusRead& read) {
  const printerlink::Done& d = read.done;
  const LampStates after = LampsAfterPoll(m_lampsRead, read);
  const QTime now = QTime::currentTime();
  QString line;
  if (read.reached) {
    m_lastAnswer = now;
    // How long the query took, from its own record.
    line = AnsweredText(d.reply, d.received, now, static_cast<int>(d.records.back().durationMs));
  } else {
    // The lamps still show what was read at the last answer: date them by it.
    if (!m_lastAnswer.isValid() && !m_firstUnanswered.isValid()) m_firstUnanswered = now;
    line = NoAnswerText(m_lastAnswer.isValid() ? m_lastAnswer : m_firstUnanswered, d.Deciding());
  }
  for (const printerlink::ConditionRow& row : printerlink::kConditions) {
    CIndicatorButton& lamp = LampOf(row.condition);
    const std::optional<bool>& state = after[printerlink::IndexOf(row.condition)];
    if (!row.byte) {
      // On-line or off-line: the caption says which.
      lamp.SetWindowText(LoadString(*state ? row.faultCaptionId : row.fineCaptionId));
      lamp.LoadIcons(*state ? IDI_STATE_BAD : IDI_STATE_GOOD, 0);
      if (QWidget* w = lamp.GetSafeHwnd()) w->setToolTip(line);
      continue;
    }
    if (!read.reached) continue;  // the others keep what was last read
    if (QWidget* w = lamp.GetSafeHwnd()) w->setToolTip(IndicatorTooltip(row, d.reply, d.received));
    const auto look = LookOf(row, state);
    if (!look) {
      // Its status byte never arrived: unknown, shown grey, caption kept.
      lamp.LoadIcons(IDI_STATE_IDLE, 0);
      continue;
    }
    lamp.SetWindowText(LoadString(look->stringId));
    lamp.LoadIcons(look->iconId, 0);
  }
  SetWidgetText(GetDlgItem(IDC_STATUS_LINE), line);

  if (m_bPolled && m_pExchangeObserver) {
    const std::int64_t nowMs = QDateTime::currentMSecsSinceEpoch();
    for (const StatusChange& change : StatusChanges(m_lampsRead, after)) {
      m_pExchangeObserver->OnExchange(
          ChangeRecord(change, m_strTargetAddress, d.reply, read.reached ? d.received : 0, nowMs));
    }
  }
  m_lampsRead = after;
  m_bPolled = true;
}
