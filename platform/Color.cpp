#include "Color.h"

#include <QColor>

QColor ColorFromRef(COLORREF cr) { return QColor(cr & 0xFF, (cr >> 8) & 0xFF, (cr >> 16) & 0xFF); }

COLORREF ColorRefOf(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return RGB(static_cast<BYTE>(rgb.red()), static_cast<BYTE>(rgb.green()), static_cast<BYTE>(rgb.blue()));
}
