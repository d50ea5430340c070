#pragma once
// A paint that reaches the screen in one block. Over a widget's painter it
// hands out a painter on a buffer the size of the area being repainted, in
// the screen's device pixels, and copies the buffer to the widget once when it
// goes out of scope, so the technician never sees a half-drawn control. Over
// any other target (an image, a printer) the drawing goes straight through.
//
// Drawing uses the target's own (logical) coordinates either way.

#include <QPainter>
#include <QPixmap>
#include <QRect>

#include "Types.h"

class COffscreenDC {
public:
  // area: what the paint covers, in the target's coordinates (the paint
  // event's rectangle for a widget).
  COffscreenDC(QPainter& target, const QRect& area);
  ~COffscreenDC();
  COffscreenDC(const COffscreenDC&) = delete;
  COffscreenDC& operator=(const COffscreenDC&) = delete;

  // Where to draw: the buffer's painter, or the target's when drawing goes
  // straight through.
  QPainter& Painter() { return m_bOffscreen ? m_memDC : *m_pTargetDC; }
  bool IsOffscreen() const { return m_bOffscreen != FALSE; }

private:
  QPixmap m_bitmap;
  QPainter m_memDC;
  QPainter* m_pTargetDC;
  QRect m_rcArea;
  BOOL m_bOffscreen = FALSE;
};
