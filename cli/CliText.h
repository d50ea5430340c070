#pragma once
// The command-line program's texts in English and Chinese: the console's
// string table where the console says the same thing, and the few the
// console never says.

#include "Strings.h"

namespace printercli {

using res::Language;

enum class Text {
  OldAddressStays,
  SetMacSuccess,
  SetMacError,
  Sending,
  NoPrinterFound,
  ShortReply,
};

const char* Tr(Text text, Language language);
// A text of the console's string table (IDS_...).
inline const char* Tr(int stringId, Language language) { return res::FindString(stringId, language); }

}  // namespace printercli
