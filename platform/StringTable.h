#pragma once
// The string table in the user's interface language.

#include <QString>
#include <optional>

#include "Resources.h"
#include "Types.h"

// The language a user's environment asks for, the way message catalogues are
// chosen: the locale for messages is LC_ALL, else LC_MESSAGES, else LANG; when
// it is set and is not C or POSIX, the first of LANGUAGE's colon-separated
// entries that names English or Chinese wins; otherwise the locale decides.
// Chinese for zh, English for everything else. Null pointers are unset.
res::Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages,
                                      const char* lang);

// The language the program shows: the one set by SetInterfaceLanguage, else
// the environment's.
res::Language InterfaceLanguage();
void SetInterfaceLanguage(std::optional<res::Language> language);

// The string's text in the interface language; empty when there is no such id.
QString LoadText(int id);
// The same as GBK bytes, the form the dialogs' members hold.
CString LoadString(int id);
