#pragma once
// Dialog templates measure in dialog units: a quarter of the dialog font's
// average character width across, an eighth of its character height down.

#include <QFont>
#include <QRect>

struct DialogBaseUnits {
  int cx = 0;  // average character width in pixels
  int cy = 0;  // character height in pixels
};

// The font a template names, on this machine: "宋体" becomes a Song-style CJK
// font, "Microsoft Sans Serif" a sans font of the same proportions. Sized in
// pixels as at 96 dots per inch, so the layout does not depend on the
// screen's reported resolution.
QFont DialogFont(const char* face, int pointSize);

// Average width of the 52 Latin letters, rounded, and the font's height.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// Dialog units to pixels, rounding to nearest as the dialog manager does.
QRect DialogUnitsToPixels(const QRect& units, DialogBaseUnits base);
QSize DialogUnitsToPixels(const QSize& units, DialogBaseUnits base);
