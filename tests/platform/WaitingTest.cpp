// Waiting for a call without freezing: input made meanwhile is dropped, a
// request to close is carried out as soon as the call ends, and a box that
// opens meanwhile can still be answered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "Dialog.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "Waiting.h"

namespace {

// Spins the worker until `done` holds, at most five seconds; whether it held.
bool WorkerWaitsFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

TEST(WaitWithoutFreezing, ABoxATimerOpensWhileACallWaitsTakesItsInput) {
  std::atomic<bool> answered{false};
  QTimer::singleShot(0, [&] {
    QDialog box;
    auto* ok = new QPushButton("OK", &box);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    QTimer::singleShot(0, &box, [ok] { QTest::mouseClick(ok, Qt::LeftButton); });
    QTimer::singleShot(5000, &box, &QDialog::reject);  // the bound, should the click be dropped
    answered = box.exec() == QDialog::Accepted;
  });
  WaitWithoutFreezing([&] { WorkerWaitsFor([&] { return answered.load(); }); });
  EXPECT_TRUE(answered) << "the box could not be answered: the call would never end";
}

// The console's template on a bare dialog: Print starts a call that ends only
// once the input of the case has been made; Init counts its clicks.
class WaitingDialog : public CDialog {
public:
  WaitingDialog() : CDialog(IDD_PRINTERTEST_DIALOG) {
    BindClicked(IDC_PRINT, &WaitingDialog::OnPrint);
    BindClicked(IDC_INIT_PRINTER, &WaitingDialog::OnInit);
  }
  std::function<void(WaitingDialog&)> input;
  int prints = 0;
  int inits = 0;
  bool endedDuringWait = false;
  bool endedWhenCallReturned = false;
  bool inputMade = false;

  template <typename W>
  W* Item(int id) {
    return qobject_cast<W*>(GetDlgItem(id));
  }

private:
  void OnPrint() {
    ++prints;
    std::atomic<bool> made{false};
    QTimer::singleShot(0, GetDialogWindow(), [&] {
      input(*this);
      endedDuringWait = IsEnding();
      made = true;
    });
    inputMade = WaitWithoutFreezing([&] { return WorkerWaitsFor([&] { return made.load(); }); });
    endedWhenCallReturned = IsEnding();
  }
  void OnInit() { ++inits; }
};

// Clicks through the window system, as a real mouse does.
void ClickThroughWindow(QWidget* widget) {
  QWindow* window = widget->window()->windowHandle();
  const QPoint at = widget->mapTo(widget->window(), widget->rect().center());
  QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
}

TEST(WaitWithoutFreezing, InputMadeWhileACallWaitsIsDroppedButACloseIsKept) {
  struct Case {
    const char* catches;
    std::function<void(WaitingDialog&)> input;
    int result;  // how the dialog ended, -1 when it did not
  };
  const Case cases[] = {
      {"typed text landed in a field the call reads",
       [](WaitingDialog& d) { QTest::keyClicks(d.Item<QLineEdit>(IDC_OTHER_HEX), "ZZ"); }, -1},
      {"a click through the window system started another command",
       [](WaitingDialog& d) { ClickThroughWindow(d.Item<QPushButton>(IDC_INIT_PRINTER)); }, -1},
      {"a programmatic click (as the accessibility layer makes) ran a command",
       [](WaitingDialog& d) { d.Item<QPushButton>(IDC_INIT_PRINTER)->click(); }, -1},
      {"Escape was lost", [](WaitingDialog& d) { QTest::keyClick(d.Item<QLineEdit>(IDC_OTHER_HEX), Qt::Key_Escape); },
       IDCANCEL},
      {"a click on Exit through the window system was lost",
       [](WaitingDialog& d) { ClickThroughWindow(d.Item<QPushButton>(IDCANCEL)); }, IDCANCEL},
      {"Space on the focused Exit button was lost",
       [](WaitingDialog& d) {
         d.Item<QPushButton>(IDCANCEL)->setFocus();
         QTest::keyClick(d.Item<QPushButton>(IDCANCEL), Qt::Key_Space);
       },
       IDCANCEL},
      {"the close box was lost", [](WaitingDialog& d) { d.GetDialogWindow()->close(); }, IDCANCEL},
  };
  SetInterfaceLanguage(res::Language::English);
  for (const Case& c : cases) {
    WaitingDialog dlg;
    dlg.input = c.input;
    ASSERT_TRUE(dlg.Create());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.GetDialogWindow()));
    auto* hex = dlg.Item<QLineEdit>(IDC_OTHER_HEX);
    const QString before = hex->text();
    QTest::mouseClick(dlg.Item<QPushButton>(IDC_PRINT), Qt::LeftButton);
    ASSERT_TRUE(dlg.inputMade) << c.catches;
    QCoreApplication::processEvents();  // whatever was held back would arrive now
    EXPECT_EQ(hex->text(), before) << c.catches;
    EXPECT_EQ(dlg.prints, 1) << c.catches;
    EXPECT_EQ(dlg.inits, 0) << c.catches;
    EXPECT_FALSE(dlg.endedDuringWait) << c.catches << ": the dialog ended in the middle of the call";
    EXPECT_EQ(dlg.endedWhenCallReturned, c.result != -1) << c.catches;
    EXPECT_EQ(dlg.GetModalResult(), c.result) << c.catches;
    if (c.result == -1) {
      QTest::mouseClick(dlg.Item<QPushButton>(IDC_INIT_PRINTER), Qt::LeftButton);
      EXPECT_EQ(dlg.inits, 1) << c.catches << ": input stays dropped after the call";
    }
    dlg.DestroyWindow();
  }
  SetInterfaceLanguage(std::nullopt);
}

}  // namespace
