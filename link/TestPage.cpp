#include "TestPage.h"

#include <array>

namespace printerlink {

void BuildTestPage(std::string& page, const std::tm& now) {
  // "时间:" in GBK, then two-digit year, month, day and the time of day.
  static constexpr char kTimeFormat[] = "\xCA\xB1\xBC\xE4:%y-%m-%d %H:%M:%S\n\n";
  std::array<char, 64> stamp{};
  const std::size_t n = std::strftime(stamp.data(), stamp.size(), kTimeFormat, &now);
  page.append(stamp.data(), n);
  page += "0123456789\n";
  page += "abcdefghijklmnopqrstuvwxyz\n";
  page += "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n";
  page += "~!@#$%^&*()_+-={}[]|,./?';:\\\"\n";
  page += "\nBrenholt\n";
  page += "\n";
}

}  // namespace printerlink
