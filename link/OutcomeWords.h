#pragma once
// How an exchange ended, in words of the string table, in English or in
// Chinese: the one wording the exchange log, the status monitor, printertest
// and its JSON share.

#include <string>

#include "ExchangeRecord.h"
#include "Strings.h"

namespace printerlink {

// The outcome with its figures and its errno's name: "refused: nothing
// listens on port 9100 (ECONNREFUSED)", "the printer took only 3 of 7 bytes".
// A noted record (a lamp that changed) says so.
std::string OutcomeWords(const ExchangeRecord& record, res::Language language);

// Why an exchange failed, in a few words: "refused", "no answer", "no route";
// empty when it did not fail.
std::string FailureCause(const ExchangeRecord& record, res::Language language);

}  // namespace printerlink
