#pragma once
// Conversion between the GBK bytes the dialogs hold and the Unicode text a
// control shows.

#include <QString>
#include <string>
#include <string_view>

// Characters GBK cannot encode become "?".
std::string ToGbk(const QString& text);
// Bytes that are not GBK become U+FFFD.
QString FromGbk(std::string_view bytes);
