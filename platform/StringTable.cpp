#include "StringTable.h"

#include "Gbk.h"

namespace {

std::optional<res::Language> g_override;

}  // namespace

res::Language InterfaceLanguage() {
  if (g_override) return *g_override;
  return res::LanguageOfEnvironment();
}

void SetInterfaceLanguage(std::optional<res::Language> language) { g_override = language; }

QString LoadText(int id) { return LoadText(id, InterfaceLanguage()); }

QString LoadText(int id, res::Language language) {
  const char* text = res::FindString(id, language);
  return text ? QString::fromUtf8(text) : QString();
}

CString LoadString(int id) { return ToGbk(LoadText(id)); }
