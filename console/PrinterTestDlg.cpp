#include "PrinterTestDlg.h"

#include <QKeySequence>
#include <QShortcut>
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
  BindClicked(IDC_RADIO_AUTO, &CPrinterTestDlg::OnAutoGetAddress);
  BindClicked(IDC_SET_IP, &CPrinterTestDlg::OnSetIp);
  BindClicked(IDC_SET_MAC, &CPrinterTestDlg::OnSetMac);
  BindClicked(IDC_PRINT, &CPrinterTestDlg::OnPrint);
  BindClicked(IDC_CASH_DRAWER, &CPrinterTestDlg::OnCashDrawer);
  BindClicked(IDC_CUT_PAPER, &CPrinterTestDlg::OnCutPaper);
  BindClicked(IDC_INIT_PRINTER, &CPrinterTestDlg::OnInitPrinter);
  BindClicked(IDC_OTHER_SET, &CPrinterTestDlg::OnOtherTest);
  BindSelChange(IDC_PRINTER_LIST, &CPrinterTestDlg::OnSelchangePrinterList);
  BindClicked(IDC_GET_STATUS, &CPrinterTestDlg::OnGetStatus);
  BindClicked(IDC_TEST_CONNECTION, &CPrinterTestDlg::OnTestConnection);
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
  m_ipTarget.SetAddress(0xC0A8010A);  // 192.168.1.10
  m_ipNew.SetAddress(0xC0A8010A);
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
  return SendBytes(std::span(m_commandFrame.data(), std::min(length, m_commandFrame.size())), expectReply);
}

int CPrinterTestDlg::SendBytes(std::span<const std::uint8_t> bytes, bool expectReply) {
  UpdateData(TRUE);
  printerlink::LinkResult result;
  return SendBytesTo(*this, ResolveTargetAddress(), bytes, expectReply, result);
}

int CPrinterTestDlg::SendBytesTo(const CDialog& caller, const CString& address, std::span<const std::uint8_t> bytes,
                                 bool expectReply, printerlink::LinkResult& result) {
  // The worker gets its own copies and hands the answer back by value; its
  // record reaches the log here, after the call and before any box.
  printerlink::ExchangeBuffer records;
  struct Outcome {
    printerlink::LinkResult result;
    printerlink::ReplyBuffer reply;
  };
  const Outcome outcome =
      WaitWithoutFreezing([&sockets = m_sockets, address, frame = std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                           expectReply, reply = m_replyBuffer, observer = records.For(m_pExchangeObserver)]() mutable {
        const printerlink::LinkResult r =
            printerlink::ExchangeFrame(sockets, address, frame, expectReply, reply, {}, observer);
        return Outcome{r, reply};
      });
  records.HandTo(m_pExchangeObserver);
  m_replyBuffer = outcome.reply;
  result = outcome.result;
  if (expectReply) m_nReplyLength = outcome.result.received;
  if (outcome.result.ok()) return 1;
  if (caller.IsEnding()) return 0;  // closed while it waited: nothing to say
  AfxMessageBox(LoadString(IDS_CANT_CONNECT));
  return 0;
}

void CPrinterTestDlg::SendTextJob(const CString& text) {
  UpdateData(TRUE);
  printerlink::ExchangeBuffer records;
  WaitWithoutFreezing(
      [&sockets = m_sockets, address = ResolveTargetAddress(), text, observer = records.For(m_pExchangeObserver)] {
        printerlink::SendTextJob(sockets, address, text, {}, observer);
      });
  records.HandTo(m_pExchangeObserver);
}

int CPrinterTestDlg::ProbePrinter(const CString& address, int port) {
  printerlink::LinkResult result;
  return ProbePrinter(address, port, result);
}

int CPrinterTestDlg::ProbePrinter(const CString& address, int port, printerlink::LinkResult& result) {
  printerlink::ExchangeBuffer records;
  result = WaitWithoutFreezing([&sockets = m_sockets, address, port, observer = records.For(m_pExchangeObserver)] {
    return printerlink::ProbePrinter(sockets, address, static_cast<std::uint16_t>(port), printerlink::kProbeWaitMs,
                                     observer);
  });
  records.HandTo(m_pExchangeObserver);
  return result.ok() ? 1 : 0;
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
