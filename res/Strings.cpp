// The string table in English and Simplified Chinese. Texts are UTF-8 and
// exact to the byte, blanks and '&' accelerators included.

#include "Strings.h"

#include <array>
#include <cstdlib>
#include <optional>

namespace res {
namespace {

std::optional<Language> Named(std::string_view entry) {
  if (entry.starts_with("zh")) return Language::Chinese;
  if (entry.starts_with("en")) return Language::English;
  return std::nullopt;
}

bool Set(const char* value) { return value && *value; }

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
    StringEntry{IDS_MAC_NOT_FOR_A_STATION, "The Mac must not be a multicast address (first byte odd) or all zeros.",
                "物理地址不能是组播地址（首字节为奇数）或全零"},
    StringEntry{IDS_NEW_IP_NOT_FOR_A_STATION, "The new IP needs all four parts, the first from 1 to 223.",
                "新IP的四段都必须填写，且第一段为1到223"},
    // The monitor's status line: %1 the status bytes, %2 the time, %3 milliseconds.
    StringEntry{IDS_STATUS_NOT_POLLED, "Not polled yet", "尚未检测"},
    StringEntry{IDS_STATUS_ANSWERED, "Status %1 · %2 · %3 ms", "状态 %1 · %2 · %3 毫秒"},
    StringEntry{IDS_STATUS_NO_BYTES, "(no bytes)", "（无数据）"},
    StringEntry{IDS_STATUS_NO_ANSWER, "No answer since %1 (%2)", "自 %1 起无应答（%2）"},
    StringEntry{IDS_CAUSE_REFUSED, "refused", "连接被拒绝"},
    StringEntry{IDS_CAUSE_NO_ANSWER, "no answer", "无响应"},
    StringEntry{IDS_CAUSE_HOST_UNREACHABLE, "unreachable", "不可达"},
    StringEntry{IDS_CAUSE_NET_UNREACHABLE, "no route", "无路由"},
    StringEntry{IDS_CAUSE_CONNECT_FAILED, "error %1", "错误 %1"},
    StringEntry{IDS_CAUSE_BAD_ADDRESS, "bad address", "地址无效"},
    StringEntry{IDS_CAUSE_NO_NETWORK, "no network", "网络不可用"},
    StringEntry{IDS_CAUSE_SEND_INCOMPLETE, "send failed", "发送失败"},
    StringEntry{IDS_CAUSE_CLOSED, "closed by the printer", "打印机关闭了连接"},
    StringEntry{IDS_COVER_UNKNOWN, "Cover ?", "门盖未知"},
    StringEntry{IDS_BUSY_UNKNOWN, "Task ?", "忙闲未知"},
    StringEntry{IDS_TEMP_UNKNOWN, "Temp ?", "温度未知"},
    StringEntry{IDS_PAUSE_UNKNOWN, "Print ?", "打印状态未知"},
    StringEntry{IDS_PAPER_UNKNOWN, "Paper ?", "纸状态未知"},
    // The lamps' tooltips: "Byte 0 = 0x28: bit 5 (0x20) cover open = 1".
    StringEntry{IDS_TIP_BYTE, "Byte %1 = 0x%2: %3", "字节 %1 = 0x%2：%3"},
    StringEntry{IDS_TIP_BYTE_MISSING, "Byte %1 not received: %2", "字节 %1 未收到：%2"},
    StringEntry{IDS_TIP_BIT, "bit %1 (0x%2) %3", "位 %1 (0x%2) %3"},
    StringEntry{IDS_TIP_BITS, "bits %1–%2 (0x%3) %4", "位 %1–%2 (0x%3) %4"},
    StringEntry{IDS_FIELD_COVER, "cover open", "门盖打开"},
    StringEntry{IDS_FIELD_BUSY, "busy", "忙"},
    StringEntry{IDS_FIELD_TEMP, "over temperature", "超温"},
    StringEntry{IDS_FIELD_PAUSE, "pause", "暂停打印"},
    StringEntry{IDS_FIELD_PAPER, "paper end sensors", "缺纸传感器"},
    StringEntry{IDS_FIELD_NOT_USED, "not used", "未使用"},
    // What changed between two polls, one record each.
    StringEntry{IDS_CHANGE_OFFLINE, "printer off-line", "打印机未连接"},
    StringEntry{IDS_CHANGE_ONLINE, "printer on-line", "打印机已连接"},
    StringEntry{IDS_CHANGE_COVER_OPENED, "cover opened", "门盖打开"},
    StringEntry{IDS_CHANGE_COVER_CLOSED, "cover closed", "门盖关好"},
    StringEntry{IDS_CHANGE_BUSY, "printer busy", "打印机忙"},
    StringEntry{IDS_CHANGE_BUSY_CLEARED, "busy cleared", "打印机空闲"},
    StringEntry{IDS_CHANGE_TEMP_OVER, "over temperature", "超温"},
    StringEntry{IDS_CHANGE_TEMP_CLEARED, "over temperature cleared", "温度恢复正常"},
    StringEntry{IDS_CHANGE_PAUSED, "printing paused", "暂停打印"},
    StringEntry{IDS_CHANGE_PAUSE_CLEARED, "pause cleared", "恢复打印"},
    StringEntry{IDS_CHANGE_PAPER_END, "paper end", "缺纸"},
    StringEntry{IDS_CHANGE_PAPER_CLEARED, "paper end cleared", "纸已装好"},
    StringEntry{IDS_CHANGE_NOT_READ, "%1: not read", "%1：未读到"},

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
    StringEntry{IDS_LOG_COUNT, "%1 exchanges, %2 failed (the last %3 are kept)",
                "共 %1 次通信，%2 次失败（保留最近 %3 条）"},
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
    StringEntry{IDS_SWEEP_MAC, "MAC %1, %2", "物理地址 %1，%2"},
    StringEntry{IDS_SWEEP_ROUTED, "no MAC: the printer is behind a router", "无物理地址：打印机在路由器之后"},
    StringEntry{IDS_SWEEP_LOCAL, "an address of this computer", "本机地址"},
    StringEntry{IDS_SWEEP_NO_TABLE, "no MAC: the neighbour table cannot be read", "无物理地址：无法读取邻居表"},

    // An exchange's outcome in words.
    StringEntry{IDS_OUT_OK, "ok, the printer took %1 of %2 {2:byte|bytes}", "成功，打印机接收了 %2 字节中的 %1 字节"},
    StringEntry{IDS_OUT_REPLY, "reply of %1 {1:byte|bytes}", "收到 %1 字节回复"},
    StringEntry{IDS_OUT_CONNECTED, "connected", "已连接"},
    StringEntry{IDS_OUT_SWEEP_FOUND, "%1 {1:printer|printers} answered, %2 refused, %3 silent",
                "%1 台打印机应答，%2 个拒绝，%3 个无响应"},
    StringEntry{IDS_OUT_SWEEP_NONE, "no printer answered: %1 refused, %2 silent",
                "无打印机应答：%1 个拒绝，%2 个无响应"},
    StringEntry{IDS_OUT_REFUSED, "refused: nothing listens on port %1", "被拒绝：端口 %1 无人监听"},
    StringEntry{IDS_OUT_TIMEOUT, "no answer to the connection within %1 ms", "%1 毫秒内连接无应答"},
    StringEntry{IDS_OUT_UNREACHABLE, "cannot reach the printer", "无法到达打印机"},
    StringEntry{IDS_OUT_CLOSED, "the printer closed the connection after taking %1 of %2 {2:byte|bytes}",
                "打印机接收 %2 字节中的 %1 字节后关闭了连接"},
    StringEntry{IDS_OUT_CLOSED_NO_REPLY, "the printer closed the connection without a reply",
                "打印机未回复即关闭了连接"},
    StringEntry{IDS_OUT_INCOMPLETE, "the printer took only %1 of %2 {2:byte|bytes}",
                "打印机只接收了 %2 字节中的 %1 字节"},
    StringEntry{IDS_OUT_NO_REPLY, "no reply within %1 ms", "%1 毫秒内无回复"},
    StringEntry{IDS_OUT_LIB_NOT_STARTED, "the socket library refused to start", "套接字库无法启动"},
    StringEntry{IDS_OUT_LIB_VERSION, "the socket library granted a version other than 1.1",
                "套接字库提供的版本不是 1.1"},
    StringEntry{IDS_OUT_LIB_NO_SOCKET, "the socket library gave no socket", "套接字库无法创建套接字"},
    StringEntry{IDS_OUT_BAD_ADDRESS, "\"%1\" is no printer's IPv4 address", "“%1”不是打印机的 IPv4 地址"},
    StringEntry{IDS_LOG_LAMP_CHANGED, "status lamp changed", "状态指示灯变化"},
    StringEntry{IDS_OUT_OK_PEER_OPEN, "ok, the printer took %1 of %2 {2:byte|bytes} and kept the connection open",
                "成功，打印机接收了 %2 字节中的 %1 字节，并保持连接打开"},
    StringEntry{IDS_OUT_DISCARDED,
                "the printer's TCP took {1:its|all} %1 {1:byte|bytes}, then the printer reset the connection without "
                "reading {1:it|them}",
                "打印机的 TCP 接收了全部 %1 字节，随后打印机未读取便重置了连接"},
    StringEntry{IDS_SYS_MINIMIZE, "Mi&nimise", "最小化(&N)"},
    StringEntry{IDS_SYS_CLOSE, "&Close", "关闭(&C)"},
    StringEntry{IDS_MAX_CHARS, "Enter no more than %1 characters.", "请输入不超过 %1 个字符。"},
    StringEntry{IDS_FIELD_PART, "%1 of %2", "第 %1 段，共 %2 段"},
};

}  // namespace

const char* FindString(int id, Language language) {
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return language == Language::Chinese ? entry.chinese : entry.english;
  }
  return nullptr;
}

std::string FillIn(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const std::size_t n = i + 1 < text.size() ? static_cast<std::size_t>(text[i + 1] - '1') : args.size();
    if (c == '%' && n < args.size() && n < 9) {
      out += args.begin()[n];
      ++i;
      continue;
    }
    // {N:one|many}: the noun that argument N counts.
    if (c == '{' && n < args.size() && n < 9 && i + 2 < text.size() && text[i + 2] == ':') {
      const std::size_t bar = text.find('|', i + 3);
      const std::size_t close = text.find('}', i + 3);
      if (bar < close && close != std::string_view::npos) {
        const bool one = args.begin()[n] == "1";
        out += one ? text.substr(i + 3, bar - i - 3) : text.substr(bar + 1, close - bar - 1);
        i = close;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string Plural(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages, const char* lang) {
  const char* locale = Set(lcAll) ? lcAll : Set(lcMessages) ? lcMessages : Set(lang) ? lang : nullptr;
  if (!locale) return Language::English;
  const std::string_view loc(locale);
  if (loc == "C" || loc == "POSIX" || loc.starts_with("C.")) return Language::English;
  if (Set(language)) {
    std::string_view rest(language);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      if (const auto named = Named(rest.substr(0, colon))) return *named;
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  return Named(loc).value_or(Language::English);
}

Language LanguageOfEnvironment() {
  return LanguageFromEnvironment(std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                 std::getenv("LANG"));
}

}  // namespace res
