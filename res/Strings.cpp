// The string table in English and Simplified Chinese. Texts are UTF-8 and
// exact to the byte, blanks and '&' accelerators included.

#include <array>

#include "Resources.h"

namespace res {
namespace {

struct StringEntry {
  int id;
  const char* english;
  const char* chinese;
};

constexpr std::array kStrings = {
    StringEntry{IDS_ABOUTBOX, "About OrvanePrinterTest(&A)...", "关于 OrvanePrinterTest(&A)..."},
    StringEntry{IDS_CURRENT_IP, "The Current IP is", "当前IP已是"},
    StringEntry{IDS_CANT_CONNECT, "Can't Connect Net!", "无法连接网络"},
    StringEntry{IDS_MAC_LENGTH, "The Length of the Mac must be 12.", "物理地址必须为12位的十六进制数"},
    StringEntry{IDS_MONITOR_START, "&Monitor Status", "检测状态(&M)"},
    StringEntry{IDS_MONITOR_STOP, "Stop &Monitor", "关闭检测状态(&M)"},
    StringEntry{IDS_ONLINE, "On-line", "连接"},
    StringEntry{IDS_OFFLINE, "Off-line", "未连接"},
    StringEntry{IDS_COVER_CLOSED, "Cover Close", "门盖关好"},
    StringEntry{IDS_COVER_OPEN, "Cover Open", "门盖打开"},
    StringEntry{IDS_TEMP_OK, "Temp ok", "温度正常"},
    StringEntry{IDS_TEMP_OVER, "Over Temp", "超温"},
    StringEntry{IDS_PRINT_ALLOWED, "Print", "允许打印"},
    StringEntry{IDS_PAUSED, "Pause", "暂停打印"},
    StringEntry{IDS_IDLE, "Wait for Task", "空闲"},
    StringEntry{IDS_BUSY, "Busy", "忙"},
    StringEntry{IDS_PAPER_OK, "Paper Ok", "有纸"},
    StringEntry{IDS_PAPER_END, "Paper end", "缺纸"},
    StringEntry{IDS_CONNECT_OK, "Connect ok!", "网络连接正常"},
    StringEntry{IDS_SEARCH_START, "Search Start?", "开始扫描?"},
    StringEntry{IDS_SET_IP_SUCCESS, "Set IP Success!", "设置IP成功!"},
    StringEntry{IDS_SET_IP_FAILED, "Set IP Failed!", "设置IP失败!"},

    // The exchange log window.
    StringEntry{IDS_LOG_MENU, "Exchange &Log...\tCtrl+L", "通信记录(&L)...\tCtrl+L"},
    StringEntry{IDS_LOG_TITLE, "Exchange Log", "通信记录"},
    StringEntry{IDS_LOG_COL_TIME, "Time", "时间"},
    StringEntry{IDS_LOG_COL_PRINTER, "Printer", "打印机"},
    StringEntry{IDS_LOG_COL_SENT, "Sent", "发送内容"},
    StringEntry{IDS_LOG_COL_BYTES, "Bytes", "字节"},
    StringEntry{IDS_LOG_COL_REPLY, "Reply", "回复"},
    StringEntry{IDS_LOG_COL_OUTCOME, "Outcome", "结果"},
    StringEntry{IDS_LOG_COL_MS, "ms", "毫秒"},
    StringEntry{IDS_LOG_CLEAR, "C&lear", "清除(&L)"},
    StringEntry{IDS_LOG_COPY, "&Copy", "复制(&C)"},
    StringEntry{IDS_LOG_SAVE, "&Save Report...", "保存报告(&S)..."},
    StringEntry{IDS_LOG_COUNT, "%1 exchanges, %2 failed (the last %3 are kept)", "共 %1 次通信，%2 次失败（保留最近 %3 条）"},
    StringEntry{IDS_LOG_SAVED, "Report saved to %1", "报告已保存到 %1"},
    StringEntry{IDS_LOG_SAVE_FAILED, "Cannot write %1: %2", "无法写入 %1：%2"},
    StringEntry{IDS_LOG_FAILED, "FAILED", "失败"},
    StringEntry{IDS_LOG_PROBE, "connection test, nothing sent", "连接测试，不发送数据"},
    StringEntry{IDS_LOG_SWEEP, "sweep of %1, one wait of %2 ms", "扫描 %1，等待 %2 毫秒"},
    StringEntry{IDS_LOG_FOUND, "found: %1", "找到：%1"},
    StringEntry{IDS_LOG_EMPTY_TEXT, "empty text job", "空文本"},
    StringEntry{IDS_LOG_REPORT_TITLE, "Service report", "维修报告"},
    StringEntry{IDS_LOG_REPORT_DATE, "Date", "日期"},
    StringEntry{IDS_LOG_REPORT_TARGET, "Target printer", "目标打印机"},
    StringEntry{IDS_LOG_REPORT_LANGUAGE, "Interface language", "界面语言"},
    StringEntry{IDS_LOG_LANGUAGE_NAME, "English", "简体中文"},
    StringEntry{IDS_LOG_REPORT_RECORDS, "Exchanges", "通信记录"},

    // An exchange's outcome in words.
    StringEntry{IDS_OUT_OK, "ok, the printer took %1 of %2 bytes", "成功，打印机接收了 %2 字节中的 %1 字节"},
    StringEntry{IDS_OUT_REPLY, "reply of %1 bytes", "收到 %1 字节回复"},
    StringEntry{IDS_OUT_CONNECTED, "connected", "已连接"},
    StringEntry{IDS_OUT_SWEEP_FOUND, "%1 printers answered, %2 refused, %3 silent", "%1 台打印机应答，%2 个拒绝，%3 个无响应"},
    StringEntry{IDS_OUT_SWEEP_NONE, "no printer answered: %1 refused, %2 silent", "无打印机应答：%1 个拒绝，%2 个无响应"},
    StringEntry{IDS_OUT_REFUSED, "refused: nothing listens on port %1", "被拒绝：端口 %1 无人监听"},
    StringEntry{IDS_OUT_TIMEOUT, "no answer to the connection within %1 ms", "%1 毫秒内连接无应答"},
    StringEntry{IDS_OUT_UNREACHABLE, "cannot reach the printer", "无法到达打印机"},
    StringEntry{IDS_OUT_CLOSED, "the printer closed the connection after taking %1 of %2 bytes", "打印机接收 %2 字节中的 %1 字节后关闭了连接"},
    StringEntry{IDS_OUT_CLOSED_NO_REPLY, "the printer closed the connection without a reply", "打印机未回复即关闭了连接"},
    StringEntry{IDS_OUT_INCOMPLETE, "the printer took only %1 of %2 bytes", "打印机只接收了 %2 字节中的 %1 字节"},
    StringEntry{IDS_OUT_NO_REPLY, "no reply within %1 ms", "%1 毫秒内无回复"},
    StringEntry{IDS_OUT_LIB_NOT_STARTED, "the socket library refused to start", "套接字库无法启动"},
    StringEntry{IDS_OUT_LIB_VERSION, "the socket library granted a version other than 1.1", "套接字库提供的版本不是 1.1"},
    StringEntry{IDS_OUT_LIB_NO_SOCKET, "the socket library gave no socket", "套接字库无法创建套接字"},
    StringEntry{IDS_OUT_BAD_ADDRESS, "\"%1\" is no IPv4 address", "“%1”不是 IPv4 地址"},
};

}  // namespace

const char* FindString(int id, Language language) {
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return language == Language::Chinese ? entry.chinese : entry.english;
  }
  return nullptr;
}

}  // namespace res
