#include <gtest/gtest.h>

#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Resources.h"

using res::ControlKind;
using res::ControlTemplate;
using res::DialogTemplate;
using res::Language;

namespace {

constexpr Language kLanguages[] = {Language::English, Language::Chinese};
constexpr int kDialogIds[] = {IDD_ABOUTBOX, IDD_PRINTERTEST_DIALOG, IDD_STATUS_DIALOG};

const char* LanguageName(Language language) { return language == Language::Chinese ? "Chinese" : "English"; }

std::string Where(int dialogId, Language language) {
  return "dialog " + std::to_string(dialogId) + " (" + LanguageName(language) + ")";
}

const DialogTemplate& Dialog(int id, Language language) {
  const DialogTemplate* dialog = res::FindDialog(id, language);
  if (dialog == nullptr) throw std::runtime_error("no " + Where(id, language));
  return *dialog;
}

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id) {
  auto it = std::find_if(dialog.controls.begin(), dialog.controls.end(),
                         [id](const ControlTemplate& c) { return c.id == id; });
  return it == dialog.controls.end() ? nullptr : &*it;
}

// ---------------------------------------------------------------------------
// String table

const std::vector<int> kStringIds = {
    IDS_ABOUTBOX,
    IDS_CURRENT_IP,
    IDS_CANT_CONNECT,
    IDS_MAC_LENGTH,
    IDS_MONITOR_START,
    IDS_MONITOR_STOP,
    IDS_ONLINE,
    IDS_OFFLINE,
    IDS_COVER_CLOSED,
    IDS_COVER_OPEN,
    IDS_TEMP_OK,
    IDS_TEMP_OVER,
    IDS_PRINT_ALLOWED,
    IDS_PAUSED,
    IDS_IDLE,
    IDS_BUSY,
    IDS_PAPER_OK,
    IDS_PAPER_END,
    IDS_CONNECT_OK,
    IDS_SEARCH_START,
    IDS_SET_IP_SUCCESS,
    IDS_SET_IP_FAILED,
    IDS_MAC_NOT_FOR_A_STATION,
    IDS_NEW_IP_NOT_FOR_A_STATION,
    IDS_STATUS_NOT_POLLED,
    IDS_STATUS_ANSWERED,
    IDS_STATUS_NO_BYTES,
    IDS_STATUS_NO_ANSWER,
    IDS_CAUSE_REFUSED,
    IDS_CAUSE_NO_ANSWER,
    IDS_CAUSE_HOST_UNREACHABLE,
    IDS_CAUSE_NET_UNREACHABLE,
    IDS_CAUSE_CONNECT_FAILED,
    IDS_CAUSE_BAD_ADDRESS,
    IDS_CAUSE_NO_NETWORK,
    IDS_CAUSE_SEND_INCOMPLETE,
    IDS_TIP_BYTE,
    IDS_TIP_BYTE_MISSING,
    IDS_TIP_BIT,
    IDS_TIP_BITS,
    IDS_FIELD_COVER,
    IDS_FIELD_BUSY,
    IDS_FIELD_TEMP,
    IDS_FIELD_PAUSE,
    IDS_FIELD_PAPER,
    IDS_FIELD_NOT_USED,
    IDS_CHANGE_OFFLINE,
    IDS_CHANGE_ONLINE,
    IDS_CHANGE_COVER_OPENED,
    IDS_CHANGE_COVER_CLOSED,
    IDS_CHANGE_BUSY,
    IDS_CHANGE_BUSY_CLEARED,
    IDS_CHANGE_TEMP_OVER,
    IDS_CHANGE_TEMP_CLEARED,
    IDS_CHANGE_PAUSED,
    IDS_CHANGE_PAUSE_CLEARED,
    IDS_CHANGE_PAPER_END,
    IDS_CHANGE_PAPER_CLEARED,
    IDS_CHANGE_NOT_READ,
    IDS_SYS_MINIMIZE,
    IDS_SYS_CLOSE,
    IDS_MAX_CHARS,
    IDS_FIELD_PART,
};

TEST(StringTable, EveryIdHasATranslatedTextInBothLanguages) {
  for (int id : kStringIds) {
    SCOPED_TRACE("string " + std::to_string(id));
    const char* english = res::FindString(id, Language::English);
    const char* chinese = res::FindString(id, Language::Chinese);
    ASSERT_NE(english, nullptr);
    ASSERT_NE(chinese, nullptr);
    EXPECT_STRNE(english, "");
    EXPECT_STRNE(chinese, "");
    EXPECT_STRNE(english, chinese) << "one language's text copied into the other";
  }
}

TEST(StringTable, BothLanguagesFillTheSamePlaceholders) {
  // A "%2" lost in translation leaves the time or the cause out of one language's text.
  auto placeholders = [](const char* text) {
    std::string found;
    for (const char* p = text; *p; ++p) {
      if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') found += p[1];
    }
    std::sort(found.begin(), found.end());
    return found;
  };
  for (int id : kStringIds) {
    EXPECT_EQ(placeholders(res::FindString(id, Language::English)),
              placeholders(res::FindString(id, Language::Chinese)))
        << "string " << id;
  }
}

TEST(StringTable, TextsThatAreShownOrComparedAreExactToTheByte) {
  struct Case {
    const char* catches;
    int id;
    Language language;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"a trailing blank before the address that follows", IDS_CURRENT_IP, Language::English, "The Current IP is"},
      {"a trailing blank before the address (Chinese)", IDS_CURRENT_IP, Language::Chinese,
       "\xE5\xBD\x93\xE5\x89\x8D"
       "IP"
       "\xE5\xB7\xB2\xE6\x98\xAF"},
      {"lost accelerator or ellipsis of the About item", IDS_ABOUTBOX, Language::English,
       "About OrvanePrinterTest(&A)..."},
      {"lost blank after the Chinese About word", IDS_ABOUTBOX, Language::Chinese,
       "\xE5\x85\xB3\xE4\xBA\x8E OrvanePrinterTest(&A)..."},
      {"toggle caption the monitor compares against", IDS_MONITOR_START, Language::English, "&Monitor Status"},
      {"a full-width question mark in the sweep question", IDS_SEARCH_START, Language::Chinese,
       "\xE5\xBC\x80\xE5\xA7\x8B\xE6\x89\xAB\xE6\x8F\x8F?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.catches);
    const char* text = res::FindString(c.id, c.language);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.expected);
  }
}

TEST(StringTable, ExchangeLogTextsFillInTheSameFiguresInBothLanguages) {
  int found = 0;
  for (int id = IDS_LOG_MENU; id <= IDS_OUT_DISCARDED; ++id) {
    const char* english = res::FindString(id, Language::English);
    const char* chinese = res::FindString(id, Language::Chinese);
    if (!english && !chinese) continue;  // a gap between the groups of ids
    ++found;
    ASSERT_TRUE(english && chinese) << "string " << id << " in one language only";
    EXPECT_STRNE(english, chinese) << "string " << id << " not translated";
    for (const char* mark : {"%1", "%2", "%3"}) {
      EXPECT_EQ(std::string(english).find(mark) == std::string::npos,
                std::string(chinese).find(mark) == std::string::npos)
          << "string " << id << ": " << mark << " in one language only, a figure would go missing";
    }
  }
  EXPECT_EQ(found, 49);
}

TEST(StringTable, IdsOutsideTheTableGiveNullptr) {
  for (int id : {0, -1, 100, 103, 106, 111, 130, IDD_STATUS_DIALOG}) {
    for (Language language : kLanguages) {
      EXPECT_EQ(res::FindString(id, language), nullptr) << "string " << id << " in " << LanguageName(language);
    }
  }
}

TEST(InterfaceLanguage, FollowsTheEnvironmentLikeMessageCatalogues) {
  struct Case {
    const char* catches;
    const char *language, *lcAll, *lcMessages, *lang;
    Language expected;
  };
  const Case cases[] = {
      {"Chinese locale", nullptr, nullptr, nullptr, "zh_CN.UTF-8", Language::Chinese},
      {"English locale", nullptr, nullptr, nullptr, "en_GB.UTF-8", Language::English},
      {"nothing set", nullptr, nullptr, nullptr, nullptr, Language::English},
      {"LC_ALL beats LANG", nullptr, "en_US.UTF-8", nullptr, "zh_CN.UTF-8", Language::English},
      {"LC_MESSAGES beats LANG", nullptr, nullptr, "zh_TW.UTF-8", "en_GB.UTF-8", Language::Chinese},
      {"LANGUAGE's first known entry wins", "fr:zh_CN:en", nullptr, nullptr, "en_GB.UTF-8", Language::Chinese},
      {"LANGUAGE is ignored under the C locale", "zh_CN", nullptr, nullptr, "C", Language::English},
      {"another language falls back to English", nullptr, nullptr, nullptr, "de_DE.UTF-8", Language::English},
      {"an empty LC_ALL does not count", nullptr, "", nullptr, "zh_CN.GBK", Language::Chinese},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(res::LanguageFromEnvironment(c.language, c.lcAll, c.lcMessages, c.lang), c.expected) << c.catches;
  }
}

// ---------------------------------------------------------------------------
// Dialog templates

TEST(DialogTemplates, EachIdGivesItsOwnTemplateInEachLanguage) {
  for (int id : kDialogIds) {
    const DialogTemplate* english = res::FindDialog(id, Language::English);
    const DialogTemplate* chinese = res::FindDialog(id, Language::Chinese);
    ASSERT_NE(english, nullptr) << id;
    ASSERT_NE(chinese, nullptr) << id;
    EXPECT_EQ(english->id, id) << "lookup returned another dialog";
    EXPECT_EQ(chinese->id, id) << "lookup returned another dialog";
    EXPECT_STRNE(english->title, chinese->title) << "dialog " << id << " has one title for both languages";
  }
}

TEST(DialogTemplates, IdsThatNameNoDialogGiveNullptr) {
  for (int id : {0, -1, 101, 103, 130, IDR_MAINFRAME, IDS_ABOUTBOX + 1000}) {
    for (Language language : kLanguages) {
      EXPECT_EQ(res::FindDialog(id, language), nullptr) << id;
    }
  }
}

TEST(DialogTemplates, BothLanguagesHoldTheSameControlsInTheSameTabOrder) {
  for (int id : kDialogIds) {
    SCOPED_TRACE(Where(id, Language::English) + " against Chinese");
    const auto& english = Dialog(id, Language::English).controls;
    const auto& chinese = Dialog(id, Language::Chinese).controls;
    ASSERT_EQ(english.size(), chinese.size());
    for (std::size_t i = 0; i < english.size(); ++i) {
      EXPECT_EQ(english[i].id, chinese[i].id) << "tab position " << i;
      EXPECT_EQ(english[i].kind, chinese[i].kind) << "tab position " << i;
      EXPECT_EQ(english[i].style, chinese[i].style) << "tab position " << i;
    }
  }
}

TEST(DialogTemplates, NoControlLiesOutsideItsDialog) {
  for (int id : kDialogIds) {
    for (Language language : kLanguages) {
      const DialogTemplate& dialog = Dialog(id, language);
      for (const ControlTemplate& c : dialog.controls) {
        SCOPED_TRACE(Where(id, language) + ", control \"" + c.caption + "\" id " + std::to_string(c.id));
        EXPECT_GT(c.cx, 0);
        EXPECT_GT(c.cy, 0);
        EXPECT_GE(c.x, 0);
        EXPECT_GE(c.y, 0);
        EXPECT_LE(c.x + c.cx, dialog.cx);
        EXPECT_LE(c.y + c.cy, dialog.cy);
      }
    }
  }
}

// Controls the user clicks or types into must not cover one another. Labels,
// group boxes and radio buttons are left out (a radio button's box is wider
// than its text); a drop-down list counts with its closed height.
TEST(DialogTemplates, OperableControlsDoNotOverlap) {
  constexpr int kClosedListHeight = 14;
  auto operable = [](const ControlTemplate& c) {
    return c.kind != ControlKind::StaticText && c.kind != ControlKind::StaticIcon && c.kind != ControlKind::GroupBox &&
           c.kind != ControlKind::RadioButton;
  };
  for (int id : kDialogIds) {
    for (Language language : kLanguages) {
      const auto& controls = Dialog(id, language).controls;
      for (std::size_t i = 0; i < controls.size(); ++i) {
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
          const ControlTemplate& a = controls[i];
          const ControlTemplate& b = controls[j];
          if (!operable(a) || !operable(b)) continue;
          const int aHeight = a.kind == ControlKind::DropList ? kClosedListHeight : a.cy;
          const int bHeight = b.kind == ControlKind::DropList ? kClosedListHeight : b.cy;
          const bool overlap = a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + bHeight && b.y < a.y + aHeight;
          EXPECT_FALSE(overlap) << Where(id, language) << ": controls " << a.id << " and " << b.id;
        }
      }
    }
  }
}

TEST(DialogTemplates, ControlIdsAreUniqueWithinADialog) {
  for (int id : kDialogIds) {
    for (Language language : kLanguages) {
      std::set<int> seen;
      for (const ControlTemplate& c : Dialog(id, language).controls) {
        if (c.id == -1) continue;
        EXPECT_TRUE(seen.insert(c.id).second) << Where(id, language) << ": id " << c.id << " twice";
      }
    }
  }
}

// The letter after each '&' (not "&&") of the captions that take accelerators.
std::vector<char32_t> Accelerators(const DialogTemplate& dialog) {
  std::vector<char32_t> keys;
  for (const ControlTemplate& c : dialog.controls) {
    if (c.style & res::kNoPrefix) continue;
    const QString caption = QString::fromUtf8(c.caption);
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
      if (caption[i] != u'&') continue;
      if (caption[i + 1] == u'&') {
        ++i;
        continue;
      }
      keys.push_back(caption[i + 1].toUpper().unicode());
    }
  }
  return keys;
}

TEST(DialogTemplates, NoTwoControlsShareAnAcceleratorKey) {
  for (int id : kDialogIds) {
    for (Language language : kLanguages) {
      std::vector<char32_t> keys = Accelerators(Dialog(id, language));
      std::sort(keys.begin(), keys.end());
      EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end()) << Where(id, language);
    }
  }
}

TEST(DialogTemplates, ControlsTheDialogsBindExistWithTheRightKind) {
  struct Case {
    int dialog;
    ControlKind kind;
    std::vector<int> controls;
  };
  const std::vector<Case> cases = {
      {IDD_ABOUTBOX, ControlKind::DefPushButton, {IDOK}},
      {IDD_PRINTERTEST_DIALOG,
       ControlKind::PushButton,
       {IDCANCEL, IDC_SET_IP, IDC_PRINT, IDC_CASH_DRAWER, IDC_CUT_PAPER, IDC_SET_MAC, IDC_INIT_PRINTER, IDC_OTHER_SET,
        IDC_GET_STATUS, IDC_TEST_CONNECTION}},
      {IDD_PRINTERTEST_DIALOG, ControlKind::IpAddress, {IDC_IP_TARGET, IDC_IP_NEW}},
      {IDD_PRINTERTEST_DIALOG, ControlKind::RadioButton, {IDC_RADIO_MANUAL, IDC_RADIO_AUTO}},
      {IDD_PRINTERTEST_DIALOG, ControlKind::DropList, {IDC_PRINTER_LIST}},
      {IDD_PRINTERTEST_DIALOG, ControlKind::Edit, {IDC_MAC, IDC_OTHER_HEX}},
      {IDD_PRINTERTEST_DIALOG, ControlKind::RichEdit, {IDC_TEST_PAGE}},
      {IDD_PRINTERTEST_DIALOG, ControlKind::Progress, {IDC_PROGRESS}},
      {IDD_STATUS_DIALOG, ControlKind::DefPushButton, {IDOK}},
      {IDD_STATUS_DIALOG,
       ControlKind::PushButton,
       {IDC_IND_ONLINE, IDC_IND_BUSY, IDC_IND_PAPER, IDC_IND_PAUSE, IDC_IND_COVER, IDC_IND_TEMP, IDC_GET_STATUS}},
      {IDD_STATUS_DIALOG, ControlKind::StaticText, {IDC_STATUS_LINE}},
  };
  for (const Case& c : cases) {
    for (Language language : kLanguages) {
      for (int id : c.controls) {
        const ControlTemplate* control = FindControl(Dialog(c.dialog, language), id);
        ASSERT_NE(control, nullptr) << Where(c.dialog, language) << " lacks control " << id;
        EXPECT_EQ(control->kind, c.kind) << Where(c.dialog, language) << ", control " << id;
      }
    }
  }
}

TEST(DialogTemplates, StylesTheConsoleBehaviourDependsOn) {
  struct Case {
    const char* catches;
    int control;
    unsigned required;
    unsigned forbidden;
  };
  const std::vector<Case> cases = {
      {"lower-case letters reaching the MAC frame", IDC_MAC, res::kUpperCase | res::kTabStop, 0},
      {"lower-case letters in the hex byte list", IDC_OTHER_HEX, res::kUpperCase | res::kTabStop, 0},
      {"test page unreachable by keyboard", IDC_TEST_PAGE, res::kTabStop, 0},
      {"progress bar showing before a sweep", IDC_PROGRESS, res::kHidden, res::kTabStop},
      {"the radio pair not forming one group", IDC_RADIO_MANUAL, res::kGroup | res::kTabStop, 0},
      {"the second radio splitting the group", IDC_RADIO_AUTO, 0, res::kGroup | res::kTabStop},
      {"printer list unreachable by keyboard", IDC_PRINTER_LIST, res::kTabStop, 0},
      {"target address unreachable by keyboard", IDC_IP_TARGET, res::kTabStop, 0},
      {"new address unreachable by keyboard", IDC_IP_NEW, res::kTabStop, 0},
  };
  for (const Case& c : cases) {
    for (Language language : kLanguages) {
      SCOPED_TRACE(std::string(c.catches) + " in " + LanguageName(language));
      const ControlTemplate* control = FindControl(Dialog(IDD_PRINTERTEST_DIALOG, language), c.control);
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(control->style & c.required, c.required);
      EXPECT_EQ(control->style & c.forbidden, 0u);
    }
  }
}

// The monitor decides whether it is polling by comparing the toggle's caption
// with string 112; a template caption that differs would never start polling.
TEST(DialogTemplates, MonitorToggleStartsWithTheNotMonitoringString) {
  for (Language language : kLanguages) {
    const ControlTemplate* toggle = FindControl(Dialog(IDD_STATUS_DIALOG, language), IDC_GET_STATUS);
    ASSERT_NE(toggle, nullptr);
    const char* notMonitoring = res::FindString(IDS_MONITOR_START, language);
    ASSERT_NE(notMonitoring, nullptr);
    EXPECT_STREQ(toggle->caption, notMonitoring) << LanguageName(language);
  }
}

TEST(DialogTemplates, CaptionsAreExactToTheByte) {
  struct Case {
    const char* catches;
    int dialog;
    int control;  // 0 for the dialog's title
    Language language;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"the Chinese close button 'corrected'", IDD_STATUS_DIALOG, IDOK, Language::Chinese,
       "\xE5\x85\xB3\xE9\x97\xAD&X)"},
      {"the English close button's accelerator", IDD_STATUS_DIALOG, IDOK, Language::English, "&Close"},
      {"the English console title", IDD_PRINTERTEST_DIALOG, 0, Language::English, "PrinterTest"},
      {"the blank before Mac in the Chinese button", IDD_PRINTERTEST_DIALOG, IDC_SET_MAC, Language::Chinese,
       "\xE8\xAE\xBE\xE7\xBD\xAE &Mac"},
      {"the accelerator inside the Chinese Set IP caption", IDD_PRINTERTEST_DIALOG, IDC_SET_IP, Language::Chinese,
       "\xE8\xAE\xBE\xE7\xBD\xAEI&P"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.catches);
    const DialogTemplate& dialog = Dialog(c.dialog, c.language);
    if (c.control == 0) {
      EXPECT_EQ(std::string(dialog.title), c.expected);
      continue;
    }
    const ControlTemplate* control = FindControl(dialog, c.control);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(std::string(control->caption), c.expected);
  }
}

// ---------------------------------------------------------------------------
// Icons

constexpr int kIconIds[] = {IDR_MAINFRAME, IDI_STATE_BAD, IDI_STATE_GOOD, IDI_STATE_IDLE};

TEST(Icons, EachIconIsDrawnAtTheAskedSizeOnATransparentGround) {
  for (int id : kIconIds) {
    for (int size : {16, 20, 32, 48}) {
      SCOPED_TRACE("icon " + std::to_string(id) + " at " + std::to_string(size));
      const QPixmap pixmap = res::IconPixmap(id, size);
      ASSERT_FALSE(pixmap.isNull());
      EXPECT_EQ(pixmap.width(), size);
      EXPECT_EQ(pixmap.height(), size);
      const QImage image = pixmap.toImage();
      for (const QPoint corner : {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)}) {
        EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << "corner " << corner.x() << "," << corner.y();
      }
    }
  }
}

TEST(Icons, UnknownIdsAndEmptySizesGiveANullPixmap) {
  for (int id : {0, -1, 129, 131, 135, IDD_ABOUTBOX}) {
    EXPECT_TRUE(res::IconPixmap(id, 32).isNull()) << id;
  }
  EXPECT_TRUE(res::IconPixmap(IDI_STATE_GOOD, 0).isNull());
}

TEST(Icons, EachLampShowsItsColourAndFillsMostOfTheSquare) {
  struct Case {
    const char* catches;
    int id;
    std::function<bool(QColor)> looksRight;
  };
  const std::vector<Case> cases = {
      {"the fault lamp not red", IDI_STATE_BAD,
       [](QColor c) { return c.red() > c.green() + 80 && c.red() > c.blue() + 80; }},
      {"the good lamp not green", IDI_STATE_GOOD,
       [](QColor c) { return c.green() > c.red() + 60 && c.green() > c.blue() + 60; }},
      {"the idle lamp tinted, black or white", IDI_STATE_IDLE,
       [](QColor c) {
         const int spread = std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()});
         return spread < 16 && c.red() > 80 && c.red() < 220;
       }},
  };
  for (const Case& c : cases) {
    for (int size : {16, 32}) {
      SCOPED_TRACE(std::string(c.catches) + " at " + std::to_string(size));
      const QImage image = res::IconPixmap(c.id, size).toImage();
      const QColor centre = image.pixelColor(size / 2, size / 2);
      EXPECT_EQ(centre.alpha(), 255);
      EXPECT_TRUE(c.looksRight(centre)) << centre.name().toStdString();
      // Points at 40% of the size from the centre still lie on the lamp.
      const int reach = size * 2 / 5;
      for (const QPoint p : {QPoint(size / 2 - reach, size / 2), QPoint(size / 2 + reach, size / 2),
                             QPoint(size / 2, size / 2 - reach), QPoint(size / 2, size / 2 + reach)}) {
        EXPECT_GT(qAlpha(image.pixel(p)), 128) << "lamp too small at " << p.x() << "," << p.y();
      }
    }
  }
}

// At 16 pixels the application icon must still show a light paper strip
// above a dark printer body, not a blur or an empty square.
TEST(Icons, ApplicationIconStaysReadableAtSmallSizes) {
  for (int size : {16, 32}) {
    SCOPED_TRACE(size);
    const QImage image = res::IconPixmap(IDR_MAINFRAME, size).toImage();
    int opaque = 0;
    int lightTop = 0;
    int darkBottom = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c.alpha() < 200) continue;
        ++opaque;
        if (y < size / 2 && c.lightness() > 200) ++lightTop;
        if (y >= size / 2 && c.lightness() < 110) ++darkBottom;
      }
    }
    EXPECT_GT(opaque, size * size / 3);
    EXPECT_GT(lightTop, size * size / 16);
    EXPECT_GT(darkBottom, size * size / 8);
  }
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
