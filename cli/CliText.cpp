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

}  // namespace

const char* Tr(Text text, Language language) {
  const Entry& e = kTexts[static_cast<std::size_t>(text)];
  return language == Language::Chinese ? e.chinese : e.english;
}

}  // namespace printercli
