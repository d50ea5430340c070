#pragma once
// A window object attached to a widget, the way the dialogs' members are bound
// to their template controls. Attaching subclasses the widget: every event it
// gets passes through WindowProc first, where a control class adds its own
// behaviour. The object never owns the widget; the dialog's window does.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "Types.h"

class QAbstractButton;
class QEvent;

class CWnd {
public:
  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Attaches this object to a widget (at most one at a time).
  void Attach(QWidget* widget);
  void Detach();
  QWidget* GetSafeHwnd() const { return m_pWidget.data(); }
  bool IsAttached() const { return m_pWidget != nullptr; }

  // The widget's text: caption, field content, the selected list entry. A
  // control class may keep a text of its own instead.
  virtual void SetWindowText(const CString& text);
  virtual CString GetWindowText() const;
  void ShowWindow(int command);
  BOOL IsWindowVisible() const;
  void EnableWindow(BOOL enable);

protected:
  // Sees every event of the attached widget before the widget does; return
  // true to consume it.
  virtual bool WindowProc(QEvent* event);
  // Called once a widget is attached.
  virtual void OnAttached() {}

private:
  class Subclass;
  QPointer<QWidget> m_pWidget;
  std::unique_ptr<Subclass> m_subclass;
};

// The text a widget shows, whatever kind it is, and setting it.
QString WidgetText(const QWidget* widget);
void SetWidgetText(QWidget* widget, const QString& text);

// Checks or clears a radio button, even the checked one of an exclusive group.
void SetRadioChecked(QAbstractButton* button, bool checked);
