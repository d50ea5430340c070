// The template controls' object classes: thin wrappers over their widgets.
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>

#include "ComboBox.h"
#include "Edit.h"
#include "Gbk.h"
#include "IPAddressCtrl.h"
#include "Ipv4FieldWidget.h"
#include "ProgressCtrl.h"

namespace {
template <typename W>
W* As(QWidget* widget) {
  return qobject_cast<W*>(widget);
}
}  // namespace

int CComboBox::GetCount() const {
  auto* c = As<QComboBox>(GetSafeHwnd());
  return c ? c->count() : 0;
}

int CComboBox::AddString(const CString& text) {
  auto* c = As<QComboBox>(GetSafeHwnd());
  if (!c) return -1;
  c->addItem(FromGbk(text));
  return c->count() - 1;
}

void CComboBox::SetItemToolTip(int index, const QString& tip) {
  auto* c = As<QComboBox>(GetSafeHwnd());
  if (c && index >= 0 && index < c->count()) c->setItemData(index, tip, Qt::ToolTipRole);
}

void CComboBox::ResetContent() {
  if (auto* c = As<QComboBox>(GetSafeHwnd())) c->clear();
}

int CComboBox::GetCurSel() const {
  auto* c = As<QComboBox>(GetSafeHwnd());
  return c ? c->currentIndex() : -1;
}

int CComboBox::SetCurSel(int index) {
  auto* c = As<QComboBox>(GetSafeHwnd());
  if (!c || index >= c->count()) return -1;
  c->setCurrentIndex(index);
  return index;
}

void CProgressCtrl::SetRange(int lower, int upper) {
  if (auto* p = As<QProgressBar>(GetSafeHwnd())) p->setRange(lower, upper);
}

int CProgressCtrl::SetPos(int position) {
  auto* p = As<QProgressBar>(GetSafeHwnd());
  if (!p) return -1;
  const int old = p->value() < p->minimum() ? p->minimum() : p->value();
  p->setValue(position);
  return old;
}

void CIPAddressCtrl::SetAddress(DWORD packed) {
  if (auto* ip = As<Ipv4FieldWidget>(GetSafeHwnd())) ip->SetAddress(packed);
}

int CIPAddressCtrl::GetAddress(BYTE& f0, BYTE& f1, BYTE& f2, BYTE& f3) const {
  std::array<std::uint8_t, 4> octets{};
  auto* ip = As<Ipv4FieldWidget>(GetSafeHwnd());
  const int filled = ip ? ip->GetAddress(octets) : 0;
  f0 = octets[0];
  f1 = octets[1];
  f2 = octets[2];
  f3 = octets[3];
  return filled;
}
