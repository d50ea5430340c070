#include "PrinterTestDlg.h"

#include <QKeySequence>
#include <QShortcut>
#include <arpa/inet.h>

#include <ctime>

#include "DataExchange.h"
#include "MessageBox.h"
#include "ResourceIds.h"
#include "Resources.h"
#include "StringTable.h"
#include "TargetAddress.h"
#include "TestPage.h"
#include "Transport.h"
#include "Waiting.h"

CPrinterTestDlg::CPrinterTestDlg(CWnd* parent, printerlink::SocketLibrary& sockets)
    : CDialog(IDD_PRINTERTEST_DIALOG, parent),
      m_nAddressMode(-1),
      m_strOtherHex("1B,64,10"),
      m_strMac("554433221100"),
      m_hIcon(res::IconSet(IDR_MAINFRAME)),
      m_sockets(sockets) {
  m_replyBuffer.fill(0);
  BindCommandButtons();
  BindSelChange(IDC_PRINTER_LIST, &CPrinterTestDlg::OnSelchangePrinterList);
}

void CPrinterTestDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_MAC, m_editMac);
  DDX_Control(pDX, IDC_PRINTER_LIST, m_comboPrinters);
  DDX_Control(pDX, IDC_IP_NEW, m_ipNew);
  DDX_Control(pDX, IDC_IP_TARGET, m_ipTarget);
  DDX_Radio(pDX, IDC_RADIO_MANUAL, m_nAddressMode);
  DDX_Text(pDX, IDC_OTHER_HEX, m_strOtherHex);
  DDX_Text(pDX, IDC_TEST_PAGE, m_strTestPage);
  DDX_Text(pDX, IDC_MAC, m_strMac);
  DDV_MaxChars(pDX, m_strMac, 12);
}

BOOL CPrinterTestDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  if (CMenu* sysMenu = GetSystemMenu(FALSE)) {
    const CString about = LoadString(IDS_ABOUTBOX);
    if (!about.empty()) {
      sysMenu->AppendMenu(MF_SEPARATOR);
      sysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
    }
    if (m_runExchangeLog) sysMenu->AppendMenu(MF_STRING, IDM_EXCHANGE_LOG, LoadString(IDS_LOG_MENU));
  }
  if (m_runExchangeLog) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), GetDialogWindow());
    QObject::connect(shortcut, &QShortcut::activated, GetDialogWindow(), [this] { OnSysCommand(IDM_EXCHANGE_LOG, 0); });
  }
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  m_progress.SetRange(0, 100);
  // Both fields start with the default printer, or the one the command line named.
  const DWORD defaultPrinter = ntohl(*printerlink::ParseDottedQuad(printerlink::kDefaultPrinterAddress));
  m_ipTarget.SetAddress(defaultPrinter);
  m_ipNew.SetAddress(defaultPrinter);
  if (!m_strStartPrinter.empty()) {
    m_ipTarget.SetWindowText(m_strStartPrinter);
    m_ipNew.SetWindowText(m_strStartPrinter);
  }
  m_nAddressMode = 0;

  std::tm local{};
  if (m_testPageTime) {
    local = *m_testPageTime;
  } else {
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &local);
  }
  printerlink::BuildTestPage(m_strTestPage, local);

  UpdateData(FALSE);
  return TRUE;
}

CString CPrinterTestDlg::ResolveTargetAddress() {
  std::array<std::uint8_t, 4> fields{};
  m_ipTarget.GetAddress(fields[0], fields[1], fields[2], fields[3]);
  return TargetAddressFor(m_nAddressMode, fields, m_comboPrinters.GetCount(), m_comboPrinters.GetWindowText());
}

void CPrinterTestDlg::OnSelchangePrinterList() {
  UpdateData(TRUE);
  m_ipTarget.SetWindowText(m_comboPrinters.GetWindowText());
  UpdateData(FALSE);
}

int CPrinterTestDlg::SendCommandFrame(std::size_t length, bool expectReply) {
  UpdateData(TRUE);
  const std::span bytes(m_commandFrame.data(), std::min(length, m_commandFrame.size()));
  printerlink::Done done;
  const int sent = RunStep(*this, ResolveTargetAddress(),
                           {expectReply ? printerlink::ExchangeKind::Status : printerlink::ExchangeKind::Frame,
                            printerlink::FramePortFor(expectReply),
                            {bytes.begin(), bytes.end()}},
                           done);
  if (expectReply) {
    // Bytes that did not arrive keep what the ReplyBuffer held.
    std::copy_n(done.reply.begin(), done.received, m_replyBuffer.begin());
    m_nReplyLength = done.received;
  }
  return sent;
}

void CPrinterTestDlg::SendTextJob(const CString& text) {
  UpdateData(TRUE);
  printerlink::Done done;
  RunStep(*this, ResolveTargetAddress(), printerlink::PrintPlan(text).front(), done);
}

int CPrinterTestDlg::RunStep(const CDialog& caller, const CString& address, const printerlink::Step& step,
                             printerlink::Done& done) {
  // The CommandFrame shows each frame as it goes: the fixed frames clear it
  // first, the others write only their bytes. The bytes on the wire are the
  // step's own; typed bytes longer than the frame go whole and leave it as it was.
  const bool frame = step.kind == printerlink::ExchangeKind::Frame || step.kind == printerlink::ExchangeKind::Status;
  if (frame && step.bytes.size() <= m_commandFrame.size()) {
    if (step.clearsFrame) m_commandFrame.fill(0);
    std::copy(step.bytes.begin(), step.bytes.end(), m_commandFrame.begin());
  }
  // The worker gets its own copies and hands what happened back by value;
  // the record reaches the log here, after the call and before any box.
  done = WaitWithoutFreezing([&sockets = m_sockets, address, step, done = std::move(done)]() mutable {
    printerlink::RunStep({sockets, address}, step, done);
    return std::move(done);
  });
  if (m_pExchangeObserver) m_pExchangeObserver->OnExchange(done.records.back());
  if (done.last.ok()) return 1;
  if (frame && !caller.IsEnding()) AfxMessageBox(LoadString(IDS_CANT_CONNECT));
  return 0;
}

int CPrinterTestDlg::RunPlan(const printerlink::Plan& plan, const std::optional<CString>& address) {
  int sent = 0;
  printerlink::Done done;
  for (const printerlink::Step& step : plan) {
    if (IsEnding()) break;  // closed while the step before waited
    if (!address) UpdateData(TRUE);
    sent = RunStep(*this, address ? *address : ResolveTargetAddress(), step, done);
  }
  return sent;
}

void CPrinterTestDlg::OnSysCommand(UINT id, long lParam) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    if (m_runAboutBox) m_runAboutBox(this);
    return;
  }
  if ((id & 0xFFF0) == IDM_EXCHANGE_LOG) {
    if (m_runExchangeLog) m_runExchangeLog(GetDialogWindow());
    return;
  }
  CDialog::OnSysCommand(id, lParam);
}
