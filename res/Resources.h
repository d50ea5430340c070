#pragma once
// The program's resources as data: dialog templates in dialog units, the
// string table and the icons, each in English and in Simplified Chinese.

#include <QIcon>
#include <QPixmap>
#include <vector>

#include "Strings.h"

namespace res {

enum class ControlKind {
  PushButton,
  DefPushButton,  // the dialog's default button
  RadioButton,    // auto radio button
  GroupBox,
  StaticText,
  StaticIcon,  // shows the icon named by iconId
  Edit,        // single-line edit
  RichEdit,    // multi-line text field with a scroll bar; Return adds a line
  DropList,    // drop-down list, no typing, no sorting
  IpAddress,   // four fields of 0 to 255
  Progress,
};

// Control styles, or-ed together.
enum ControlStyle : unsigned {
  kTabStop = 1u << 0,
  kGroup = 1u << 1,      // starts a group (of radio buttons, or of tab stops)
  kUpperCase = 1u << 2,  // typed letters become capitals
  kHidden = 1u << 3,     // not visible on creation
  kNoPrefix = 1u << 4,   // '&' is shown as it is, not as an accelerator
};

struct ControlTemplate {
  int id;  // -1 for controls the code never reaches (labels, group boxes)
  ControlKind kind;
  int x, y, cx, cy;     // dialog units; for a drop-down list cy is the height of its open list
  const char* caption;  // UTF-8; "" for none
  unsigned style;
  int iconId = 0;  // StaticIcon only
};

// Dialog styles, or-ed together.
// Every dialog has a frame and a title bar.
enum DialogStyle : unsigned {
  kSysMenu = 1u << 0,  // a system menu and a close box
  kMinimizeBox = 1u << 1,
};

struct DialogTemplate {
  int id;
  int cx, cy;            // dialog units
  const char* fontFace;  // as named in the template: "宋体" or "Microsoft Sans Serif"
  int pointSize;
  const char* title;  // UTF-8
  unsigned style;
  std::vector<ControlTemplate> controls;  // in tab order
};

// nullptr when the id names no dialog.
const DialogTemplate* FindDialog(int id, Language language);

// The icon at the given square size in pixels, drawn for that size; a null
// pixmap when the id names no icon.
QPixmap IconPixmap(int id, int size);
// The icon at both of its sizes (16 and 32), for a window or a list row; an
// empty icon when the id names no icon.
QIcon IconSet(int id);

}  // namespace res
