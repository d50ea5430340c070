#pragma once
// The command-line program's own texts in English and Chinese. Where the
// console says the same thing, the words are the console's.

#include "ExchangeRecord.h"

namespace printercli {

enum class Language { English, Chinese };

// Chinese when LC_ALL, LC_MESSAGES or LANG (the first one set) names zh, or
// names another language and LANGUAGE lists zh before en; English otherwise,
// the C and POSIX locales included.
Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages, const char* lang);
Language LanguageOfProcess();

enum class Text {
  ConnectOk,
  CantConnect,
  CurrentIp,
  SetIpSuccess,
  SetIpFailed,
  OldAddressStays,
  SetMacSuccess,
  SetMacError,
  Online,
  Offline,
  CoverClosed,
  CoverOpen,
  CoverUnknown,
  Idle,
  Busy,
  BusyUnknown,
  TempOk,
  TempOver,
  TempUnknown,
  PrintAllowed,
  Paused,
  PauseUnknown,
  PaperOk,
  PaperEnd,
  PaperUnknown,
  Sending,
  NoPrinterFound,
  ShortReply,
};

const char* Tr(Text text, Language language);

// How an exchange ended, for the technician: "refused (ECONNREFUSED)",
// "the printer took 3 of 7 bytes"; in Chinese the outcome and its errno name.
std::string OutcomeFor(const printerlink::ExchangeRecord& record, Language language);

}  // namespace printercli
