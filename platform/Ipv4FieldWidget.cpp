#include "Ipv4FieldWidget.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>

#include <algorithm>

namespace ipfield {

std::optional<int> OctetValue(const QString& text) {
  if (text.isEmpty() || text.size() > kMaxDigits) return std::nullopt;
  int value = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;  // ASCII only: no signs, no other scripts' digits
    value = value * 10 + (c.unicode() - u'0');
  }
  if (value > 255) return std::nullopt;
  return value;
}

bool IsOctetText(const QString& text) { return text.isEmpty() || OctetValue(text).has_value(); }

FieldValues ParseDottedFields(const QString& dotted) {
  FieldValues values{};
  const QStringList parts = dotted.trimmed().split(u'.');
  for (int i = 0; i < kFieldCount && i < parts.size(); ++i) {
    QString part = parts[i];
    if (i == kFieldCount - 1) {
      // "192.168.1.10:9100" and "192.168.1.0/24" are how addresses get copied around.
      const auto suffix = std::find_if(part.cbegin(), part.cend(), [](QChar c) { return c == u':' || c == u'/'; });
      part.truncate(static_cast<int>(suffix - part.cbegin()));
    }
    part = part.trimmed();
    if (part.isEmpty()) continue;
    const std::optional<int> value = OctetValue(part);
    if (!value) break;
    values[i] = value;
  }
  return values;
}

namespace {
bool HasSelection(const FieldState& field) { return field.selectionStart >= 0 && field.selectionLength > 0; }
}  // namespace

std::optional<QString> TextAfterInsert(const FieldState& field, const QString& inserted) {
  QString text = field.text;
  int at = std::clamp(field.cursor, 0, static_cast<int>(text.size()));
  if (HasSelection(field)) {
    at = std::min(field.selectionStart, static_cast<int>(text.size()));
    text.remove(at, field.selectionLength);
  }
  text.insert(at, inserted);
  if (!IsOctetText(text)) return std::nullopt;
  return text;
}

KeyAction DecideTypedKey(const FieldState& field, QChar typed, bool hasNextField) {
  if (typed == u'.') {
    if (!hasNextField || field.text.isEmpty() || field.arrivedByTyping) return KeyAction::Refuse;
    return KeyAction::Advance;
  }
  if (typed < u'0' || typed > u'9') return KeyAction::Refuse;
  const std::optional<QString> after = TextAfterInsert(field, QString(typed));
  if (!after) return KeyAction::Refuse;
  const int cursorAfter = (HasSelection(field) ? field.selectionStart : field.cursor) + 1;
  if (hasNextField && after->size() == kMaxDigits && cursorAfter == kMaxDigits) return KeyAction::InsertAndAdvance;
  return KeyAction::Insert;
}

Hop HopForKey(int key, const FieldState& field) {
  const bool selected = HasSelection(field);
  switch (key) {
    case Qt::Key_Backspace: return field.text.isEmpty() || (!selected && field.cursor == 0) ? Hop::Previous : Hop::Stay;
    case Qt::Key_Left: return !selected && field.cursor == 0 ? Hop::Previous : Hop::Stay;
    case Qt::Key_Right: return !selected && field.cursor == field.text.size() ? Hop::Next : Hop::Stay;
    default: return Hop::Stay;
  }
}

}  // namespace ipfield

using namespace ipfield;

namespace {

// QLineEdit keeps this much room around its text inside its frame.
constexpr int kLineEditHorizontalMargin = 2;
constexpr int kLineEditVerticalMargin = 1;

// Guards every way text reaches a field, drops and undo included; keystrokes
// and pastes are decided before they get this far.
class OctetValidator : public QValidator {
public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override { return IsOctetText(input) ? Acceptable : Invalid; }
};

bool IsModifierKey(int key) {
  return (key >= Qt::Key_Shift && key <= Qt::Key_ScrollLock) || key == Qt::Key_AltGr ||
         (key >= Qt::Key_Super_L && key <= Qt::Key_Hyper_R);
}

// The whole box is drawn as one line edit, focus frame included.
QStyleOptionFrame PanelOption(const QWidget* box, bool focused) {
  QStyleOptionFrame panel;
  panel.initFrom(box);
  panel.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, box);
  panel.midLineWidth = 0;
  panel.state |= QStyle::State_Sunken;
  panel.state.setFlag(QStyle::State_HasFocus, focused);
  panel.features = QStyleOptionFrame::None;
  return panel;
}

// The desktop reads the box as a group of four fields named by its label,
// not as a bare frame.
QAccessibleInterface* AccessibleBox(const QString& className, QObject* object) {
  if (className != QLatin1String(Ipv4FieldWidget::staticMetaObject.className()) || !object->isWidgetType())
    return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Grouping);
}

}  // namespace

Ipv4FieldWidget::Ipv4FieldWidget(QWidget* parent) : QFrame(parent) {
  static const bool accessibleInstalled = (QAccessible::installFactory(AccessibleBox), true);
  Q_UNUSED(accessibleInstalled);
  setFrameShape(QFrame::NoFrame);  // paintEvent draws the line-edit panel
  setSizePolicy(QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed, QSizePolicy::LineEdit));

  auto* validator = new OctetValidator(this);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);  // the box's own margins keep the fields inside its frame
  row->setSpacing(0);
  for (int i = 0; i < kFieldCount; ++i) {
    if (i > 0) {
      QLabel* dot = new QLabel(QStringLiteral("."), this);
      dot->setAlignment(Qt::AlignCenter);
      dot->setForegroundRole(QPalette::Text);
      dot->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
      dots_[i - 1] = dot;
      row->addWidget(dot);
    }
    auto* field = new QLineEdit(this);
    field->setFrame(false);
    field->setAlignment(Qt::AlignCenter);
    field->setMaxLength(kMaxDigits);
    field->setValidator(validator);
    // The box paints the background once, frame and focus rim included; a
    // field painting its own would cover the rim between the dots.
    QPalette seeThrough = field->palette();
    seeThrough.setBrush(QPalette::Base, Qt::transparent);
    field->setPalette(seeThrough);
    // Each field takes an even share of the box; the box's size hints speak for all four.
    field->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    // Digits only: an input method would commit text past the key handling.
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    // Tab enters at the first field and leaves from any.
    field->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, [this] {
      if (!settingFields_) emit addressChanged();
    });
    fields_[i] = field;
    row->addWidget(field, 1);
  }
  setFocusProxy(fields_[0]);
  UpdateMargins();
}

void Ipv4FieldWidget::SetAddress(quint32 packed) {
  FieldValues values;
  for (int i = 0; i < kFieldCount; ++i) values[i] = static_cast<int>((packed >> (8 * (kFieldCount - 1 - i))) & 0xFFu);
  ApplyValues(values);
}

void Ipv4FieldWidget::SetText(const QString& dotted) { ApplyValues(ParseDottedFields(dotted)); }

QString Ipv4FieldWidget::Text() const {
  // Leading zeros are dropped: "010" typed is ten, and some address parsers
  // would read "010" as octal.
  QStringList parts;
  for (const QLineEdit* field : fields_) {
    const std::optional<int> value = OctetValue(field->text());
    parts << (value ? QString::number(*value) : QString());
  }
  return parts.join(u'.');
}

int Ipv4FieldWidget::GetAddress(std::array<std::uint8_t, 4>& octets) const {
  int filled = 0;
  for (int i = 0; i < kFieldCount; ++i) {
    const std::optional<int> value = OctetValue(fields_[i]->text());
    octets[i] = static_cast<std::uint8_t>(value.value_or(0));
    if (value) ++filled;
  }
  return filled;
}

bool Ipv4FieldWidget::IsBlank() const {
  return std::all_of(fields_.begin(), fields_.end(), [](const QLineEdit* field) { return field->text().isEmpty(); });
}

void Ipv4FieldWidget::ClearAddress() { ApplyValues(FieldValues{}); }

QLineEdit* Ipv4FieldWidget::Field(int index) const {
  return index >= 0 && index < kFieldCount ? fields_[index] : nullptr;
}

QSize Ipv4FieldWidget::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return SizeForFieldWidth(metrics.horizontalAdvance(QStringLiteral("2550")) + 2 * kLineEditHorizontalMargin);
}

QSize Ipv4FieldWidget::minimumSizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return SizeForFieldWidth(metrics.horizontalAdvance(QStringLiteral("255")) + 2 * kLineEditHorizontalMargin);
}

QSize Ipv4FieldWidget::SizeForFieldWidth(int fieldWidth) const {
  int dotsWidth = 0;
  for (const QLabel* dot : dots_) dotsWidth += dot->sizeHint().width();
  const QSize contents(kFieldCount * fieldWidth + dotsWidth, fontMetrics().height() + 2 * kLineEditVerticalMargin);
  const QStyleOptionFrame panel = PanelOption(this, false);
  return style()->sizeFromContents(QStyle::CT_LineEdit, &panel, contents, this);
}

bool Ipv4FieldWidget::eventFilter(QObject* watched, QEvent* event) {
  const int index = IndexOf(watched);
  if (index < 0) return QFrame::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::KeyPress: return HandleKey(index, static_cast<QKeyEvent*>(event));
    case QEvent::ContextMenu: HandleContextMenu(index, static_cast<QContextMenuEvent*>(event)); return true;
    case QEvent::MouseButtonPress: arrivedByTyping_ = -1; break;
    case QEvent::MouseButtonRelease: {
      // Middle-click pastes the selection where the desktop has one.
      const auto* mouse = static_cast<QMouseEvent*>(event);
      QClipboard* clipboard = QGuiApplication::clipboard();
      if (mouse->button() == Qt::MiddleButton && clipboard->supportsSelection() &&
          fields_[index]->rect().contains(mouse->position().toPoint())) {
        PasteInto(index, clipboard->text(QClipboard::Selection));
        return true;
      }
      break;
    }
    case QEvent::FocusOut: {
      // A field left behind shows its value plainly: "007" becomes "7".
      QLineEdit* field = fields_[index];
      if (const std::optional<int> value = OctetValue(field->text())) {
        const QString plain = QString::number(*value);
        if (field->text() != plain) field->setText(plain);
      }
      update();
      break;
    }
    case QEvent::FocusIn: update(); break;
    default: break;
  }
  return QFrame::eventFilter(watched, event);
}

bool Ipv4FieldWidget::HandleKey(int index, QKeyEvent* key) {
  const int code = key->key();
  if (IsModifierKey(code)) return false;  // Shift on its way to a dot or digit
  const bool arrivedByTyping = arrivedByTyping_ == index;
  arrivedByTyping_ = -1;

  if (key->matches(QKeySequence::Paste)) {
    PasteInto(index, QGuiApplication::clipboard()->text());
    return true;
  }

  const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
  if (code == Qt::Key_Backtab || (code == Qt::Key_Tab && modifiers == Qt::ShiftModifier)) {
    if (index == 0) return false;
    LeaveBackwards();
    return true;
  }
  if (modifiers == Qt::NoModifier && (code == Qt::Key_Backspace || code == Qt::Key_Left || code == Qt::Key_Right)) {
    const Hop hop = HopForKey(code, StateOf(index));
    if (hop == Hop::Previous && index > 0) {
      EnterField(index - 1, static_cast<int>(fields_[index - 1]->text().size()));
      return true;
    }
    if (hop == Hop::Next && index + 1 < kFieldCount) {
      EnterField(index + 1, 0);
      return true;
    }
    return false;
  }
  if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;  // shortcuts

  const QString text = key->text();
  if (text.isEmpty() || !text.at(0).isPrint()) return false;  // Return, Escape, Delete, Home, End, Tab
  QChar typed = text.at(0);
  if ((key->modifiers() & Qt::KeypadModifier) && typed == u',') typed = u'.';  // keypad decimal key in some layouts

  FieldState state = StateOf(index);
  state.arrivedByTyping = arrivedByTyping;
  const bool hasNextField = index + 1 < kFieldCount;
  switch (DecideTypedKey(state, typed, hasNextField)) {
    case KeyAction::Refuse: break;
    case KeyAction::Insert: fields_[index]->insert(QString(typed)); break;
    case KeyAction::InsertAndAdvance:
      fields_[index]->insert(QString(typed));
      EnterField(index + 1, -1);
      arrivedByTyping_ = index + 1;
      break;
    case KeyAction::Advance: EnterField(index + 1, -1); break;
  }
  return true;
}

void Ipv4FieldWidget::HandleContextMenu(int index, QContextMenuEvent* event) {
  // The field's own menu, with Paste going through the address rules. The
  // menu's Paste is known by the label QLineEdit gives it, shortcut after a tab.
  const QString pasteLabel = QCoreApplication::translate("QLineEdit", "&Paste");
  QMenu* menu = fields_[index]->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  for (QAction* action : menu->actions()) {
    if (action->text().section(u'\t', 0, 0) != pasteLabel) continue;
    action->disconnect(fields_[index]);
    connect(action, &QAction::triggered, this,
            [this, index] { PasteInto(index, QGuiApplication::clipboard()->text()); });
  }
  menu->popup(event->globalPos());
}

void Ipv4FieldWidget::PasteInto(int index, const QString& pasted) {
  const QString text = pasted.trimmed();
  if (text.contains(u'.')) {
    // A dotted address fills the whole box from the first field, whichever field it was pasted into.
    const FieldValues values = ParseDottedFields(text);
    const auto lastFilled = std::find_if(values.rbegin(), values.rend(), [](const auto& v) { return v.has_value(); });
    if (lastFilled == values.rend()) return;  // nothing in it reads as an address: keep the one shown
    ApplyValues(values);
    const int last = static_cast<int>(values.rend() - lastFilled) - 1;
    EnterField(last, static_cast<int>(fields_[last]->text().size()));
    return;
  }
  if (TextAfterInsert(StateOf(index), text)) fields_[index]->insert(text);
}

void Ipv4FieldWidget::ApplyValues(const FieldValues& values) {
  arrivedByTyping_ = -1;
  const QString before = RawText();
  {
    const QScopedValueRollback guard(settingFields_, true);
    for (int i = 0; i < kFieldCount; ++i) {
      const QString text = values[i] ? QString::number(*values[i]) : QString();
      if (fields_[i]->text() != text) fields_[i]->setText(text);
    }
  }
  if (RawText() != before) emit addressChanged();
}

void Ipv4FieldWidget::EnterField(int index, int cursor) {
  QLineEdit* field = fields_[index];
  field->setFocus(Qt::OtherFocusReason);
  if (cursor < 0) {
    field->selectAll();
  } else {
    field->deselect();
    field->setCursorPosition(cursor);
  }
}

void Ipv4FieldWidget::LeaveBackwards() {
  // Fields after the first are no tab stops, so Shift+Tab from them would
  // stop at the first; step back from the first instead.
  fields_[0]->setFocus(Qt::BacktabFocusReason);
  focusNextPrevChild(false);
}

int Ipv4FieldWidget::IndexOf(const QObject* watched) const {
  const auto found = std::find(fields_.begin(), fields_.end(), watched);
  return found == fields_.end() ? -1 : static_cast<int>(found - fields_.begin());
}

FieldState Ipv4FieldWidget::StateOf(int index) const {
  const QLineEdit* field = fields_[index];
  FieldState state;
  state.text = field->text();
  state.cursor = field->cursorPosition();
  state.selectionStart = field->selectionStart();
  state.selectionLength = field->selectionLength();
  return state;
}

QString Ipv4FieldWidget::RawText() const {
  QStringList parts;
  for (const QLineEdit* field : fields_) parts << field->text();
  return parts.join(u'.');
}

bool Ipv4FieldWidget::HasFocusInside() const {
  return std::any_of(fields_.begin(), fields_.end(), [](const QLineEdit* field) { return field->hasFocus(); });
}

void Ipv4FieldWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QStyleOptionFrame panel = PanelOption(this, HasFocusInside());
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
}

void Ipv4FieldWidget::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  UpdateMargins();
}

void Ipv4FieldWidget::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    UpdateMargins();
    updateGeometry();
  }
}

void Ipv4FieldWidget::UpdateMargins() {
  const QStyleOptionFrame panel = PanelOption(this, false);
  const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, this);
  // In a short box the digits get the frame's inner padding, down to one
  // pixel inside the border.
  const int spare = (height() - fontMetrics().height() - 2 * kLineEditVerticalMargin) / 2;
  const int vertical = std::min(frame, std::max(1, spare));
  setContentsMargins(frame, vertical, frame, vertical);
}
