#include "TextProgressCtrl.h"

#include <QApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>

#include "Gbk.h"
#include "OffscreenDC.h"

double ProgressFraction(int position, int lower, int upper) {
  // Differences of ints taken in double, so a range as wide as int cannot overflow.
  return (static_cast<double>(position) - lower) / (static_cast<double>(upper) - lower);
}

int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  const double t = std::trunc(value);
  if (t <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  if (t >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(t);
}

int ProgressFilledWidth(double fraction, int clientWidth) { return TruncateToInt(fraction * clientWidth); }

int ProgressBarEnd(const QRect& client, double fraction) {
  const int width = std::max(0, client.width());
  return client.left() + std::clamp(ProgressFilledWidth(fraction, width), 0, width);
}

QString ProgressPercentText(double fraction) {
  return QString::number(TruncateToInt(fraction * 100.0)) + QLatin1Char('%');
}

QString ProgressText(const QString& caption, double fraction) {
  return caption.isEmpty() ? ProgressPercentText(fraction) : caption;
}

bool SetPosRepaints(int filledWidth, int drawnWidth) { return filledWidth != drawnWidth; }

CTextProgressCtrl::CTextProgressCtrl() {
  const QPalette palette = QApplication::palette();
  const COLORREF highlight = ColorRefOf(palette.color(QPalette::Highlight));
  const COLORREF base = ColorRefOf(palette.color(QPalette::Base));
  m_crBar = highlight;
  m_crBackground = base;
  m_crTextOnBackground = highlight;
  m_crTextOnBar = base;
}

void CTextProgressCtrl::SetRange(int lower, int upper) {
  m_nLower = lower;
  m_nUpper = upper;
}

int CTextProgressCtrl::SetPos(int position) {
  QWidget* widget = GetSafeHwnd();
  if (!widget) return -1;
  const int old = m_nPosition;
  m_nPosition = position;
  const int width = ProgressFilledWidth(ProgressFraction(position, m_nLower, m_nUpper), widget->width());
  if (!widget->isVisible()) {
    // Nothing is drawn while the bar is hidden, so the first position after
    // it shows (the sweep's first host) paints it at once.
    m_nDrawnWidth = -1;
  } else if (SetPosRepaints(width, m_nDrawnWidth)) {
    m_nDrawnWidth = width;
    widget->repaint();
  }
  return old;
}

void CTextProgressCtrl::SetWindowText(const CString& text) {
  CWnd::SetWindowText(text);
  if (text == m_strCaption) return;
  m_strCaption = text;
  if (QWidget* widget = GetSafeHwnd()) widget->update();
}

CString CTextProgressCtrl::GetWindowText() const { return m_strCaption; }

void CTextProgressCtrl::Draw(QPainter& painter, const QRect& rect) const {
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  // An empty range has no fraction to show: an empty bar rather than a stale
  // picture or the platform's own bar.
  if (m_nLower >= m_nUpper) {
    painter.fillRect(rect, ColorFromRef(m_crBackground));
    painter.restore();
    return;
  }

  const double fraction = ProgressFraction(m_nPosition, m_nLower, m_nUpper);
  const int end = ProgressBarEnd(rect, fraction);
  const QRect filled(QPoint(rect.left(), rect.top()), QPoint(end - 1, rect.bottom()));
  const QRect empty(QPoint(end, rect.top()), rect.bottomRight());
  painter.fillRect(filled, ColorFromRef(m_crBar));
  painter.fillRect(empty, ColorFromRef(m_crBackground));

  if (const QWidget* widget = GetSafeHwnd()) painter.setFont(widget->font());
  const QString text = ProgressText(FromGbk(m_strCaption), fraction);
  // The same text in the same place twice, so a glyph cut by the bar's end
  // shows its left part in one colour and its right part in the other.
  const auto drawClipped = [&](const QRect& part, COLORREF colour) {
    painter.save();
    painter.setClipRect(part, Qt::IntersectClip);
    painter.setPen(ColorFromRef(colour));
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
  };
  drawClipped(filled, m_crTextOnBar);
  drawClipped(empty, m_crTextOnBackground);
  painter.restore();
}

void CTextProgressCtrl::OnAttached() {
  // Bar and background cover every pixel, so nothing is erased first.
  GetSafeHwnd()->setAttribute(Qt::WA_OpaquePaintEvent);
  GetSafeHwnd()->update();
}

bool CTextProgressCtrl::WindowProc(QEvent* event) {
  QWidget* widget = GetSafeHwnd();
  switch (event->type()) {
    case QEvent::Paint: {
      QPainter painter(widget);
      COffscreenDC dc(painter, static_cast<QPaintEvent*>(event)->rect());
      Draw(dc.Painter(), widget->rect());
      return true;
    }
    case QEvent::Resize:
      // The width SetPos last drew no longer says what is on the screen.
      m_nDrawnWidth = -1;
      return false;
    default: return false;
  }
}
