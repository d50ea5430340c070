#pragma once
// A dialog built from its template in the interface language: one widget per
// template control, placed in dialog units of the template's font, reached by
// control id. Handlers are bound to control ids in the derived class's
// constructor, like a message table.

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "Menu.h"
#include "Resources.h"
#include "Wnd.h"

class CDataExchange;
class QButtonGroup;
class QDialog;
class QRadioButton;

class CDialog : public CWnd {
public:
  explicit CDialog(int templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Builds the window, initialises it, runs it modally, destroys the window
  // and returns the code given to EndDialog.
  int DoModal();
  // Builds the window, initialises it and shows it without a modal loop, for
  // tests and pictures; DestroyWindow() ends it.
  BOOL Create();
  void DestroyWindow();
  void EndDialog(int result);
  // The code EndDialog was given, -1 while the dialog has not ended.
  int GetModalResult() const { return m_nModalResult; }
  // Whether EndDialog has been called or the window is gone: a handler whose
  // window was closed while its printer call waited drops the result and
  // shows and sends nothing more.
  bool IsEnding() const { return m_ending || !m_pWindow; }
  QDialog* GetDialogWindow() const { return m_pWindow; }

  // Copies between controls and members: TRUE from the controls into the
  // members (and validates), FALSE from the members into the controls.
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  QWidget* GetDlgItem(int id) const;
  // The radio buttons of the group that starts with `firstId`, in template order.
  std::vector<QRadioButton*> RadioGroup(int firstId) const;

  // Window timers by id; setting an id again restarts it.
  void SetTimer(UINT id, UINT elapseMs);
  BOOL KillTimer(UINT id);

  CMenu* GetSystemMenu(BOOL revert);
  void SetIcon(const QIcon& icon, BOOL bigIcon);
  // The OK/Cancel box with this dialog as owner.
  int MessageBox(const CString& text, const CString& caption = {}, UINT type = MB_OK);

  // Simulates the user choosing a system-menu item (tests).
  void SendSysCommand(UINT id) { OnSysCommand(id, 0); }
  // Opens the system menu as Alt+Space or a right click does.
  void ShowSystemMenu();

protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnTimer(UINT) {}
  virtual void OnDestroy() {}
  virtual void OnSysCommand(UINT id, long lParam);

  // The message table: handlers for a button's click and a list's selection change.
  template <typename D>
  void BindClicked(int id, void (D::*handler)()) {
    m_clicked[id] = [this, handler] { (static_cast<D*>(this)->*handler)(); };
  }
  template <typename D>
  void BindSelChange(int id, void (D::*handler)()) {
    m_selChange[id] = [this, handler] { (static_cast<D*>(this)->*handler)(); };
  }

private:
  class Window;
  friend class Window;

  bool BuildWindow();
  void BuildControls();
  // One template control as a widget of the dialog, placed; `radioGroup` is
  // the button group of the radio buttons before it.
  QWidget* BuildControl(const res::ControlTemplate& c, const QRect& rect, QButtonGroup*& radioGroup);
  QWidget* BuildPushButton(const res::ControlTemplate& c, const QString& caption);
  QWidget* BuildRadioButton(const res::ControlTemplate& c, const QString& caption, QButtonGroup*& group);
  QWidget* BuildDropList(const res::ControlTemplate& c, const QRect& rect);
  void Dispatch(int id);
  // Whether a click on `id` ends the dialog (OK or Cancel with no handler of its own).
  bool EndsDialog(int id) const;
  void OnEnter();
  void TimerFired(int qtTimerId);

  int m_templateId;
  CWnd* m_pParent;
  const res::DialogTemplate* m_pTemplate = nullptr;
  QPointer<QDialog> m_pWindow;
  QHash<int, QPointer<QWidget>> m_items;
  int m_defaultButtonId = 0;
  int m_nModalResult = -1;
  bool m_ending = false;
  std::map<UINT, int> m_timers;  // our id -> Qt's timer id
  std::unique_ptr<CMenu> m_pSystemMenu;
  std::map<int, std::function<void()>> m_clicked;
  std::map<int, std::function<void()>> m_selChange;
};
