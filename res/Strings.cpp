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
};

}  // namespace

const char* FindString(int id, Language language) {
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return language == Language::Chinese ? entry.chinese : entry.english;
  }
  return nullptr;
}

}  // namespace res
