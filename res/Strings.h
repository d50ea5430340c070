#pragma once
// The program's texts in English and in Simplified Chinese, and the choice
// between the two. Plain C++: the console and the command-line program read
// the same table.

#include <string_view>

#include "PrinterStatus.h"
#include "ResourceIds.h"
#include "Settings.h"
#include "Version.h"

namespace res {

enum class Language { English, Chinese };

inline constexpr std::string_view kProductName = "OrvanePrinterTest";
inline constexpr std::string_view kVersion = PRINTERTEST_VERSION;  // the project version

// The string's UTF-8 text, or nullptr when the table has no such id.
const char* FindString(int id, Language language);

// The caption of one condition of the printer's status, at fault or fine:
// IDS_COVER_OPEN or IDS_COVER_CLOSED, and so on.
int ConditionCaptionId(printerlink::StatusIndicator indicator, bool fault);

// What the console and printertest say of a refused setting (IDS_MAC_LENGTH, ...).
int SettingProblemTextId(printerlink::SettingProblem problem);

// The language a user's environment asks for, the way message catalogues are
// chosen: the locale for messages is LC_ALL, else LC_MESSAGES, else LANG; when
// it is set and is not C or POSIX, the first of LANGUAGE's colon-separated
// entries that names English or Chinese wins; otherwise the locale decides.
// Chinese for zh, English for everything else. Null pointers are unset.
Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages, const char* lang);
// The same, of this process's environment.
Language LanguageOfEnvironment();

}  // namespace res
