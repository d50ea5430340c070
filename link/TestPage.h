#pragma once
// What the front ends print to try a printer: the default test page (a time
// line, then every character class a receipt printer should reproduce, then
// the maker's line; GBK bytes) and the line printed before a test cut.

#include <ctime>
#include <string>

namespace printerlink {

// Appends the page, stamped with `now` (local time), to `page`.
void BuildTestPage(std::string& page, const std::tm& now);

// The text job the cut command prints before it cuts.
inline constexpr char kCutTestLine[] = "Testing the cut";

}  // namespace printerlink
