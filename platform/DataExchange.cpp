#include "DataExchange.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>

#include "Dialog.h"
#include "Gbk.h"
#include "MessageBox.h"
#include "StringTable.h"
#include "Wnd.h"

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (control.IsAttached()) return;
  control.Attach(pDX->m_pDlgWnd->GetDlgItem(id));
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  QWidget* widget = pDX->m_pDlgWnd->GetDlgItem(id);
  pDX->m_pLastControl = widget;
  if (!widget) return;
  if (pDX->m_bSaveAndValidate) {
    value = ToGbk(WidgetText(widget));
  } else {
    SetWidgetText(widget, FromGbk(value));
  }
}

void DDX_Radio(CDataExchange* pDX, int id, int& value) {
  const std::vector<QRadioButton*> group = pDX->m_pDlgWnd->RadioGroup(id);
  if (pDX->m_bSaveAndValidate) {
    value = -1;
    for (std::size_t i = 0; i < group.size(); ++i) {
      if (group[i]->isChecked()) {
        value = static_cast<int>(i);
        break;
      }
    }
  } else {
    for (std::size_t i = 0; i < group.size(); ++i) SetRadioChecked(group[i], static_cast<int>(i) == value);
  }
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars) {
  auto* edit = qobject_cast<QLineEdit*>(pDX->m_pLastControl);
  if (!pDX->m_bSaveAndValidate) {
    if (edit) edit->setMaxLength(maxChars);
    return;
  }
  if (static_cast<int>(value.size()) <= maxChars) return;
  const QString text = LoadText(IDS_MAX_CHARS).arg(maxChars);
  ShowMessageBox(pDX->m_pDlgWnd->GetDialogWindow(), text, QApplication::applicationName(), MB_OK | MB_ICONEXCLAMATION);
  if (edit) edit->setFocus();
  pDX->m_bFailed = true;
}
