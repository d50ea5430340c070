#include "Waiting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QWindow>
#include <thread>
#include <vector>

namespace {

// Interface thread only.
int g_callsInFlight = 0;
std::vector<std::function<void()>> g_afterCalls;

void RunAfterCalls() {
  // An action may start another call; what it defers then waits for that one.
  std::vector<std::function<void()>> actions;
  actions.swap(g_afterCalls);
  for (const auto& action : actions) action();
}

// The widget an input event is meant for: the widget itself, or for events
// the window system hands to a top-level window, the widget under the mouse
// or the one with the keyboard focus.
QWidget* InputTarget(QObject* receiver, QEvent* event) {
  if (auto* widget = qobject_cast<QWidget*>(receiver)) return widget;
  auto* window = qobject_cast<QWindow*>(receiver);
  if (!window) return nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->windowHandle() != window) continue;
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
      QWidget* focus = QApplication::focusWidget();
      return focus && focus->window() == top ? focus : top;
    }
    if (auto* mouse = dynamic_cast<QMouseEvent*>(event)) {
      QWidget* child = top->childAt(mouse->position().toPoint());
      return child ? child : top;
    }
    return top;
  }
  return nullptr;
}

bool EndsDialog(const QWidget* widget) {
  return widget && qobject_cast<const QAbstractButton*>(widget) && widget->property(kEndsDialogProperty).toBool();
}

bool IsActivationKey(int key) {
  return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Select;
}

// Input that would start something: dropped while a call waits. Releases
// pass, so a button pressed before the wait is not left held down; its click
// ends in the dialog's dispatch, which drops it.
bool IsStartingInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
    case QEvent::Drop: return true;
    default: return false;
  }
}

// Whether the input asks a window to close: Escape, or a click or an
// activation key on the button that ends its dialog. These pass and end in
// the dialog's dispatch, which keeps them until the call ends.
bool AsksToClose(QObject* receiver, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: return EndsDialog(InputTarget(receiver, event));
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) return true;
      return IsActivationKey(key->key()) && EndsDialog(InputTarget(receiver, event));
    }
    default: return false;
  }
}

// Installed on the application while a call is in flight.
class InputGate final : public QObject {
public:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (!IsStartingInput(event->type()) || AsksToClose(receiver, event)) return false;
    // A box that a timer opened while the call waits takes its input: the
    // call cannot end before the box does.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != modalAtStart_) {
      if (QWidget* target = InputTarget(receiver, event); target && target->window() == modal) return false;
    }
    // An accepted override keeps the key from triggering a shortcut.
    if (event->type() == QEvent::ShortcutOverride) event->accept();
    return true;
  }

private:
  QPointer<QWidget> modalAtStart_ = QApplication::activeModalWidget();
};

class BusyScope {
public:
  BusyScope() {
    if (g_callsInFlight++ == 0) {
      gate_ = new InputGate;
      qApp->installEventFilter(gate_);
    }
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  }
  ~BusyScope() {
    QGuiApplication::restoreOverrideCursor();
    if (--g_callsInFlight == 0) {
      delete gate_;  // removes itself from the application's filters
      RunAfterCalls();
    }
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

private:
  static inline InputGate* gate_ = nullptr;
};

}  // namespace

namespace waiting_detail {

void RunOffInterfaceThread(const std::function<void()>& work) {
  // Without an event loop to keep alive (a tool, a benchmark, another
  // thread) the call simply runs here.
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app || QThread::currentThread() != app->thread()) return work();

  // The call stays in flight until this frame returns to its caller: input
  // that comes in the same pass of the loop as the worker's end is dropped too.
  const BusyScope busy;
  QEventLoop loop;
  // Made here, posted by the worker: the event changes threads only through
  // Qt's queue, whose lock the thread sanitizer cannot see.
  auto* quit = new QEvent(QEvent::Quit);
  std::thread worker([&] {
    work();
    QCoreApplication::postEvent(&loop, quit);
  });
  loop.exec(QEventLoop::AllEvents);
  // The loop ends with the worker's Quit, or early on an application-wide
  // exit, after which no loop runs events any more: then the join waits for
  // the worker. A Quit still queued goes with the loop.
  worker.join();
}

}  // namespace waiting_detail

bool CallInFlight() { return g_callsInFlight > 0; }

void AfterCallsInFlight(std::function<void()> action) {
  if (g_callsInFlight == 0) return action();
  g_afterCalls.push_back(std::move(action));
}
