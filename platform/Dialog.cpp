#include "Dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimerEvent>

#include "AccessibleNames.h"
#include "DataExchange.h"
#include "DialogUnits.h"
#include "Gbk.h"
#include "Ipv4FieldWidget.h"
#include "MessageBox.h"
#include "StringTable.h"
#include "Waiting.h"

using res::ControlKind;

// The dialog's top-level widget: hands keys, timers, closing and the system
// menu to its CDialog.
class CDialog::Window : public QDialog {
public:
  Window(CDialog& owner, QWidget* parent) : QDialog(parent), owner_(owner) {}

  void reject() override { owner_.Dispatch(IDCANCEL); }
  void accept() override { owner_.Dispatch(IDOK); }

protected:
  void keyPressEvent(QKeyEvent* event) override {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) return owner_.OnEnter();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier) return owner_.ShowSystemMenu();
    QDialog::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override {
    if (owner_.m_ending) return event->accept();
    // The close box and the window manager's close ask, like the system menu's Close.
    event->ignore();
    owner_.OnSysCommand(SC_CLOSE, 0);
  }
  void contextMenuEvent(QContextMenuEvent* event) override {
    event->accept();
    owner_.ShowSystemMenu();
  }
  void timerEvent(QTimerEvent* event) override { owner_.TimerFired(event->timerId()); }

private:
  CDialog& owner_;
};

CDialog::CDialog(int templateId, CWnd* parent) : m_templateId(templateId), m_pParent(parent) {}

CDialog::~CDialog() { DestroyWindow(); }

bool CDialog::BuildWindow() {
  DestroyWindow();
  m_pTemplate = res::FindDialog(m_templateId, InterfaceLanguage());
  if (!m_pTemplate) return false;
  m_nModalResult = -1;
  m_ending = false;
  QWidget* parentWidget = m_pParent ? m_pParent->GetSafeHwnd() : nullptr;
  auto* window = new Window(*this, parentWidget);
  m_pWindow = window;
  window->setAttribute(Qt::WA_DeleteOnClose, false);

  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (m_pTemplate->style & res::kSysMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (m_pTemplate->style & res::kMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  window->setWindowFlags(flags);
  window->setWindowTitle(QString::fromUtf8(m_pTemplate->title));
  window->setFont(DialogFont(m_pTemplate->fontFace, m_pTemplate->pointSize));
  window->setFixedSize(DialogUnitsToPixels(QSize(m_pTemplate->cx, m_pTemplate->cy), BaseUnitsOf(window->font())));

  m_pSystemMenu = std::make_unique<CMenu>();
  if (m_pTemplate->style & res::kMinimizeBox) m_pSystemMenu->AppendStandard(SC_MINIMIZE, LoadText(IDS_SYS_MINIMIZE));
  m_pSystemMenu->AppendStandard(SC_CLOSE, LoadText(IDS_SYS_CLOSE));

  BuildControls();
  Attach(window);
  return true;
}

namespace {

QWidget* BuildGroupBox(const QString& caption, QWidget* parent) {
  auto* g = new QGroupBox(caption, parent);
  g->setFocusPolicy(Qt::NoFocus);
  return g;
}

QWidget* BuildStaticText(const QString& caption, QWidget* parent) {
  auto* l = new QLabel(caption, parent);
  l->setTextFormat(Qt::PlainText);
  l->setWordWrap(true);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return l;
}

// An icon static shows the icon at its own size, whatever the template says.
QWidget* BuildStaticIcon(const res::ControlTemplate& c, const QRect& rect, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setPixmap(res::IconPixmap(c.iconId, 32));
  l->setGeometry(QRect(rect.topLeft(), QSize(32, 32)));
  return l;
}

QWidget* BuildEdit(const res::ControlTemplate& c, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  if (c.style & res::kUpperCase) {
    QObject::connect(e, &QLineEdit::textEdited, e, [e](const QString& text) {
      const QString upper = text.toUpper();
      if (upper == text) return;
      const int cursor = e->cursorPosition();
      e->setText(upper);
      e->setCursorPosition(cursor);
    });
  }
  return e;
}

QWidget* BuildRichEdit(QWidget* parent) {
  auto* t = new QPlainTextEdit(parent);
  t->setTabChangesFocus(true);
  t->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  t->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  return t;
}

QWidget* BuildProgress(QWidget* parent) {
  auto* p = new QProgressBar(parent);
  p->setTextVisible(false);
  p->setRange(0, 100);
  p->setValue(0);
  return p;
}

// Labels, frames, icons and bars are passed over by Tab and clicks alike.
bool TakesFocus(ControlKind kind) {
  return kind != ControlKind::StaticText && kind != ControlKind::GroupBox && kind != ControlKind::StaticIcon &&
         kind != ControlKind::Progress;
}

}  // namespace

QWidget* CDialog::BuildPushButton(const res::ControlTemplate& c, const QString& caption) {
  auto* b = new QPushButton(caption, m_pWindow);
  b->setAutoDefault(false);
  if (c.kind == ControlKind::DefPushButton) {
    b->setDefault(true);
    m_defaultButtonId = c.id;
  }
  const int id = c.id;
  QObject::connect(b, &QPushButton::clicked, m_pWindow, [this, id] { Dispatch(id); });
  if (EndsDialog(id)) b->setProperty(kEndsDialogProperty, true);
  return b;
}

QWidget* CDialog::BuildRadioButton(const res::ControlTemplate& c, const QString& caption, QButtonGroup*& group) {
  auto* r = new QRadioButton(caption, m_pWindow);
  // An auto radio button selects itself and clears the others of its group;
  // the arrow keys move the selection within the group. Each template group
  // is a button group of its own, exclusive, so the desktop sees radio
  // buttons, not check boxes.
  if (!group || (c.style & res::kGroup)) {
    group = new QButtonGroup(m_pWindow);
    group->setExclusive(true);
  }
  group->addButton(r);
  const int id = c.id;
  QObject::connect(r, &QRadioButton::clicked, m_pWindow, [this, id] { Dispatch(id); });
  return r;
}

QWidget* CDialog::BuildDropList(const res::ControlTemplate& c, const QRect& rect) {
  auto* combo = new QComboBox(m_pWindow);
  combo->setEditable(false);
  const int id = c.id;
  QObject::connect(combo, &QComboBox::activated, m_pWindow, [this, id] {
    if (CallInFlight()) return;
    if (auto it = m_selChange.find(id); it != m_selChange.end()) it->second();
  });
  // The template's height is that of the open list.
  const int rowHeight = std::max(1, combo->fontMetrics().height() + 2);
  combo->setMaxVisibleItems(std::max(1, (rect.height() - combo->sizeHint().height()) / rowHeight));
  combo->setGeometry(QRect(rect.topLeft(), QSize(rect.width(), combo->sizeHint().height())));
  return combo;
}

QWidget* CDialog::BuildControl(const res::ControlTemplate& c, const QRect& rect, QButtonGroup*& radioGroup) {
  const QString caption = QString::fromUtf8(c.caption);
  if (c.kind != ControlKind::RadioButton) radioGroup = nullptr;  // any other control ends a radio group
  QWidget* widget = nullptr;
  switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: widget = BuildPushButton(c, caption); break;
    case ControlKind::RadioButton: widget = BuildRadioButton(c, caption, radioGroup); break;
    case ControlKind::GroupBox: widget = BuildGroupBox(caption, m_pWindow); break;
    case ControlKind::StaticText: widget = BuildStaticText(caption, m_pWindow); break;
    case ControlKind::StaticIcon: return BuildStaticIcon(c, rect, m_pWindow);  // placed at its own size
    case ControlKind::Edit: widget = BuildEdit(c, m_pWindow); break;
    case ControlKind::RichEdit: widget = BuildRichEdit(m_pWindow); break;
    case ControlKind::DropList: return BuildDropList(c, rect);  // placed by its closed height
    case ControlKind::IpAddress: widget = new Ipv4FieldWidget(m_pWindow); break;
    case ControlKind::Progress: widget = BuildProgress(m_pWindow); break;
  }
  widget->setGeometry(rect);
  return widget;
}

void CDialog::BuildControls() {
  const DialogBaseUnits base = BaseUnitsOf(m_pWindow->font());
  QButtonGroup* radioGroup = nullptr;  // the radio buttons of the current group
  QList<QWidget*> behind;              // group boxes, drawn behind the controls they frame
  std::vector<QWidget*> built;         // one per template control, for naming

  for (const res::ControlTemplate& c : m_pTemplate->controls) {
    QWidget* widget = BuildControl(c, DialogUnitsToPixels(QRect(c.x, c.y, c.cx, c.cy), base), radioGroup);
    if (c.kind == ControlKind::GroupBox) behind.push_back(widget);
    if (!TakesFocus(c.kind)) {
      widget->setFocusPolicy(Qt::NoFocus);
    } else {
      widget->setFocusPolicy((c.style & res::kTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
    }
    if (c.style & res::kHidden) widget->hide();
    widget->setProperty("controlId", c.id);
    if (c.id >= 0) m_items.insert(c.id, widget);
    built.push_back(widget);
  }
  for (QWidget* g : behind) g->lower();
  accessible::NameControls(*m_pTemplate, built, InterfaceLanguage());
}

bool CDialog::EndsDialog(int id) const { return (id == IDOK || id == IDCANCEL) && !m_clicked.contains(id); }

void CDialog::Dispatch(int id) {
  if (CallInFlight()) {
    // A command never starts while a printer call waits; a request to close
    // is kept and carried out as soon as the call ends.
    if (EndsDialog(id)) {
      AfterCallsInFlight([this, window = m_pWindow, id] {
        if (window && !m_ending) Dispatch(id);
      });
    }
    return;
  }
  if (auto it = m_clicked.find(id); it != m_clicked.end()) return it->second();
  if (id == IDOK) return OnOK();
  if (id == IDCANCEL) return OnCancel();
}

void CDialog::OnEnter() {
  // A focused push button takes Enter itself; otherwise the default button,
  // and without one the dialog's OK.
  if (auto* b = qobject_cast<QPushButton*>(QApplication::focusWidget()); b && b->window() == m_pWindow) {
    return b->click();
  }
  if (m_defaultButtonId != 0) {
    if (auto* b = qobject_cast<QPushButton*>(GetDlgItem(m_defaultButtonId)); b && b->isEnabled()) return b->click();
  }
  Dispatch(IDOK);
}

int CDialog::DoModal() {
  if (!BuildWindow()) return -1;
  if (OnInitDialog()) {
    if (QWidget* first = m_pWindow->nextInFocusChain(); first && first != m_pWindow) first->setFocus();
  }
  if (!m_ending) m_pWindow->exec();
  const int result = m_nModalResult;
  DestroyWindow();
  return result;
}

BOOL CDialog::Create() {
  if (!BuildWindow()) return FALSE;
  OnInitDialog();
  if (!m_ending) m_pWindow->show();
  return TRUE;
}

void CDialog::DestroyWindow() {
  if (!m_pWindow) return;
  OnDestroy();
  for (const auto& [id, qtId] : m_timers) m_pWindow->killTimer(qtId);
  m_timers.clear();
  Detach();
  QDialog* window = m_pWindow;
  m_pWindow = nullptr;
  m_items.clear();
  m_defaultButtonId = 0;
  delete window;  // the control objects' widgets go with it
}

void CDialog::EndDialog(int result) {
  m_nModalResult = result;
  m_ending = true;
  if (m_pWindow) m_pWindow->done(result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  if (!m_pWindow) return FALSE;
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return dx.m_bFailed ? FALSE : TRUE;
}

QWidget* CDialog::GetDlgItem(int id) const { return m_items.value(id); }

std::vector<QRadioButton*> CDialog::RadioGroup(int firstId) const {
  // The button group BuildRadioButton put it in holds the group in template order.
  std::vector<QRadioButton*> group;
  auto* first = qobject_cast<QRadioButton*>(GetDlgItem(firstId));
  if (!first || !first->group()) return group;
  const QList<QAbstractButton*> buttons = first->group()->buttons();
  for (qsizetype i = buttons.indexOf(first); i < buttons.size(); ++i) {
    group.push_back(static_cast<QRadioButton*>(buttons[i]));
  }
  return group;
}

void CDialog::SetTimer(UINT id, UINT elapseMs) {
  if (!m_pWindow) return;
  KillTimer(id);
  m_timers[id] = m_pWindow->startTimer(static_cast<int>(elapseMs));
}

BOOL CDialog::KillTimer(UINT id) {
  const auto it = m_timers.find(id);
  if (it == m_timers.end()) return FALSE;
  if (m_pWindow) m_pWindow->killTimer(it->second);
  m_timers.erase(it);
  return TRUE;
}

void CDialog::TimerFired(int qtTimerId) {
  for (const auto& [id, qtId] : m_timers) {
    if (qtId == qtTimerId) return OnTimer(id);
  }
}

CMenu* CDialog::GetSystemMenu(BOOL) {
  if (!m_pTemplate || !(m_pTemplate->style & res::kSysMenu)) return nullptr;
  return m_pSystemMenu.get();
}

void CDialog::ShowSystemMenu() {
  CMenu* menu = GetSystemMenu(FALSE);
  if (!menu || !m_pWindow) return;
  QMenu popup(m_pWindow);
  for (const CMenu::Item& item : menu->Items()) {
    if (item.flags & MF_SEPARATOR) {
      popup.addSeparator();
    } else {
      const UINT id = item.id;
      popup.addAction(item.text, m_pWindow, [this, id] { OnSysCommand(id, 0); });
    }
  }
  popup.exec(QCursor::pos());
}

void CDialog::SetIcon(const QIcon& icon, BOOL) {
  // Qt keeps one icon with all its sizes for both roles.
  if (m_pWindow) m_pWindow->setWindowIcon(icon);
}

int CDialog::MessageBox(const CString& text, const CString& caption, UINT type) {
  const QString title = caption.empty() ? QApplication::applicationName() : FromGbk(caption);
  return ShowMessageBox(m_pWindow, FromGbk(text), title, type);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnSysCommand(UINT id, long) {
  switch (id & 0xFFF0) {
    case SC_CLOSE: Dispatch(IDCANCEL); break;
    case SC_MINIMIZE:
      if (m_pWindow) m_pWindow->showMinimized();
      break;
    default: break;
  }
}
