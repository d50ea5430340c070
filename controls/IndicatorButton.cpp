#include "IndicatorButton.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <map>
#include <utility>

#include "Resources.h"

BYTE IndicatorFaceSlot(bool hover, bool pressed, bool focused) {
  if (hover || pressed) return INDCLR_BK_HOT;
  return focused ? INDCLR_BK_FOCUS : INDCLR_BK_NORMAL;
}

BYTE IndicatorCaptionSlot(bool hot) { return hot ? INDCLR_FG_HOT : INDCLR_FG_NORMAL; }

int IndicatorIconIndex(bool hot, bool hasOutIcon) { return !hot && hasOutIcon ? 1 : 0; }

IndicatorEdge IndicatorEdgeFor(bool hover, bool pressed, bool showBorder) {
  if (!showBorder) return IndicatorEdge::None;
  if (pressed) return IndicatorEdge::Sunken;
  return hover ? IndicatorEdge::Raised : IndicatorEdge::None;
}

bool IndicatorHoverAfterMove(bool hover, bool leftButtonHeld, bool overControl, bool applicationActive) {
  if (leftButtonHeld && !hover) return false;
  return overControl && applicationActive;
}

IndicatorIconPlacement PlaceIndicatorIcon(const QRect& item, const QSize& iconSize, bool hasCaption, bool pressed) {
  IndicatorIconPlacement placement{item, item};
  QPoint topLeft = item.topLeft();
  // Integer division truncates toward zero on both sides of the control.
  topLeft.ry() += (item.height() - iconSize.height()) / 2;
  if (hasCaption) {
    topLeft.rx() += kIndicatorIconGap;
    placement.captionSpace.setLeft(item.left() + iconSize.width() + kIndicatorIconGap);
  } else {
    topLeft.rx() += (item.width() - iconSize.width()) / 2;
  }
  if (pressed) topLeft += QPoint(1, 1);
  placement.icon = QRect(topLeft, iconSize);
  return placement;
}

QRect CentreCaptionBlock(const QRect& space, const QSize& block, bool pressed) {
  const QRect room = pressed ? space.translated(1, 1) : space;
  return QRect(room.topLeft(), block)
      .translated((room.width() - block.width()) / 2, (room.height() - block.height()) / 2);
}

QRect IndicatorCaptionRect(const QFontMetrics& metrics, const QRect& space, const QString& text, bool pressed) {
  // Only the block's size counts: where Qt would put it inside the space is
  // decided here, the same way for one line and for several.
  const QSize block = metrics.boundingRect(space, kIndicatorCaptionFlags, text).size();
  return CentreCaptionBlock(space, block, pressed);
}

namespace {

// A one-pixel edge: top and left lines in one colour, bottom and right in the
// other, which owns the two corners where they meet.
void DrawEdge(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
  painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
  painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
  painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

QSize LogicalSize(const QPixmap& pixmap) { return pixmap.deviceIndependentSize().toSize(); }

// A lamp drawn for the device pixels it will cover, so it stays sharp on a
// scaled screen and still measures its natural size in logical pixels. Each
// lamp is drawn once per screen scale: a poll that shows the same lamp again
// gets the same pixmap, which AssignIcons recognises.
QPixmap LampPixmap(UINT id, qreal dpr) {
  if (id == 0) return {};
  static std::map<std::pair<UINT, qreal>, QPixmap> drawn;
  const auto key = std::make_pair(id, dpr);
  if (const auto it = drawn.find(key); it != drawn.end()) return it->second;
  QPixmap pixmap = res::IconPixmap(static_cast<int>(id), qRound(kIndicatorIconSize * dpr));
  if (!pixmap.isNull()) pixmap.setDevicePixelRatio(dpr);
  drawn.emplace(key, pixmap);
  return pixmap;
}

bool SamePixmap(const QPixmap& a, const QPixmap& b) { return a.cacheKey() == b.cacheKey(); }

}  // namespace

CIndicatorButton::CIndicatorButton() { ResetColors(FALSE); }

DWORD CIndicatorButton::LoadIcons(UINT idIn, UINT idOut) {
  const QWidget* widget = GetSafeHwnd();
  const qreal dpr = widget ? widget->devicePixelRatioF() : qApp->devicePixelRatio();
  const QPixmap in = LampPixmap(idIn, dpr);
  const DWORD result = AssignIcons(in, LampPixmap(idOut, dpr));
  m_nIconIdIn = in.isNull() ? 0 : idIn;
  return result;
}

DWORD CIndicatorButton::AssignIcons(const QPixmap& in, const QPixmap& out) {
  m_nIconIdIn = 0;
  // Without an "in" icon there is nothing to show while hot, so the control
  // shows no icon at all rather than one that vanishes under the mouse.
  std::array<QPixmap, 2> icons;
  if (!in.isNull()) icons = {in, out};
  if (SamePixmap(icons[0], m_icons[0]) && SamePixmap(icons[1], m_icons[1])) return INDBTN_OK;
  m_icons = icons;
  Repaint(TRUE);
  return INDBTN_OK;
}

DWORD CIndicatorButton::ResetColors(BOOL repaint) {
  const QPalette palette = QApplication::palette();
  const COLORREF face = ColorRefOf(palette.color(QPalette::Button));
  const COLORREF text = ColorRefOf(palette.color(QPalette::ButtonText));
  std::array<COLORREF, INDCLR_COUNT> colours{};
  for (BYTE slot = 0; slot < INDCLR_COUNT; ++slot) colours[slot] = slot % 2 == 0 ? face : text;
  if (colours == m_crState) return INDBTN_OK;
  m_crState = colours;
  Repaint(repaint);
  return INDBTN_OK;
}

DWORD CIndicatorButton::SetStateColor(BYTE slot, COLORREF cr, BOOL repaint) {
  if (slot >= INDCLR_COUNT) return INDBTN_BADSLOT;
  if (m_crState[slot] == cr) return INDBTN_OK;
  m_crState[slot] = cr;
  Repaint(repaint);
  return INDBTN_OK;
}

DWORD CIndicatorButton::ShowBorder(BOOL show, BOOL repaint) {
  if ((show != FALSE) == (m_bShowBorder != FALSE)) return INDBTN_OK;
  m_bShowBorder = show ? TRUE : FALSE;
  Repaint(repaint);
  return INDBTN_OK;
}

COLORREF CIndicatorButton::GetStateColor(BYTE slot) const { return slot < INDCLR_COUNT ? m_crState[slot] : 0; }

bool CIndicatorButton::IsPressed() const {
  const auto* button = qobject_cast<const QAbstractButton*>(GetSafeHwnd());
  return button && button->isDown();
}

QString CIndicatorButton::Caption() const { return GetSafeHwnd() ? WidgetText(GetSafeHwnd()) : QString(); }

void CIndicatorButton::Draw(QPainter& painter, const QRect& rect, bool pressed, bool focused) const {
  const QWidget* widget = GetSafeHwnd();
  const bool hover = m_bHover != FALSE;
  const bool hot = hover || pressed;

  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  painter.fillRect(rect, ColorFromRef(m_crState[IndicatorFaceSlot(hover, pressed, focused)]));

  const QPalette palette = widget ? widget->palette() : QApplication::palette();
  switch (IndicatorEdgeFor(hover, pressed, m_bShowBorder != FALSE)) {
    case IndicatorEdge::Raised:
      DrawEdge(painter, rect, palette.color(QPalette::Light), palette.color(QPalette::Dark));
      break;
    case IndicatorEdge::Sunken:
      DrawEdge(painter, rect, palette.color(QPalette::Dark), palette.color(QPalette::Light));
      break;
    case IndicatorEdge::None: break;
  }

  const QString caption = Caption();
  QRect captionSpace = rect;
  if (!m_icons[0].isNull()) {
    const QPixmap& icon = m_icons[IndicatorIconIndex(hot, !m_icons[1].isNull())];
    const IndicatorIconPlacement placement = PlaceIndicatorIcon(rect, LogicalSize(icon), !caption.isEmpty(), pressed);
    painter.drawPixmap(placement.icon.topLeft(), icon);
    captionSpace = placement.captionSpace;
  }

  if (!caption.isEmpty()) {
    if (widget) painter.setFont(widget->font());
    const QRect captionRect = IndicatorCaptionRect(painter.fontMetrics(), captionSpace, caption, pressed);
    painter.setPen(ColorFromRef(m_crState[IndicatorCaptionSlot(hot)]));
    painter.drawText(captionRect, kIndicatorCaptionFlags, caption);
  }
  painter.restore();
}

void CIndicatorButton::OnAttached() {
  QWidget* widget = GetSafeHwnd();
  // Moves are needed without a button held, to light the control under the mouse.
  widget->setMouseTracking(true);
  // The face covers every pixel, so nothing behind it needs painting first.
  widget->setAttribute(Qt::WA_OpaquePaintEvent);
  widget->update();
}

void CIndicatorButton::Repaint(BOOL repaint) {
  if (repaint && GetSafeHwnd()) GetSafeHwnd()->update();
}

void CIndicatorButton::TrackHover(const QPointF& position, Qt::MouseButtons buttons) {
  const bool over = GetSafeHwnd()->rect().contains(position.toPoint());
  const bool active = QApplication::activeWindow() != nullptr;
  const bool hover = IndicatorHoverAfterMove(m_bHover != FALSE, buttons.testFlag(Qt::LeftButton), over, active);
  if (hover == (m_bHover != FALSE)) return;
  m_bHover = hover ? TRUE : FALSE;
  Repaint(TRUE);
}

void CIndicatorButton::EndHover() {
  if (!m_bHover) return;
  m_bHover = FALSE;
  Repaint(TRUE);
}

bool CIndicatorButton::WindowProc(QEvent* event) {
  QWidget* widget = GetSafeHwnd();
  switch (event->type()) {
    case QEvent::Paint: {
      QPainter painter(widget);
      Draw(painter, widget->rect(), IsPressed(), widget->hasFocus());
      return true;
    }
    case QEvent::Enter:
      TrackHover(static_cast<QEnterEvent*>(event)->position(), QGuiApplication::mouseButtons());
      return false;
    case QEvent::MouseMove: {
      const auto* move = static_cast<QMouseEvent*>(event);
      TrackHover(move->position(), move->buttons());
      return false;
    }
    case QEvent::Leave:
    case QEvent::FocusOut:
    case QEvent::WindowDeactivate:
    case QEvent::Hide: EndHover(); return false;
    case QEvent::MouseButtonDblClick: {
      // The second click of a double click is a click like the first. Some
      // platforms send a press before the double click and some do not; the
      // button is pressed once either way.
      const auto* dbl = static_cast<QMouseEvent*>(event);
      if (dbl->button() != Qt::LeftButton) return false;
      if (!IsPressed()) {
        QMouseEvent press(QEvent::MouseButtonPress, dbl->position(), dbl->scenePosition(), dbl->globalPosition(),
                          dbl->button(), dbl->buttons(), dbl->modifiers(), dbl->pointingDevice());
        QCoreApplication::sendEvent(widget, &press);
      }
      return true;
    }
    default: return false;
  }
}
