// The dialog templates in English and Simplified Chinese. Positions and sizes
// are dialog units (x, y, width, height); controls are listed in tab order.

#include "Resources.h"

namespace res {
namespace {

using K = ControlKind;

constexpr unsigned kDialogStyle = kSysMenu;
constexpr unsigned kConsoleStyle = kDialogStyle | kMinimizeBox;

constexpr unsigned kButton = kTabStop;
constexpr unsigned kHexEdit = kTabStop | kUpperCase;
constexpr unsigned kTextPage = kTabStop;

constexpr const char* kSongTi = "宋体";
constexpr const char* kSansSerif = "Microsoft Sans Serif";

// The templates are tables laid out by hand, row per control.
// clang-format off
// About box: the application icon, name and version, a notice line and OK.
const DialogTemplate kAboutEnglish{
    IDD_ABOUTBOX, 235, 55, kSongTi, 9, "About OrvanePrinterTest", kDialogStyle,
    {
        {-1, K::StaticIcon, 11, 17, 20, 20, "", 0, IDR_MAINFRAME},
        {-1, K::StaticText, 40, 10, 119, 8, "OrvanePrinterTest V1.3", kNoPrefix},
        {-1, K::StaticText, 40, 25, 119, 8, "Network printer test tool", 0},
        {IDOK, K::DefPushButton, 178, 7, 50, 14, "确定", kGroup | kTabStop},
    }};

const DialogTemplate kAboutChinese{
    IDD_ABOUTBOX, 235, 55, kSongTi, 9, "关于 OrvanePrinterTest", kDialogStyle,
    {
        {-1, K::StaticIcon, 11, 17, 20, 20, "", 0, IDR_MAINFRAME},
        {-1, K::StaticText, 40, 10, 119, 8, "OrvanePrinterTest 1.3 版", kNoPrefix},
        {-1, K::StaticText, 40, 25, 119, 8, "网络票据打印机测试工具", 0},
        {IDOK, K::DefPushButton, 178, 7, 50, 14, "确定", kGroup | kTabStop},
    }};

// Console: target address, new address and MAC, printer tests, raw hex bytes,
// the subnet sweep's printer list and progress, and the way to the monitor.
const DialogTemplate kConsoleEnglish{
    IDD_PRINTERTEST_DIALOG, 279, 295, kSansSerif, 9, "PrinterTest", kConsoleStyle,
    {
        {IDCANCEL, K::PushButton, 218, 274, 50, 14, "Exit", kButton},
        {IDC_IP_TARGET, K::IpAddress, 131, 11, 100, 15, "", kTabStop},
        {-1, K::StaticText, 18, 76, 89, 8, "Setting New IP Address", 0},
        {IDC_IP_NEW, K::IpAddress, 111, 71, 100, 15, "", kTabStop},
        {IDC_SET_IP, K::PushButton, 218, 71, 50, 14, "Set IP", kButton},
        {-1, K::GroupBox, 6, 116, 267, 113, "Printer Test", 0},
        {IDC_PRINT, K::PushButton, 64, 211, 50, 14, "Print", kButton},
        {IDC_CASH_DRAWER, K::PushButton, 116, 211, 50, 14, "Cash Drawer", kButton},
        {IDC_CUT_PAPER, K::PushButton, 168, 211, 50, 14, "Cut Paper", kButton},
        {IDC_RADIO_MANUAL, K::RadioButton, 15, 13, 100, 10, "Setting IP Connection", kGroup | kTabStop},
        {IDC_RADIO_AUTO, K::RadioButton, 15, 35, 124, 10, "Auto Get Printer IP Address", 0},
        {IDC_PRINTER_LIST, K::DropList, 131, 34, 100, 118, "", kTabStop},
        {-1, K::StaticText, 18, 97, 57, 8, "Set New Mac ID", 0},
        {IDC_MAC, K::Edit, 111, 92, 100, 14, "", kHexEdit},
        {IDC_SET_MAC, K::PushButton, 218, 93, 50, 14, "Set Mac", kButton},
        {IDC_INIT_PRINTER, K::PushButton, 12, 211, 50, 14, "Initi", kButton},
        {-1, K::GroupBox, 6, 235, 266, 37, "Other Test", 0},
        {IDC_OTHER_HEX, K::Edit, 24, 250, 164, 14, "", kHexEdit},
        {IDC_OTHER_SET, K::PushButton, 218, 249, 50, 14, "Set", kButton},
        {IDC_TEST_PAGE, K::RichEdit, 17, 129, 248, 78, "", kTextPage},
        {IDC_GET_STATUS, K::PushButton, 220, 211, 50, 14, "Get Status", kButton},
        {IDC_PROGRESS, K::Progress, 21, 53, 235, 11, "", kHidden},
        {IDC_TEST_CONNECTION, K::PushButton, 236, 12, 20, 11, "Test", kButton},
    }};

const DialogTemplate kConsoleChinese{
    IDD_PRINTERTEST_DIALOG, 282, 313, kSongTi, 9, "微型热敏打印机测试", kConsoleStyle,
    {
        {IDCANCEL, K::PushButton, 218, 292, 50, 14, "退出(&X)", kButton},
        {IDC_IP_TARGET, K::IpAddress, 141, 11, 100, 15, "", kTabStop},
        {-1, K::StaticText, 18, 75, 57, 8, "设置新的IP地址", 0},
        {IDC_IP_NEW, K::IpAddress, 111, 70, 100, 15, "", kTabStop},
        {IDC_SET_IP, K::PushButton, 218, 70, 50, 14, "设置I&P", kButton},
        {-1, K::GroupBox, 6, 119, 270, 121, "打印机测试", 0},
        {IDC_PRINT, K::PushButton, 62, 214, 50, 14, "打印(&D)", kButton},
        {IDC_CASH_DRAWER, K::PushButton, 114, 214, 50, 14, "钱箱(&Q)", kButton},
        {IDC_CUT_PAPER, K::PushButton, 166, 214, 50, 14, "切刀(&C)", kButton},
        {IDC_RADIO_MANUAL, K::RadioButton, 15, 13, 122, 10, "指定连接的IP地址", kGroup | kTabStop},
        {IDC_RADIO_AUTO, K::RadioButton, 15, 35, 121, 10, "自动获取打印机IP地址", 0},
        {IDC_PRINTER_LIST, K::DropList, 141, 34, 100, 118, "", kTabStop},
        {-1, K::StaticText, 18, 96, 65, 8, "设置新的物理地址", 0},
        {IDC_MAC, K::Edit, 111, 91, 100, 14, "", kHexEdit},
        {IDC_SET_MAC, K::PushButton, 218, 92, 50, 14, "设置 &Mac", kButton},
        {IDC_INIT_PRINTER, K::PushButton, 10, 214, 50, 14, "初始化(I)", kButton},
        {-1, K::GroupBox, 7, 251, 269, 37, "其他测试(十六进制之间请用,间隔)", 0},
        {IDC_OTHER_HEX, K::Edit, 24, 266, 164, 14, "", kHexEdit},
        {IDC_OTHER_SET, K::PushButton, 218, 265, 50, 14, "设置(&S)", kButton},
        {IDC_TEST_PAGE, K::RichEdit, 12, 135, 255, 72, "", kTextPage},
        {IDC_GET_STATUS, K::PushButton, 218, 214, 50, 14, "打印机状态", kButton},
        {IDC_PROGRESS, K::Progress, 21, 51, 240, 14, "", kHidden},
        {IDC_TEST_CONNECTION, K::PushButton, 246, 11, 23, 14, "测试", kButton},
    }};

// Status monitor: Close, six indicators (the captions they show until the
// first poll) and the monitoring toggle, whose caption is string 112.
constexpr int kBw = 77;  // every button of the monitor is 77 x 18
constexpr int kBh = 18;
// Under the buttons, one line of what the last poll read; the dialog is that
// much taller than the lamps and buttons alone need.
constexpr int kStatusLineY = 143;
constexpr int kStatusLineW = 164;  // from the left column's edge to the right column's
constexpr int kStatusLineH = 10;
constexpr int kStatusHeight = 165 + (kStatusLineY - 138) + kStatusLineH;

const DialogTemplate kStatusEnglish{
    IDD_STATUS_DIALOG, 199, kStatusHeight, kSongTi, 10, "Print Status", kDialogStyle,
    {
        {IDOK, K::DefPushButton, 106, 120, kBw, kBh, "&Close", kButton},
        {IDC_IND_ONLINE, K::PushButton, 19, 15, kBw, kBh, "Printer is off-line", kButton},
        {IDC_IND_BUSY, K::PushButton, 106, 15, kBw, kBh, "Printer is busy", kButton},
        {IDC_IND_PAPER, K::PushButton, 19, 50, kBw, kBh, "Paper end", kButton},
        {IDC_IND_PAUSE, K::PushButton, 106, 50, kBw, kBh, "Pause", kButton},
        {IDC_IND_COVER, K::PushButton, 19, 85, kBw, kBh, "Cover is open", kButton},
        {IDC_IND_TEMP, K::PushButton, 106, 85, kBw, kBh, "Tmp Over", kButton},
        {IDC_GET_STATUS, K::PushButton, 19, 120, kBw, kBh, "&Monitor Status", kButton},
        {IDC_STATUS_LINE, K::StaticText, 19, kStatusLineY, kStatusLineW, kStatusLineH, "Not polled yet", 0},
    }};

const DialogTemplate kStatusChinese{
    IDD_STATUS_DIALOG, 199, kStatusHeight, kSongTi, 10, "打印机状态", kDialogStyle,
    {
        {IDOK, K::DefPushButton, 106, 120, kBw, kBh, "关闭&X)", kButton},
        {IDC_IND_ONLINE, K::PushButton, 19, 15, kBw, kBh, "连接", kButton},
        {IDC_IND_BUSY, K::PushButton, 106, 15, kBw, kBh, "忙", kButton},
        {IDC_IND_PAPER, K::PushButton, 19, 50, kBw, kBh, "缺纸", kButton},
        {IDC_IND_PAUSE, K::PushButton, 106, 50, kBw, kBh, "暂停", kButton},
        {IDC_IND_COVER, K::PushButton, 19, 85, kBw, kBh, "盖子打开", kButton},
        {IDC_IND_TEMP, K::PushButton, 106, 85, kBw, kBh, "超温", kButton},
        {IDC_GET_STATUS, K::PushButton, 19, 120, kBw, kBh, "检测状态(&M)", kButton},
        {IDC_STATUS_LINE, K::StaticText, 19, kStatusLineY, kStatusLineW, kStatusLineH, "尚未检测", 0},
    }};
// clang-format on

}  // namespace

const DialogTemplate* FindDialog(int id, Language language) {
  const bool chinese = language == Language::Chinese;
  switch (id) {
    case IDD_ABOUTBOX: return chinese ? &kAboutChinese : &kAboutEnglish;
    case IDD_PRINTERTEST_DIALOG: return chinese ? &kConsoleChinese : &kConsoleEnglish;
    case IDD_STATUS_DIALOG: return chinese ? &kStatusChinese : &kStatusEnglish;
    default: return nullptr;
  }
}

}  // namespace res
