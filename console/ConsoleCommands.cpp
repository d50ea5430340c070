// The console's command buttons: each sends its frame or text to the printer
// and tells the technician plainly what happened.
#include "DataExchange.h"
#include "HexParse.h"
#include "MessageBox.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "Settings.h"
#include "StringTable.h"
#include "Strings.h"
#include "Sweep.h"
#include "TargetAddress.h"
#include "TestPage.h"
#include "Transport.h"
#include "Waiting.h"

namespace {
constexpr int kPrintPauseMs = 1000;  // lets the printer take the page before the next click
}  // namespace

void CPrinterTestDlg::OnPrint() {
  UpdateData(TRUE);
  // SendTextJob reads the field again, so the line feed never piles up in the member.
  m_strTestPage += "\n";
  SendTextJob(CString(m_strTestPage));
  if (IsEnding()) return;  // closed while the page went: no pause to keep
  WaitWithoutFreezing([&sockets = m_sockets] { sockets.Sleep(kPrintPauseMs); });
}

void CPrinterTestDlg::OnCashDrawer() { SendCommandFrame(printerlink::BuildDrawerFrame(m_commandFrame), false); }

void CPrinterTestDlg::OnCutPaper() {
  // The line is printed by the feed, then cut off; each step on its own connection.
  // Closing the console while a step waits ends the command after that step.
  SendTextJob(printerlink::kCutTestLine);
  if (IsEnding()) return;
  SendCommandFrame(printerlink::BuildFeedFrame(m_commandFrame), false);
  if (IsEnding()) return;
  SendCommandFrame(printerlink::BuildCutFrame(m_commandFrame), false);
}

void CPrinterTestDlg::OnInitPrinter() { SendCommandFrame(printerlink::BuildInitFrame(m_commandFrame), false); }

void CPrinterTestDlg::OnOtherTest() {
  UpdateData(TRUE);
  const std::vector<std::uint8_t> bytes = ParseHexPieces(m_strOtherHex);
  if (bytes.size() <= m_commandFrame.size()) {
    SendCommandFrame(printerlink::BuildRawHexFrame(m_commandFrame, bytes), false);
  } else {
    // Longer ESC/POS sequences go whole, from their own buffer, the same way.
    SendBytes(bytes, false);
  }
}

void CPrinterTestDlg::OnSetIp() {
  UpdateData(TRUE);
  const CString current = ResolveTargetAddress();
  printerlink::Ipv4Octets octets{};
  const int filled = m_ipNew.GetAddress(octets[0], octets[1], octets[2], octets[3]);
  if (const auto problem = printerlink::CheckNewAddress(octets, filled)) {
    AfxMessageBox(LoadString(res::SettingProblemTextId(*problem)));
    return;
  }
  const CString next = DottedQuad(octets);
  if (current == next) {
    AfxMessageBox(LoadString(IDS_CURRENT_IP) + next);
    return;
  }
  const int sent = SendCommandFrame(printerlink::BuildSetIpFrame(m_commandFrame, octets), false);
  if (IsEnding()) return;  // closed while it waited: the result is dropped
  AfxMessageBox(LoadString(sent ? IDS_SET_IP_SUCCESS : IDS_SET_IP_FAILED));
}

void CPrinterTestDlg::OnSetMac() {
  UpdateData(TRUE);
  printerlink::MacBytes mac{};
  if (const auto problem = printerlink::ReadMacText(m_strMac, mac)) {
    AfxMessageBox(LoadString(res::SettingProblemTextId(*problem)));
    return;
  }
  const int sent = SendCommandFrame(printerlink::BuildSetMacFrame(m_commandFrame, mac), false);
  if (IsEnding()) return;
  AfxMessageBox(sent ? "Set Mac Success" : "Set Mac Error");
}

void CPrinterTestDlg::OnTestConnection() {
  // Always the typed address, whatever the radio choice and the list say.
  printerlink::Ipv4Octets octets{};
  m_ipTarget.GetAddress(octets[0], octets[1], octets[2], octets[3]);
  const int reached = ProbePrinter(DottedQuad(octets), printerlink::kReplyPort);
  if (IsEnding()) return;
  AfxMessageBox(LoadString(reached ? IDS_CONNECT_OK : IDS_CANT_CONNECT));
}

void CPrinterTestDlg::OnGetStatus() {
  UpdateData(TRUE);
  const CString target = ResolveTargetAddress();
  if (m_runStatusMonitor) m_runStatusMonitor(target);
}

void CPrinterTestDlg::OnAutoGetAddress() {
  if (MessageBox(LoadString(IDS_SEARCH_START), {}, MB_OKCANCEL) != IDOK_ANSWER) return;
  m_progress.SetPos(0);
  m_comboPrinters.ResetContent();
  SweepSubnet();
  m_progress.SetPos(0);
}

void CPrinterTestDlg::SweepSubnet() {
  UpdateData(TRUE);
  BYTE a = 0, b = 0, c = 0, ignored = 0;  // the fourth field plays no part
  m_ipTarget.GetAddress(a, b, c, ignored);
  m_progress.ShowWindow(SW_SHOW);
  ProbeSubnet(
      m_sockets, {a, b, c},
      [this](int host, const std::string& address, bool found) {
        if (found) {
          m_comboPrinters.AddString(address);
          UpdateData(FALSE);
        }
        m_progress.SetPos(SweepProgress(host));
      },
      m_pExchangeObserver);
  // Selected, but not copied into the target field: only a technician's pick does that.
  if (m_comboPrinters.GetCount() > 0) m_comboPrinters.SetCurSel(0);
  m_progress.ShowWindow(SW_HIDE);
}
