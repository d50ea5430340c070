// The console's command buttons: each sends its frame or text to the printer
// and tells the technician plainly what happened.
#include "DataExchange.h"
#include "HexParse.h"
#include "MessageBox.h"
#include "PrinterCommands.h"
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

struct CommandButton {
  int id;
  void (CPrinterTestDlg::*handler)();
};

}  // namespace

// A button that only runs its operation: the frames go to the TargetAddress,
// and a frame that fails says "Can't Connect Net!".
template <printerlink::Plan (*plan)()>
void CPrinterTestDlg::OnPlanButton() {
  RunPlan(plan());
}

void CPrinterTestDlg::BindCommandButtons() {
  static constexpr CommandButton kButtons[] = {
      {IDC_RADIO_AUTO, &CPrinterTestDlg::OnAutoGetAddress},
      {IDC_SET_IP, &CPrinterTestDlg::OnSetIp},
      {IDC_SET_MAC, &CPrinterTestDlg::OnSetMac},
      {IDC_PRINT, &CPrinterTestDlg::OnPrint},
      {IDC_CASH_DRAWER, &CPrinterTestDlg::OnPlanButton<printerlink::DrawerPlan>},
      {IDC_CUT_PAPER, &CPrinterTestDlg::OnPlanButton<printerlink::CutPlan>},
      {IDC_INIT_PRINTER, &CPrinterTestDlg::OnPlanButton<printerlink::InitPlan>},
      {IDC_OTHER_SET, &CPrinterTestDlg::OnOtherTest},
      {IDC_GET_STATUS, &CPrinterTestDlg::OnGetStatus},
      {IDC_TEST_CONNECTION, &CPrinterTestDlg::OnTestConnection},
  };
  for (const CommandButton& b : kButtons) BindClicked(b.id, b.handler);
}

void CPrinterTestDlg::OnPrint() {
  UpdateData(TRUE);
  // The next click reads the field again, so the line feed never piles up in the member.
  RunPlan(printerlink::TestPagePlan(m_strTestPage));
  if (IsEnding()) return;  // closed while the page went: no pause to keep
  WaitWithoutFreezing([&sockets = m_sockets] { sockets.Sleep(kPrintPauseMs); });
}

void CPrinterTestDlg::OnOtherTest() {
  UpdateData(TRUE);
  // ESC/POS sequences longer than a frame go whole, the same way.
  RunPlan(printerlink::RawPlan(ParseHexPieces(m_strOtherHex)));
}

void CPrinterTestDlg::OnSetIp() {
  UpdateData(TRUE);
  const CString current = ResolveTargetAddress();
  printerlink::Ipv4Octets octets{};
  const int filled = m_ipNew.GetAddress(octets[0], octets[1], octets[2], octets[3]);
  if (const auto problem = printerlink::CheckNewAddress(octets, filled)) {
    AfxMessageBox(LoadString(printerlink::SettingProblemTextId(*problem)));
    return;
  }
  const CString next = DottedQuad(octets);
  if (current == next) {
    AfxMessageBox(LoadString(IDS_CURRENT_IP) + next);
    return;
  }
  const int sent = RunPlan(printerlink::SetAddressPlan(octets));
  if (IsEnding()) return;  // closed while it waited: the result is dropped
  AfxMessageBox(LoadString(sent ? IDS_SET_IP_SUCCESS : IDS_SET_IP_FAILED));
}

void CPrinterTestDlg::OnSetMac() {
  UpdateData(TRUE);
  printerlink::MacBytes mac{};
  if (const auto problem = printerlink::ReadMacText(m_strMac, mac)) {
    AfxMessageBox(LoadString(printerlink::SettingProblemTextId(*problem)));
    return;
  }
  const int sent = RunPlan(printerlink::SetMacPlan(mac));
  if (IsEnding()) return;
  AfxMessageBox(sent ? "Set Mac Success" : "Set Mac Error");
}

void CPrinterTestDlg::OnTestConnection() {
  // Always the typed address, whatever the radio choice and the list say.
  printerlink::Ipv4Octets octets{};
  m_ipTarget.GetAddress(octets[0], octets[1], octets[2], octets[3]);
  const int reached = RunPlan(printerlink::TestPlan(), DottedQuad(octets));
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
      [this](int host, const std::string& address, bool found, const QString& card) {
        if (found) {
          // The entry stays the bare address: it is read back as the target.
          m_comboPrinters.SetItemToolTip(m_comboPrinters.AddString(address), card);
          UpdateData(FALSE);
        }
        m_progress.SetPos(SweepProgress(host));
      },
      m_pExchangeObserver, m_localTables);
  // Selected, but not copied into the target field: only a technician's pick does that.
  if (m_comboPrinters.GetCount() > 0) m_comboPrinters.SetCurSel(0);
  m_progress.ShowWindow(SW_HIDE);
}
