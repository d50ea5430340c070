#include "StringTable.h"

#include <cstdlib>
#include <string_view>

#include "Gbk.h"

namespace {

std::optional<res::Language> Named(std::string_view entry) {
  if (entry.starts_with("zh")) return res::Language::Chinese;
  if (entry.starts_with("en")) return res::Language::English;
  return std::nullopt;
}

bool Set(const char* value) { return value && *value; }

std::optional<res::Language> g_override;

}  // namespace

res::Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages,
                                      const char* lang) {
  const char* locale = Set(lcAll) ? lcAll : Set(lcMessages) ? lcMessages : Set(lang) ? lang : nullptr;
  if (!locale) return res::Language::English;
  const std::string_view loc(locale);
  if (loc == "C" || loc == "POSIX" || loc.starts_with("C.")) return res::Language::English;
  if (Set(language)) {
    std::string_view rest(language);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      if (const auto named = Named(rest.substr(0, colon))) return *named;
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  return Named(loc).value_or(res::Language::English);
}

res::Language InterfaceLanguage() {
  if (g_override) return *g_override;
  return LanguageFromEnvironment(std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                 std::getenv("LANG"));
}

void SetInterfaceLanguage(std::optional<res::Language> language) { g_override = language; }

QString LoadText(int id) {
  const char* text = res::FindString(id, InterfaceLanguage());
  return text ? QString::fromUtf8(text) : QString();
}

CString LoadString(int id) { return ToGbk(LoadText(id)); }
