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
    Entry{Text::Unknown, "unknown", "未知"},
    Entry{Text::Routed, "routed (the printer is behind a router: no MAC)", "经路由器(打印机在路由器之后:无物理地址)"},
    Entry{Text::LocalMac, "local (an address of this machine)", "本机地址"},
    Entry{Text::NoNeighbourTable, "unknown (the neighbour table cannot be read)", "未知(无法读取邻居表)"},
    Entry{Text::Following, "Waiting up to %1 s for the printer to answer on %2.",
          "最多等待 %1 秒,直到打印机在 %2 应答。"},
    Entry{Text::FollowProgress, "%1: no answer yet, %2 s of %3", "%1:尚无应答,%2 / %3 秒"},
    Entry{Text::SamePrinter, "The same printer answers on %1 (%2).", "同一台打印机在 %1 应答(%2)。"},
    Entry{Text::OtherPrinter, "Another printer answers on %1 (%2, not %3): an address clash.",
          "另一台打印机在 %1 应答(%2,而不是 %3):地址冲突。"},
    Entry{Text::CannotTell,
          "A printer answers on %1, but it tells no serial number and its MAC is unknown: it cannot be told whether "
          "it is the same printer.",
          "有打印机在 %1 应答,但它不提供序列号且物理地址未知:无法判断是否为同一台打印机。"},
    Entry{Text::NothingAnswered, "Nothing answered on %1 within %2 s.", "%2 秒内 %1 无应答。"},
    Entry{Text::NotAsked, "%1 answers on port 4000, but took no question on port 9100 within %2 s.",
          "%1 在端口 4000 应答,但 %2 秒内未在端口 9100 接受询问。"},
    Entry{Text::DrawerOpened, "The drawer opened: pin 3 %1 before the pulse, %2 after it (%3 -> %4).",
          "钱箱已打开:脉冲前引脚 3 为%1,脉冲后为%2(%3 -> %4)。"},
    Entry{Text::DrawerNoChange,
          "The sensor did not change: pin 3 %1 before and after the pulse (%2). No drawer, no sensor, or a stuck "
          "drawer.",
          "传感器没有变化:脉冲前后引脚 3 均为%1(%2)。没有钱箱、没有传感器或钱箱卡住。"},
    Entry{Text::DrawerOpenAlready,
          "The sensor reads open before the pulse: the drawer was open already, or its sensor is the other way round "
          "(--sensor-inverted).",
          "脉冲前传感器已显示打开:钱箱原本就开着,或传感器极性相反(--sensor-inverted)。"},
    Entry{Text::DrawerNoReading, "The printer gives no drawer sensor reading (DLE EOT 1).",
          "打印机没有提供钱箱传感器读数(DLE EOT 1)。"},
    Entry{Text::Closed, "closed", "关闭"},
    Entry{Text::Open, "open", "打开"},
    Entry{Text::High, "high", "高电平"},
    Entry{Text::Low, "low", "低电平"},
    Entry{Text::LabelMaker, "Maker", "制造商"},
    Entry{Text::LabelModel, "Model", "型号"},
    Entry{Text::LabelSerial, "Serial", "序列号"},
    Entry{Text::LabelFirmware, "Firmware", "固件"},
    Entry{Text::LabelMac, "MAC", "物理地址"},
    Entry{Text::LabelVendor, "Vendor", "网卡厂商"},
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
