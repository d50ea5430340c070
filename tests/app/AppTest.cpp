#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "CommandLine.h"
#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "PrinterTestApp.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StringTable.h"

namespace {

// Closes the next modal dialog with its OK button once it shows, giving up
// after a bound; reports what it saw.
struct ModalCloser {
  QString title;
  QStringList labels;
  void Arm() {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [this, timer, tries] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal && ++*tries < 500) return;
      timer->stop();
      timer->deleteLater();
      if (!modal) return;
      title = modal->windowTitle();
      for (QLabel* l : modal->findChildren<QLabel*>()) labels << l->text();
      for (QPushButton* b : modal->findChildren<QPushButton*>()) {
        if (b->property("controlId").toInt() == IDOK) b->click();
      }
    });
    timer->start(10);
  }
};

TEST(About, SystemMenuItemShowsTheAboutBoxAndLeavesTheConsoleAsItWas) {
  for (const auto& [language, title, line] :
       {std::tuple{res::Language::English, "About OrvanePrinterTest", "OrvanePrinterTest V1.3"},
        std::tuple{res::Language::Chinese, "关于 OrvanePrinterTest", "OrvanePrinterTest 1.3 版"}}) {
    SetInterfaceLanguage(language);
    CPrinterTestDlg console;
    InstallAboutBox(console);
    ASSERT_TRUE(console.Create());
    auto* mac = qobject_cast<QLineEdit*>(console.GetDlgItem(IDC_MAC));
    auto* target = qobject_cast<Ipv4FieldWidget*>(console.GetDlgItem(IDC_IP_TARGET));
    mac->setText("A1B2C3D4E5F6");
    target->SetText("127.0.0.9");

    ModalCloser closer;
    closer.Arm();
    console.SendSysCommand(IDM_ABOUTBOX);  // returns once the About box is closed

    EXPECT_EQ(closer.title, QString::fromUtf8(title));
    EXPECT_TRUE(closer.labels.contains(QString::fromUtf8(line))) << closer.labels.join('|').toStdString();
    EXPECT_EQ(console.GetModalResult(), -1) << "closing the About box closed the console";
    EXPECT_EQ(mac->text(), "A1B2C3D4E5F6");
    EXPECT_EQ(target->Text(), "127.0.0.9");
    console.DestroyWindow();
  }
  SetInterfaceLanguage(std::nullopt);
}

TEST(StatusMonitor, GetStatusOpensTheMonitorForTheTargetPrinter) {
  SetInterfaceLanguage(res::Language::English);
  testsupport::LoopbackOnlyLibrary library;
  CPrinterTestDlg console(nullptr, library);
  InstallStatusMonitor(console);
  ASSERT_TRUE(console.Create());
  qobject_cast<Ipv4FieldWidget*>(console.GetDlgItem(IDC_IP_TARGET))->SetText("127.0.0.9");
  ModalCloser closer;
  closer.Arm();
  QTest::mouseClick(qobject_cast<QPushButton*>(console.GetDlgItem(IDC_GET_STATUS)), Qt::LeftButton);
  EXPECT_EQ(closer.title, "Print Status");
  EXPECT_EQ(library.connectCalls, 0) << "opening the monitor polls nothing";
  console.DestroyWindow();
  SetInterfaceLanguage(std::nullopt);
}

}  // namespace

namespace {

TEST(CommandLine, TakesAPrinterAddressAndRefusesWhatIsNot) {
  struct Case {
    const char* catches;
    std::vector<std::string> args;
    std::optional<std::string> printer;
    bool error;
    std::optional<std::string> logFile = std::nullopt;
  };
  const Case cases[] = {
      {"nothing: the default printer", {}, std::nullopt, false},
      {"--printer ADDRESS", {"--printer", "127.0.0.1"}, "127.0.0.1", false},
      {"--printer=ADDRESS", {"--printer=10.1.2.3"}, "10.1.2.3", false},
      {"-printer read as the letters p, r, i, n, t, e, r", {"-printer", "10.1.2.3"}, "10.1.2.3", false},
      {"--printer without its address", {"--printer"}, std::nullopt, true},
      {"an address that is none", {"--printer", "192.168.1"}, std::nullopt, true},
      {"an unknown option", {"--sweep"}, std::nullopt, true},
      {"--log FILE beside --printer", {"--log", "x.jsonl", "--printer", "10.1.2.3"}, "10.1.2.3", false, "x.jsonl"},
      {"--log=FILE", {"--log=/tmp/a b.jsonl"}, std::nullopt, false, "/tmp/a b.jsonl"},
      {"--log without its file: not the next option taken as one", {"--log"}, std::nullopt, true},
      {"--log= with nothing after it", {"--log="}, std::nullopt, true},
  };
  for (const Case& c : cases) {
    const CommandLine cl = ParseCommandLine(c.args);
    EXPECT_EQ(cl.printer, c.printer) << c.catches;
    EXPECT_EQ(cl.logFile, c.logFile) << c.catches;
    EXPECT_EQ(!cl.error.empty(), c.error) << c.catches << ": " << cl.error;
  }
  EXPECT_TRUE(ParseCommandLine({"--version"}).version);
  EXPECT_TRUE(ParseCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseCommandLine({"-h"}).help);
}

TEST(CommandLine, StartPrinterFillsBothAddressFields) {
  SetInterfaceLanguage(res::Language::English);
  CPrinterTestDlg console;
  console.m_strStartPrinter = "127.4.5.6";
  ASSERT_TRUE(console.Create());
  EXPECT_EQ(qobject_cast<Ipv4FieldWidget*>(console.GetDlgItem(IDC_IP_TARGET))->Text(), "127.4.5.6");
  EXPECT_EQ(qobject_cast<Ipv4FieldWidget*>(console.GetDlgItem(IDC_IP_NEW))->Text(), "127.4.5.6");
  console.DestroyWindow();
  SetInterfaceLanguage(std::nullopt);
}

}  // namespace
