#include "Wnd.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "AccessibleNames.h"
#include "Gbk.h"
#include "IpAddressEdit.h"
#include "Resources.h"

class CWnd::Subclass : public QObject {
public:
  explicit Subclass(CWnd& owner) : owner_(owner) {}
  bool eventFilter(QObject*, QEvent* event) override { return owner_.WindowProc(event); }

private:
  CWnd& owner_;
};

CWnd::CWnd() = default;
CWnd::~CWnd() { Detach(); }

void CWnd::Attach(QWidget* widget) {
  Detach();
  if (!widget) return;
  m_pWidget = widget;
  m_subclass = std::make_unique<Subclass>(*this);
  widget->installEventFilter(m_subclass.get());
  OnAttached();
}

void CWnd::Detach() {
  if (m_pWidget && m_subclass) m_pWidget->removeEventFilter(m_subclass.get());
  m_subclass.reset();
  m_pWidget = nullptr;
}

bool CWnd::WindowProc(QEvent*) { return false; }

void CWnd::SetWindowText(const CString& text) {
  if (m_pWidget) SetWidgetText(m_pWidget, FromGbk(text));
}

CString CWnd::GetWindowText() const { return m_pWidget ? ToGbk(WidgetText(m_pWidget)) : CString(); }

void CWnd::ShowWindow(int command) {
  if (m_pWidget) m_pWidget->setVisible(command != SW_HIDE);
}

BOOL CWnd::IsWindowVisible() const { return m_pWidget && m_pWidget->isVisible() ? TRUE : FALSE; }

void CWnd::EnableWindow(BOOL enable) {
  if (m_pWidget) m_pWidget->setEnabled(enable != FALSE);
}

QString WidgetText(const QWidget* widget) {
  if (auto* w = qobject_cast<const QLineEdit*>(widget)) return w->text();
  if (auto* w = qobject_cast<const QPlainTextEdit*>(widget)) {
    // Line breaks read back as single line feeds, whatever was pasted in.
    QString text = w->toPlainText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
  }
  if (auto* w = qobject_cast<const QAbstractButton*>(widget)) return w->text();
  if (auto* w = qobject_cast<const QComboBox*>(widget)) return w->currentText();
  if (auto* w = qobject_cast<const QLabel*>(widget)) return w->text();
  if (auto* w = qobject_cast<const QGroupBox*>(widget)) return w->title();
  if (auto* w = qobject_cast<const IpAddressEdit*>(widget)) return w->Text();
  if (widget && widget->isWindow()) return widget->windowTitle();
  return widget ? widget->property("windowText").toString() : QString();
}

void SetWidgetText(QWidget* widget, const QString& text) {
  if (auto* w = qobject_cast<QLineEdit*>(widget)) return w->setText(text);
  if (auto* w = qobject_cast<QPlainTextEdit*>(widget)) return w->setPlainText(text);
  if (auto* w = qobject_cast<QAbstractButton*>(widget)) {
    // The name a screen reader reads follows the caption (the status lamps').
    w->setText(text);
    w->setAccessibleName(accessible::CaptionName(text));
    return;
  }
  if (auto* w = qobject_cast<QComboBox*>(widget)) {
    const int index = w->findText(text);
    if (index >= 0) w->setCurrentIndex(index);
    return;
  }
  if (auto* w = qobject_cast<QLabel*>(widget)) return w->setText(text);
  if (auto* w = qobject_cast<QGroupBox*>(widget)) return w->setTitle(text);
  if (auto* w = qobject_cast<IpAddressEdit*>(widget)) return w->SetText(text);
  if (widget && widget->isWindow()) return widget->setWindowTitle(text);
  // Controls without a text of their own (the progress bar) keep it as a
  // property, where a control class can read it.
  if (widget) widget->setProperty("windowText", text);
}

void SetRadioChecked(QAbstractButton* button, bool checked) {
  if (!button) return;
  if (checked || !button->isChecked()) return button->setChecked(checked);
  // An exclusive group never lets its checked button go by itself; a dialog
  // whose choice reads "neither" clears it anyway.
  QButtonGroup* group = button->group();
  const bool autoExclusive = button->autoExclusive();
  if (group) group->setExclusive(false);
  button->setAutoExclusive(false);
  button->setChecked(false);
  button->setAutoExclusive(autoExclusive);
  if (group) group->setExclusive(true);
}

QIcon LoadIcon(int id) {
  QIcon icon;
  for (int size : {16, 32}) {
    const QPixmap pixmap = res::IconPixmap(id, size);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  return icon;
}
