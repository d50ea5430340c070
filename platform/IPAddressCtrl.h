#pragma once
#include "Wnd.h"

// The dialog's handle on a template's IPv4 address field: reads and writes the
// Ipv4FieldWidget the dialog built for that control (four fields of 0 to 255).
class CIPAddressCtrl : public CWnd {
public:
  // From a packed address, first octet in the high byte.
  void SetAddress(DWORD packed);
  // The four fields, first field first; a blank field reads 0. Returns the
  // number of fields that are not blank.
  int GetAddress(BYTE& f0, BYTE& f1, BYTE& f2, BYTE& f3) const;
};
