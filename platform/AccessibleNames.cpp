#include "AccessibleNames.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QRect>

#include "Ipv4FieldWidget.h"
#include "StringTable.h"

using res::ControlKind;
using res::ControlTemplate;

namespace accessible {

QString CaptionName(const QString& caption) {
  QString name;
  name.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    const QChar c = caption[i];
    if (c != u'&') {
      name += c;
      continue;
    }
    if (i + 1 >= caption.size()) break;  // a lone '&' at the end marks nothing
    if (caption[i + 1] == u'&') {
      name += u'&';
      ++i;
      continue;
    }
    // "(&X)" at the end, or "&X)" whose bracket was lost, is only the accelerator.
    const bool closes = i + 2 < caption.size() && caption[i + 2] == u')' && i + 3 == caption.size();
    if (closes) {
      if (name.endsWith(u'(')) name.chop(1);
      break;
    }
  }
  return name.trimmed();
}

namespace {

bool IsField(ControlKind kind) {
  switch (kind) {
    case ControlKind::Edit:
    case ControlKind::RichEdit:
    case ControlKind::DropList:
    case ControlKind::IpAddress:
    case ControlKind::Progress: return true;
    default: return false;
  }
}

bool IsLabel(ControlKind kind) { return kind == ControlKind::StaticText || kind == ControlKind::RadioButton; }

// A drop-down list's template height is that of its open list; closed it is
// one line high, which is what lines up with its label.
constexpr int kClosedListHeight = 12;

QRect RectOf(const ControlTemplate& c) {
  return QRect(c.x, c.y, c.cx, c.kind == ControlKind::DropList ? kClosedListHeight : c.cy);
}

bool RowsOverlap(const QRect& a, const QRect& b) { return a.top() <= b.bottom() && b.top() <= a.bottom(); }
bool ColumnsOverlap(const QRect& a, const QRect& b) { return a.left() <= b.right() && b.left() <= a.right(); }

}  // namespace

int NamingControl(const std::vector<ControlTemplate>& controls, std::size_t index) {
  if (index >= controls.size() || !IsField(controls[index].kind)) return -1;
  const QRect field = RectOf(controls[index]);
  int left = -1, group = -1, above = -1;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlTemplate& c = controls[i];
    const QRect r = RectOf(c);
    if (IsLabel(c.kind) && r.left() < field.left() && RowsOverlap(r, field)) {
      if (left < 0 || r.left() > controls[left].x) left = static_cast<int>(i);
    } else if (c.kind == ControlKind::GroupBox && r.contains(field)) {
      const auto area = [](const QRect& q) { return q.width() * q.height(); };
      if (group < 0 || area(r) < area(RectOf(controls[group]))) group = static_cast<int>(i);
    } else if (IsLabel(c.kind) && r.bottom() < field.top() && ColumnsOverlap(r, field)) {
      if (above < 0 || r.bottom() > RectOf(controls[above]).bottom()) above = static_cast<int>(i);
    }
  }
  return left >= 0 ? left : group >= 0 ? group : above;
}

QString ControlName(const res::DialogTemplate& dialog, std::size_t index) {
  if (index >= dialog.controls.size()) return {};
  const ControlTemplate& c = dialog.controls[index];
  switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::RadioButton: return CaptionName(QString::fromUtf8(c.caption));
    case ControlKind::StaticIcon:
      // The only icon a dialog shows is the program's own.
      return QString::fromUtf8(res::kProductName.data(), static_cast<qsizetype>(res::kProductName.size()));
    case ControlKind::StaticText:
    case ControlKind::GroupBox: return {};
    default: break;
  }
  const int naming = NamingControl(dialog.controls, index);
  if (naming < 0) return {};
  const ControlTemplate& label = dialog.controls[static_cast<std::size_t>(naming)];
  const QString caption = QString::fromUtf8(label.caption);
  return (label.style & res::kNoPrefix) ? caption : CaptionName(caption);
}

QString PartName(int position, int count, res::Language language) {
  return LoadText(IDS_FIELD_PART, language).arg(position).arg(count);
}

void NameControls(const res::DialogTemplate& dialog, const std::vector<QWidget*>& widgets, res::Language language) {
  for (std::size_t i = 0; i < dialog.controls.size() && i < widgets.size(); ++i) {
    QWidget* widget = widgets[i];
    if (!widget) continue;
    const QString name = ControlName(dialog, i);
    if (name.isEmpty()) continue;
    widget->setAccessibleName(name);
    // A label that names a field is its buddy: the desktop reports the two as
    // label and labelled.
    const int naming = NamingControl(dialog.controls, i);
    if (naming >= 0 && static_cast<std::size_t>(naming) < widgets.size()) {
      if (auto* label = qobject_cast<QLabel*>(widgets[static_cast<std::size_t>(naming)])) label->setBuddy(widget);
    }
    if (auto* address = qobject_cast<Ipv4FieldWidget*>(widget)) {
      for (int part = 0; part < ipfield::kFieldCount; ++part) {
        QLineEdit* field = address->Field(part);
        field->setAccessibleName(PartName(part + 1, ipfield::kFieldCount, language));
        field->setAccessibleDescription(name);
      }
    }
  }
}

}  // namespace accessible
