#pragma once
// The command-line program's texts in English and Chinese: the console's
// string table where the console says the same thing, and the few the
// console never says.

#include <optional>

#include "ExchangeRecord.h"
#include "PrinterStatus.h"
#include "Strings.h"

namespace printercli {

using res::Language;

enum class Text {
  OldAddressStays,
  SetMacSuccess,
  SetMacError,
  CoverUnknown,
  BusyUnknown,
  TempUnknown,
  PauseUnknown,
  PaperUnknown,
  Sending,
  NoPrinterFound,
  ShortReply,
};

const char* Tr(Text text, Language language);
// A text of the console's string table (IDS_...).
inline const char* Tr(int stringId, Language language) { return res::FindString(stringId, language); }
// A condition's caption: the console's lamp caption ("Cover Open"), or the
// program's own "Cover ?" when its status byte did not arrive.
const char* ConditionCaption(printerlink::StatusIndicator indicator, const std::optional<bool>& set, Language language);

// How an exchange ended, for the technician: "refused (ECONNREFUSED)",
// "the printer took 3 of 7 bytes"; in Chinese the outcome and its errno name.
std::string OutcomeFor(const printerlink::ExchangeRecord& record, Language language);

}  // namespace printercli
