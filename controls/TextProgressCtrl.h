#pragma once
// A progress bar that paints itself: a filled part and an empty part, and
// over both one centred line of text, the program's caption or the percentage
// done. The text is drawn twice in the same place, clipped once to each part,
// so it shows in a contrasting colour on either side of the bar's end.
//
// The bar keeps its own position and range; the progress bar widget under it
// is only its window and is never told the position. Because the subnet
// sweep keeps the user-interface thread busy, SetPos repaints at once, but
// only when the filled part changes by a whole pixel.
//
// The arithmetic is in the free functions below, which need no widget.

#include <QRect>
#include <QString>

#include "Color.h"
#include "ProgressCtrl.h"
#include "Types.h"

class QPainter;

// How far the position has come from lower toward upper, in double precision.
// Not limited to 0..1: below the range it is negative, past it above one. An
// empty range gives an infinity or NaN, which the functions below survive.
double ProgressFraction(int position, int lower, int upper);

// Truncates toward zero like a cast, but saturates at the ends of int and
// gives 0 for NaN, where a plain cast would be undefined.
int TruncateToInt(double value);

// Whole pixels of a bar of the given width that the fraction fills. Not
// limited to the bar: SetPos compares it with the width it last drew.
int ProgressFilledWidth(double fraction, int clientWidth);

// Where the filled part ends in the client rectangle (the first x of the
// empty part), kept inside it: past the range the bar is full, below it empty.
int ProgressBarEnd(const QRect& client, double fraction);

// "50%": the truncated percentage, so 29 of 0..100 reads 28% (0.29 * 100 is
// just under 29 in double precision), as the bar has always shown it.
QString ProgressPercentText(double fraction);

// The text over the bar: the caption, or the percentage when there is none.
QString ProgressText(const QString& caption, double fraction);

// Whether SetPos repaints: only when the filled width differs from the one
// last drawn (-1: none drawn yet, so the next SetPos always repaints).
bool SetPosRepaints(int filledWidth, int drawnWidth);

class CTextProgressCtrl : public CProgressCtrl {
public:
  // Colours from the application's palette, read once here.
  CTextProgressCtrl();

  // Stores the range only; the bar shows it at its next repaint.
  void SetRange(int lower, int upper) override;
  // Stores the position and repaints at once if the filled width changed.
  // Returns the previous position, or -1 without a window (nothing stored).
  int SetPos(int position) override;

  // The caption (GBK) shown instead of the percentage; empty for none. The
  // window's own text is kept as well but never shown or read back. A changed
  // caption shows at the next paint; the same caption again repaints nothing.
  void SetWindowText(const CString& text) override;
  CString GetWindowText() const override;

  // Paints the bar as it is now into any painter: the widget's own paint, or
  // an image. With an empty range (lower >= upper) it paints the empty bar
  // without text.
  void Draw(QPainter& painter, const QRect& rect) const;

protected:
  bool WindowProc(QEvent* event) override;
  void OnAttached() override;

private:
  int m_nPosition = 0;
  int m_nUpper = 100;
  int m_nLower = 0;
  CString m_strCaption;
  int m_nDrawnWidth = -1;  // filled width at the last repaint SetPos made
  COLORREF m_crBar;
  COLORREF m_crBackground;
  COLORREF m_crTextOnBackground;
  COLORREF m_crTextOnBar;
};
