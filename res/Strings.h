#pragma once
// The program's texts in English and in Simplified Chinese, and the choice
// between the two. Plain C++: the console and the command-line program read
// the same table.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "ResourceIds.h"
#include "Version.h"

namespace res {

enum class Language { English, Chinese };

inline constexpr std::string_view kProductName = "OrvanePrinterTest";
inline constexpr std::string_view kVersion = PRINTERTEST_VERSION;  // the project version

// The string's UTF-8 text, or nullptr when the table has no such id.
const char* FindString(int id, Language language);

// `text` with %1 to %9 replaced by the arguments, in one pass: an argument
// that holds "%2" itself stays as it is. A number with no argument stays.
// English counts things: "{2:byte|bytes}" is "byte" when argument 2 is 1,
// else "bytes" ("took 0 of 1 byte", "took 3 of 7 bytes").
std::string FillIn(std::string_view text, std::initializer_list<std::string_view> args);

// A count and its noun, singular for exactly one: "1 byte", "0 bytes".
std::string Plural(std::size_t n, std::string_view one, std::string_view many);

// The language a user's environment asks for, the way message catalogues are
// chosen: the locale for messages is LC_ALL, else LC_MESSAGES, else LANG; when
// it is set and is not C or POSIX, the first of LANGUAGE's colon-separated
// entries that names English or Chinese wins; otherwise the locale decides.
// Chinese for zh, English for everything else. Null pointers are unset.
Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages, const char* lang);
// The same, of this process's environment.
Language LanguageOfEnvironment();

}  // namespace res
