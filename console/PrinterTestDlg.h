#pragma once
// The console: the one main window. It owns every piece of run-time state the
// program has: the fields, the three texts behind them, the choice between a
// typed printer address and a found one, and the command and reply areas.

#include <ctime>
#include <functional>
#include <optional>
#include <span>

#include "ComboBox.h"
#include "Dialog.h"
#include "ExchangeRecord.h"
#include "Frames.h"
#include "IPAddressCtrl.h"
#include "MyEdit.h"
#include "PrinterCommands.h"
#include "TextProgressCtrl.h"
#include "SocketLibrary.h"
#include "StatusChannel.h"
#include "Transport.h"
#include "Types.h"

class CPrinterTestDlg : public CDialog {
public:
  explicit CPrinterTestDlg(CWnd* parent = nullptr,
                           printerlink::SocketLibrary& sockets = printerlink::SystemSocketLibrary());

  // The printer commands go to, resolved from the fields as they are now
  // (call after UpdateData(TRUE)).
  CString ResolveTargetAddress();

  // Sends the first `length` bytes of the CommandFrame to the TargetAddress:
  // port 9100, or port 4000 when the printer answers into the ReplyBuffer.
  // Returns 1, or shows "Can't Connect Net!" and returns 0 once it is closed.
  int SendCommandFrame(std::size_t length, bool expectReply);
  // Sends a text, as its bytes, to the TargetAddress's port 4000. A text that
  // cannot reach its printer fails without a word.
  void SendTextJob(const CString& text);

  // The status monitor's way to its printer.
  CStatusChannel& StatusChannel() { return m_statusChannel; }

  // Makes one exchange of a printer operation with `address`, off the
  // interface thread, and hands its record to the exchange observer. A frame
  // or status query that fails shows "Can't Connect Net!" once it has ended,
  // unless `caller` was closed while it waited; a text job fails without a
  // word, a probe says nothing. Returns 1 when the exchange went through.
  int RunStep(const CDialog& caller, const CString& address, const printerlink::Step& step, printerlink::Done& done);

  // When set before the console opens: both address fields start with it.
  CString m_strStartPrinter;
  // When set before the console opens: the test page's time line shows this
  // local time instead of the clock's (pictures that must not change).
  std::optional<std::tm> m_testPageTime;

  // Runs the About box when the system menu's About item is chosen.
  std::function<void(CWnd* owner)> m_runAboutBox;
  // Runs the status monitor for the printer at `target` ("Get Status").
  std::function<void(const CString& target)> m_runStatusMonitor;
  // Opens the exchange log (its system-menu item and Ctrl+L exist only when set).
  std::function<void(QWidget* owner)> m_runExchangeLog;
  // Takes a record of every exchange of the console, its monitor and its
  // sweep, on the interface thread once the call has ended; not owned.
  printerlink::ExchangeObserver* m_pExchangeObserver = nullptr;
  // Where the sweep reads the found printers' MACs and vendors; tests give their own.
  printerlink::LocalTables m_localTables;

protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  void OnSysCommand(UINT id, long lParam) override;
  void OnSelchangePrinterList();

  // The command buttons, each bound to its control's click: a button that
  // only runs an operation by its plan, the others by their handlers.
  void BindCommandButtons();
  template <printerlink::Plan (*plan)()>
  void OnPlanButton();
  void OnPrint();
  void OnOtherTest();
  void OnSetIp();
  void OnSetMac();
  void OnTestConnection();
  void OnGetStatus();
  void OnAutoGetAddress();
  // Lists the printers of the /24 of the target field, in host order.
  void SweepSubnet();

private:
  // Makes the operation's exchanges with `address`, or with the TargetAddress
  // resolved as each goes, the way the buttons always have: one that fails
  // does not keep the next from going, and closing the console ends the plan
  // after the exchange under way. Returns the last exchange's 1 or 0.
  int RunPlan(const printerlink::Plan& plan, const std::optional<CString>& address = std::nullopt);

  // The state, in declaration order.
  // The last frame as it went on the wire, from index 0; behind a frame that
  // did not clear it, what a longer one left.
  printerlink::CommandFrame m_commandFrame;
  printerlink::ReplyBuffer m_replyBuffer;
  std::size_t m_nReplyLength = 0;  // how many bytes of the last reply arrived
  CTextProgressCtrl m_progress;
  CMyEdit m_editMac;
  CComboBox m_comboPrinters;
  CIPAddressCtrl m_ipNew;
  CIPAddressCtrl m_ipTarget;
  int m_nAddressMode;  // 0: typed address (1010), 1: found printer (1011), -1: neither selected
  CString m_strOtherHex;
  CString m_strTestPage;
  CString m_strMac;
  QIcon m_hIcon;

  printerlink::SocketLibrary& m_sockets;
  CStatusChannel m_statusChannel{*this};
};
