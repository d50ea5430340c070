#include "CliText.h"

#include <array>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace printercli {
namespace {

bool Set(const char* value) { return value && *value; }

int Named(std::string_view entry) {  // 1 Chinese, 0 English, -1 neither
  if (entry.starts_with("zh")) return 1;
  if (entry.starts_with("en")) return 0;
  return -1;
}

struct Entry {
  Text id;
  const char* english;
  const char* chinese;
};

// In the order of Text, so a text is found by its number.
constexpr std::array kTexts = {
    Entry{Text::ConnectOk, "Connect ok!", "网络连接正常"},
    Entry{Text::CantConnect, "Can't Connect Net!", "无法连接网络"},
    Entry{Text::CurrentIp, "The Current IP is", "当前IP已是"},
    Entry{Text::SetIpSuccess, "Set IP Success!", "设置IP成功!"},
    Entry{Text::SetIpFailed, "Set IP Failed!", "设置IP失败!"},
    Entry{Text::OldAddressStays, "The printer keeps answering on %1 until it answers on %2.",
          "打印机在新地址 %2 应答之前仍使用原地址 %1。"},
    Entry{Text::SetMacSuccess, "Set Mac Success", "设置物理地址成功"},
    Entry{Text::SetMacError, "Set Mac Error", "设置物理地址失败"},
    Entry{Text::Online, "On-line", "连接"},
    Entry{Text::Offline, "Off-line", "未连接"},
    Entry{Text::CoverClosed, "Cover Close", "门盖关好"},
    Entry{Text::CoverOpen, "Cover Open", "门盖打开"},
    Entry{Text::CoverUnknown, "Cover ?", "门盖未知"},
    Entry{Text::Idle, "Wait for Task", "空闲"},
    Entry{Text::Busy, "Busy", "忙"},
    Entry{Text::BusyUnknown, "Task ?", "忙闲未知"},
    Entry{Text::TempOk, "Temp ok", "温度正常"},
    Entry{Text::TempOver, "Over Temp", "超温"},
    Entry{Text::TempUnknown, "Temp ?", "温度未知"},
    Entry{Text::PrintAllowed, "Print", "允许打印"},
    Entry{Text::Paused, "Pause", "暂停打印"},
    Entry{Text::PauseUnknown, "Print ?", "打印状态未知"},
    Entry{Text::PaperOk, "Paper Ok", "有纸"},
    Entry{Text::PaperEnd, "Paper end", "缺纸"},
    Entry{Text::PaperUnknown, "Paper ?", "纸状态未知"},
    Entry{Text::Sending, "Sending", "发送"},
    Entry{Text::NoPrinterFound, "No printer found on", "未找到打印机:"},
    Entry{Text::ShortReply, "the printer answered %1 of its 3 status bytes", "打印机只返回了 %1 个状态字节(应为 3 个)"},
};

constexpr bool InOrder() {
  for (std::size_t i = 0; i < kTexts.size(); ++i) {
    if (static_cast<std::size_t>(kTexts[i].id) != i) return false;
  }
  return true;
}
static_assert(InOrder(), "kTexts must list the texts in the order of Text");

const char* ChineseOutcome(printerlink::Outcome outcome) {
  using printerlink::Outcome;
  switch (outcome) {
    case Outcome::Ok: return "完成";
    case Outcome::Refused: return "连接被拒绝";
    case Outcome::Timeout: return "连接超时";
    case Outcome::Unreachable: return "无法到达";
    case Outcome::Closed: return "打印机中途关闭了连接";
    case Outcome::Incomplete: return "打印机未收完全部字节";
    case Outcome::NoReply: return "打印机没有应答";
    case Outcome::Library: return "网络库无法启动";
    case Outcome::BadAddress: return "地址无效";
  }
  return "";
}

}  // namespace

Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages, const char* lang) {
  const char* locale = Set(lcAll) ? lcAll : Set(lcMessages) ? lcMessages : Set(lang) ? lang : nullptr;
  if (!locale) return Language::English;
  const std::string_view loc(locale);
  if (loc == "C" || loc == "POSIX" || loc.starts_with("C.")) return Language::English;
  if (Set(language)) {
    std::string_view rest(language);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      const int named = Named(rest.substr(0, colon));
      if (named >= 0) return named ? Language::Chinese : Language::English;
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  return Named(loc) == 1 ? Language::Chinese : Language::English;
}

Language LanguageOfProcess() {
  return LanguageFromEnvironment(std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                 std::getenv("LANG"));
}

const char* Tr(Text text, Language language) {
  const Entry& e = kTexts[static_cast<std::size_t>(text)];
  return language == Language::Chinese ? e.chinese : e.english;
}

std::string OutcomeFor(const printerlink::ExchangeRecord& record, Language language) {
  if (language == Language::English) return printerlink::OutcomeText(record);
  std::string text = ChineseOutcome(record.outcome);
  const std::string error = printerlink::ErrorName(record.sysError);
  if (!error.empty()) text += " (" + error + ")";
  return text;
}

}  // namespace printercli
