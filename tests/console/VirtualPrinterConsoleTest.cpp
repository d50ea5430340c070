// The console's buttons against the virtual printer a trainer demonstrates
// with: what the technician does shows up, decoded, in its transcript.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QTest>
#include <sstream>

#include "Ipv4FieldWidget.h"
#include "LoopbackOnlyLibrary.h"
#include "MessageBoxRecorder.h"
#include "PrinterTestDlg.h"
#include "ResourceIds.h"
#include "StringTable.h"
#include "TestPrinter.h"
#include "VirtualPrinter.h"

namespace {

TEST(VirtualPrinterTranscript, ShowsEveryButtonDecoded) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string address = testsupport::LoopbackAddressFor(std::string(info->test_suite_name()) + info->name());
  std::ostringstream transcript;
  vprinter::VirtualPrinterOptions options;
  options.address = address;
  vprinter::VirtualPrinter printer(options, transcript);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;

  SetInterfaceLanguage(res::Language::English);
  testsupport::LoopbackOnlyLibrary library;
  CPrinterTestDlg console(nullptr, library);
  console.m_strStartPrinter = address;
  ASSERT_TRUE(console.Create());
  qobject_cast<Ipv4FieldWidget*>(console.GetDlgItem(IDC_IP_NEW))->SetText("127.9.8.7");
  qobject_cast<QPlainTextEdit*>(console.GetDlgItem(IDC_TEST_PAGE))->setPlainText("测试 page");
  testsupport::MessageBoxRecorder boxes;
  for (int button : {IDC_INIT_PRINTER, IDC_CASH_DRAWER, IDC_CUT_PAPER, IDC_SET_IP, IDC_PRINT, IDC_TEST_CONNECTION}) {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(console.GetDlgItem(button)), Qt::LeftButton);
  }
  EXPECT_EQ(boxes.Texts(), (QStringList{"Set IP Success!", "Connect ok!"}));
  ASSERT_TRUE(printer.WaitForConnections(8, 5000));
  printer.Stop();
  console.DestroyWindow();
  SetInterfaceLanguage(std::nullopt);

  const std::string text = transcript.str();
  for (const char* expected :
       {"ESC @", "drawer pulse", "Testing the cut", "ESC d", "ESC m", "set address 127.9.8.7", "测试 page", "probe"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << "missing \"" << expected << "\" in:\n" << text;
  }
}

}  // namespace
