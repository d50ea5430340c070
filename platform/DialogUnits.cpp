#include "DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>
#include <cstring>

namespace {

// a * b / c rounded to nearest, halves away from zero.
int MulDiv(int a, int b, int c) {
  const long long p = static_cast<long long>(a) * b;
  return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

}  // namespace

QFont DialogFont(const char* face, int pointSize) {
  QFont font;
  if (std::strcmp(face, "Microsoft Sans Serif") == 0) {
    font.setFamilies(QStringList{QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  } else {
    // "宋体" and anything else: a Ming/Song face first, then the other CJK fonts.
    font.setFamilies(QStringList{QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC"),
                                 QStringLiteral("Noto Sans CJK SC")});
  }
  font.setPixelSize(MulDiv(pointSize, 96, 72));
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics fm(font);
  const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(width / 26 + 1) / 2, fm.height()};
}

QRect DialogUnitsToPixels(const QRect& units, DialogBaseUnits base) {
  const int left = MulDiv(units.x(), base.cx, 4);
  const int top = MulDiv(units.y(), base.cy, 8);
  const int right = MulDiv(units.x() + units.width(), base.cx, 4);
  const int bottom = MulDiv(units.y() + units.height(), base.cy, 8);
  return QRect(left, top, right - left, bottom - top);
}

QSize DialogUnitsToPixels(const QSize& units, DialogBaseUnits base) {
  return {MulDiv(units.width(), base.cx, 4), MulDiv(units.height(), base.cy, 8)};
}
