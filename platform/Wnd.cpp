#include "Wnd.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMetaProperty>
#include <QPlainTextEdit>

#include "AccessibleNames.h"
#include "Gbk.h"

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
  if (auto* w = qobject_cast<const QPlainTextEdit*>(widget)) {
    // Line breaks read back as single line feeds, whatever was pasted in.
    QString text = w->toPlainText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
  }
  if (auto* w = qobject_cast<const QAbstractButton*>(widget)) return w->text();
  if (auto* w = qobject_cast<const QLabel*>(widget)) return w->text();
  if (auto* w = qobject_cast<const QGroupBox*>(widget)) return w->title();
  if (!widget) return {};
  if (widget->isWindow()) return widget->windowTitle();
  // Fields whose value is their text (a line edit, a drop-down list's
  // choice, the address field) say so by their user property.
  if (const QMetaProperty value = widget->metaObject()->userProperty(); value.typeId() == QMetaType::QString) {
    return value.read(widget).toString();
  }
  return widget->property("windowText").toString();
}

void SetWidgetText(QWidget* widget, const QString& text) {
  if (auto* w = qobject_cast<QPlainTextEdit*>(widget)) return w->setPlainText(text);
  if (auto* w = qobject_cast<QAbstractButton*>(widget)) {
    // The name a screen reader reads follows the caption (the status lamps').
    w->setText(text);
    w->setAccessibleName(accessible::CaptionName(text));
    return;
  }
  if (auto* w = qobject_cast<QLabel*>(widget)) return w->setText(text);
  if (auto* w = qobject_cast<QGroupBox*>(widget)) return w->setTitle(text);
  if (!widget) return;
  if (widget->isWindow()) return widget->setWindowTitle(text);
  // A drop-down list that cannot be typed in selects the item of that text,
  // if it has one; a line edit and the address field take the text.
  if (const QMetaProperty value = widget->metaObject()->userProperty(); value.typeId() == QMetaType::QString) {
    value.write(widget, text);
    return;
  }
  // Controls without a text of their own (the progress bar) keep it as a
  // property, where a control class can read it.
  widget->setProperty("windowText", text);
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
