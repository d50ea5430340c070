#include "StatusDlg.h"

#include <QDateTime>
#include <QElapsedTimer>

#include "DataExchange.h"
#include "Gbk.h"
#include "StatusChannel.h"
#include "ResourceIds.h"
#include "StatusDecode.h"
#include "StringTable.h"
#include "Transport.h"

CStatusDlg::CStatusDlg(CWnd* parent) : CDialog(IDD_STATUS_DIALOG, parent) {
  BindClicked(IDC_GET_STATUS, &CStatusDlg::OnMonitor);
}

void CStatusDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_IND_PAUSE, m_btnPause);
  DDX_Control(pDX, IDC_IND_TEMP, m_btnTemperature);
  DDX_Control(pDX, IDC_IND_ONLINE, m_btnOnline);
  DDX_Control(pDX, IDC_IND_PAPER, m_btnPaper);
  DDX_Control(pDX, IDC_IND_COVER, m_btnCover);
  DDX_Control(pDX, IDC_IND_BUSY, m_btnBusy);
}

CIndicatorButton* CStatusDlg::Indicators(std::size_t i) {
  CIndicatorButton* all[] = {&m_btnCover, &m_btnPause, &m_btnTemperature, &m_btnOnline, &m_btnPaper, &m_btnBusy};
  return i < std::size(all) ? all[i] : nullptr;
}

CIndicatorButton& CStatusDlg::ButtonFor(StatusIndicator indicator) {
  switch (indicator) {
    case StatusIndicator::Cover: return m_btnCover;
    case StatusIndicator::Busy: return m_btnBusy;
    case StatusIndicator::Temperature: return m_btnTemperature;
    case StatusIndicator::Pause: return m_btnPause;
    case StatusIndicator::Paper: break;
  }
  return m_btnPaper;
}

BOOL CStatusDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (std::size_t i = 0; CIndicatorButton* b = Indicators(i); ++i) {
    b->LoadIcons(IDI_STATE_IDLE, 0);
    b->ShowBorder(FALSE, TRUE);
    b->SetStateColor(INDCLR_FG_NORMAL, kIndicatorCaptionColour, TRUE);
  }
  return TRUE;
}

void CStatusDlg::OnMonitor() {
  const CString start = LoadString(IDS_MONITOR_START);
  const CString stop = LoadString(IDS_MONITOR_STOP);
  QWidget* toggle = GetDlgItem(IDC_GET_STATUS);
  // The toggle's caption is the polling state: string 112 exactly means idle.
  const bool idle = ToGbk(WidgetText(toggle)) == start;
  SetWidgetText(toggle, FromGbk(idle ? stop : start));
  if (idle) {
    SetTimer(kStatusTimerId, kStatusPollMs);
  } else {
    KillTimer(kStatusTimerId);
  }
  // Starting shows nothing new: a lamp turns green or red only when a reply
  // has been read. Stopping turns them all grey again.
  if (!idle) {
    for (std::size_t i = 0; CIndicatorButton* b = Indicators(i); ++i) b->LoadIcons(IDI_STATE_IDLE, 0);
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

  printerlink::CommandFrame query{};
  const std::size_t length = printerlink::BuildStatusQueryFrame(query);
  CStatusChannel::Reply reply;
  bool reached = m_pChannel->Probe(m_strTargetAddress, printerlink::kFramePort, reply.link) != 0;
  // Closed while a call waited: the result is dropped, no box and no lamp.
  if (IsEnding()) return;
  QElapsedTimer timer;
  timer.start();
  if (reached) {
    reply = m_pChannel->Exchange(*this, m_strTargetAddress, std::span(query.data(), length));
    reached = reply.sent != 0;
  }
  const int elapsedMs = static_cast<int>(timer.elapsed());
  if (IsEnding()) return;  // also closed while the failure was being shown
  if (!reached) {
    m_btnOnline.SetWindowText(LoadString(IDS_OFFLINE));
    m_btnOnline.LoadIcons(IDI_STATE_BAD, 0);
    ShowPollReport(reached, reply.link, reply.bytes, reply.received, elapsedMs);
    return;
  }
  m_btnOnline.SetWindowText(LoadString(IDS_ONLINE));
  m_btnOnline.LoadIcons(IDI_STATE_GOOD, 0);

  for (StatusIndicator indicator : kDecodeOrder) {
    CIndicatorButton& button = ButtonFor(indicator);
    const auto look = DecodeIndicator(indicator, reply.bytes, reply.received);
    if (!look) {
      // Its status byte never arrived: unknown, shown grey, caption kept.
      button.LoadIcons(IDI_STATE_IDLE, 0);
      continue;
    }
    button.SetWindowText(LoadString(look->stringId));
    button.LoadIcons(look->iconId, 0);
  }
  ShowPollReport(reached, reply.link, reply.bytes, reply.received, elapsedMs);
}

void CStatusDlg::ShowPollReport(bool reached, const printerlink::LinkResult& link,
                                const printerlink::ReplyBuffer& reply, std::size_t received, int elapsedMs) {
  const QTime now = QTime::currentTime();
  QString line;
  if (reached) {
    m_lastAnswer = now;
    line = AnsweredText(reply, received, now, elapsedMs);
    for (StatusIndicator indicator : kDecodeOrder) {
      if (QWidget* w = ButtonFor(indicator).GetSafeHwnd()) w->setToolTip(IndicatorTooltip(indicator, reply, received));
    }
  } else {
    // The lamps still show what was read at the last answer: date them by it.
    if (!m_lastAnswer.isValid() && !m_firstUnanswered.isValid()) m_firstUnanswered = now;
    line = NoAnswerText(m_lastAnswer.isValid() ? m_lastAnswer : m_firstUnanswered, link);
  }
  SetWidgetText(GetDlgItem(IDC_STATUS_LINE), line);
  if (QWidget* w = m_btnOnline.GetSafeHwnd()) w->setToolTip(line);

  const LampStates after = LampsAfterPoll(m_lampsRead, reached, reply, received);
  if (m_bPolled && m_pExchangeObserver) {
    const std::int64_t nowMs = QDateTime::currentMSecsSinceEpoch();
    for (const StatusChange& change : StatusChanges(m_lampsRead, after)) {
      m_pExchangeObserver->OnExchange(ChangeRecord(change, m_strTargetAddress, reply, reached ? received : 0, nowMs));
    }
  }
  m_lampsRead = after;
  m_bPolled = true;
}
