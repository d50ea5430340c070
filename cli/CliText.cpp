#include "CliText.h"

#include <array>
#include <string_view>
#include <utility>

namespace printercli {
namespace {

struct Entry {
  Text id;
  const char* english;
  const char* chinese;
};

// In the order of Text, so a text is found by its number.
constexpr std::array kTexts = {
    Entry{Text::OldAddressStays, "The printer keeps answering on %1 until it answers on %2.",
          "打印机在新地址 %2 应答之前仍使用原地址 %1。"},
    Entry{Text::SetMacSuccess, "Set Mac Success", "设置物理地址成功"},
    Entry{Text::SetMacError, "Set Mac Error", "设置物理地址失败"},
    Entry{Text::CoverUnknown, "Cover ?", "门盖未知"},
    Entry{Text::BusyUnknown, "Task ?", "忙闲未知"},
    Entry{Text::TempUnknown, "Temp ?", "温度未知"},
    Entry{Text::PauseUnknown, "Print ?", "打印状态未知"},
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

const char* Tr(Text text, Language language) {
  const Entry& e = kTexts[static_cast<std::size_t>(text)];
  return language == Language::Chinese ? e.chinese : e.english;
}

const char* ConditionCaption(printerlink::StatusIndicator indicator, const std::optional<bool>& set,
                             Language language) {
  if (set) return Tr(res::ConditionCaptionId(indicator, *set), language);
  switch (indicator) {
    case printerlink::StatusIndicator::Cover: return Tr(Text::CoverUnknown, language);
    case printerlink::StatusIndicator::Busy: return Tr(Text::BusyUnknown, language);
    case printerlink::StatusIndicator::Temperature: return Tr(Text::TempUnknown, language);
    case printerlink::StatusIndicator::Pause: return Tr(Text::PauseUnknown, language);
    case printerlink::StatusIndicator::Paper: return Tr(Text::PaperUnknown, language);
  }
  return "";
}

std::string OutcomeFor(const printerlink::ExchangeRecord& record, Language language) {
  if (language == Language::English) return printerlink::OutcomeText(record);
  std::string text = ChineseOutcome(record.outcome);
  const std::string error = printerlink::ErrorName(record.sysError);
  if (!error.empty()) text += " (" + error + ")";
  return text;
}

}  // namespace printercli
