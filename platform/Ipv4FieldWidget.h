#pragma once
// The IPv4 address field widget: four 0-255 fields separated by dots in one line-edit box,
// typed, navigated and pasted the way the desktop's address fields behave.

#include <QFrame>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class QContextMenuEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;

// The typing and parsing rules of the address fields, kept free of widgets.
namespace ipfield {

inline constexpr int kFieldCount = 4;
inline constexpr int kMaxDigits = 3;

// One value per field, first field first; an empty optional is a blank field.
using FieldValues = std::array<std::optional<int>, kFieldCount>;

// The value a field's text stands for: one to three ASCII digits worth 0..255
// ("010" is ten). Nothing for blank or anything else.
std::optional<int> OctetValue(const QString& text);

// What a field may hold: nothing, or the text of a value 0..255.
bool IsOctetText(const QString& text);

// Dotted text as a paste or SetText reads it. Surrounding blanks are ignored.
// Fields fill left to right; an empty part leaves its field blank and goes on;
// the first part that is not a number 0..255 blanks its field and every one
// after it. A port or prefix length after the fourth number (":9100", "/24")
// and parts beyond the fourth are ignored.
FieldValues ParseDottedFields(const QString& dotted);

// A field as a key reaches it.
struct FieldState {
  QString text;
  int cursor = 0;
  int selectionStart = -1;  // -1: nothing selected
  int selectionLength = 0;
  // The previous keystroke completed the field before and moved here.
  bool arrivedByTyping = false;
};

// The field's text once `inserted` replaces its selection, or goes in at the
// cursor; nothing when the result is not a value a field may hold.
std::optional<QString> TextAfterInsert(const FieldState& field, const QString& inserted);

enum class KeyAction {
  Refuse,            // the field keeps its text
  Insert,            // the digit goes in
  InsertAndAdvance,  // the digit goes in and completes the field: on to the next one
  Advance,           // a dot after a typed value: on to the next field
};

// What a typed character does in a field. Digits go in when the field still
// holds 0..255 afterwards; the third digit typed at the end moves on. A dot
// moves on from a field holding something, except right after a completed
// field moved here, so "192.168" typed over an old address lands in order.
// Anything else is refused.
KeyAction DecideTypedKey(const FieldState& field, QChar typed, bool hasNextField);

enum class Hop { Stay, Previous, Next };

// Whether Backspace, Left or Right (without modifiers) leaves the field:
// Backspace in a blank field or at its start and Left at its start go back,
// Right at its end goes on. With a selection the key stays in the field.
Hop HopForKey(int key, const FieldState& field);

}  // namespace ipfield

class Ipv4FieldWidget : public QFrame {
  Q_OBJECT
  // The dotted text is the field's value, read and written like a line edit's.
  Q_PROPERTY(QString text READ Text WRITE SetText USER true)

public:
  explicit Ipv4FieldWidget(QWidget* parent = nullptr);

  void SetAddress(quint32 packed);      // first octet in the high byte: 0xC0A8010A is 192.168.1.10
  void SetText(const QString& dotted);  // read as ipfield::ParseDottedFields reads it
  // The four fields joined with dots, blank fields empty: "10..." when only the
  // first is filled. Values are written without leading zeros.
  QString Text() const;
  // First field first; a blank field reads 0. Returns how many fields are filled.
  int GetAddress(std::array<std::uint8_t, 4>& octets) const;
  bool IsBlank() const;
  void ClearAddress();
  QLineEdit* Field(int index) const;  // nullptr outside 0..3

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

signals:
  void addressChanged();  // any field's text changed, typed or set

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  int IndexOf(const QObject* watched) const;
  ipfield::FieldState StateOf(int index) const;
  bool HandleKey(int index, QKeyEvent* key);
  void HandleContextMenu(int index, QContextMenuEvent* event);
  void PasteInto(int index, const QString& pasted);
  void ApplyValues(const ipfield::FieldValues& values);
  void EnterField(int index, int cursor);  // cursor -1: select the field's text
  void LeaveBackwards();
  void UpdateMargins();
  QSize SizeForFieldWidth(int fieldWidth) const;
  bool HasFocusInside() const;
  QString RawText() const;

  std::array<QLineEdit*, ipfield::kFieldCount> fields_{};
  std::array<QLabel*, ipfield::kFieldCount - 1> dots_{};
  bool settingFields_ = false;  // one addressChanged for a whole SetText
  int arrivedByTyping_ = -1;    // the field an auto-advance moved to, until the next key
};
