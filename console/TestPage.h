#pragma once
// The default test page: a time line, then every character class a receipt
// printer should reproduce, then the maker's line. GBK bytes.

#include <ctime>
#include <string>

// Appends the page, stamped with `now` (local time), to `page`.
void BuildTestPage(std::string& page, const std::tm& now);
