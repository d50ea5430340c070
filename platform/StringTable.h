#pragma once
// The string table in the user's interface language.

#include <QString>
#include <optional>

#include "Resources.h"
#include "Types.h"

// The language the program shows: the one set by SetInterfaceLanguage, else
// the environment's.
res::Language InterfaceLanguage();
void SetInterfaceLanguage(std::optional<res::Language> language);

// The string's text in the interface language; empty when there is no such id.
QString LoadText(int id);
// The same in the language given.
QString LoadText(int id, res::Language language);
// The same as GBK bytes, the form the dialogs' members hold.
CString LoadString(int id);
