#pragma once
// A flat push button that paints itself: a lamp icon at the left of its
// caption, face and caption in colours chosen by its state, a thin raised edge
// while the mouse is over it and a sunken one while it is pressed. The status
// monitor shows each printer condition on one of these.
//
// The look is decided by the free functions below, which need no widget; the
// control only gathers its state and paints what they say.

#include <QFontMetrics>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>

#include "Button.h"
#include "Color.h"
#include "Types.h"

class QColor;
class QPainter;
class QPointF;

// Results of the control's operations.
inline constexpr DWORD INDBTN_OK = 0;
inline constexpr DWORD INDBTN_BADSLOT = 3;

// Colour slots. "Hot" means hovered or pressed.
enum : BYTE {
  INDCLR_BK_HOT = 0,  // face while hot
  INDCLR_FG_HOT,      // caption while hot
  INDCLR_BK_NORMAL,   // face while neither hot nor focused
  INDCLR_FG_NORMAL,   // caption whenever not hot
  INDCLR_BK_FOCUS,    // face while focused and not hot
  INDCLR_FG_FOCUS,    // part of the slot interface callers may set; the caption does not change with focus
  INDCLR_COUNT
};

inline constexpr int kIndicatorIconSize = 32;  // the lamps' natural size, in logical pixels
inline constexpr int kIndicatorIconGap = 3;    // left of the icon, and between icon and caption

// How the caption is laid out and drawn: centred lines, wrapped at word
// boundaries, '&' marking the accelerator as on every push button.
inline constexpr int kIndicatorCaptionFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::TextShowMnemonic;

// Which colour slot fills the face.
BYTE IndicatorFaceSlot(bool hover, bool pressed, bool focused);
// Which colour slot the caption is drawn in.
BYTE IndicatorCaptionSlot(bool hot);
// Which of the two icons shows: the "in" icon while hot or when there is no "out" icon.
int IndicatorIconIndex(bool hot, bool hasOutIcon);

enum class IndicatorEdge { None, Raised, Sunken };
// The thin edge: sunken while pressed, raised while hovered, never when the border is off.
IndicatorEdge IndicatorEdgeFor(bool hover, bool pressed, bool showBorder);

// Whether the control is lit after the mouse moved (or entered) at a point.
// Dragging onto the control with the left button held does not light it, and
// an application in the background lights nothing.
bool IndicatorHoverAfterMove(bool hover, bool leftButtonHeld, bool overControl, bool applicationActive);

struct IndicatorIconPlacement {
  QRect icon;          // where the icon is drawn, at its own size
  QRect captionSpace;  // what is left for the caption
};
// With a caption the icon sits at the left and the caption gets the rest;
// alone it is centred. Centring truncates toward zero, so an icon larger than
// the control is offset equally up and down and clipped on both sides.
IndicatorIconPlacement PlaceIndicatorIcon(const QRect& item, const QSize& iconSize, bool hasCaption, bool pressed);

// The text block of the given size centred in the space (truncating), one
// pixel down and right while pressed.
QRect CentreCaptionBlock(const QRect& space, const QSize& block, bool pressed);
// The rectangle the caption is drawn in: measured word-wrapped to the space's
// width, then centred in it as a block.
QRect IndicatorCaptionRect(const QFontMetrics& metrics, const QRect& space, const QString& text, bool pressed);

class CIndicatorButton : public CButton {
public:
  CIndicatorButton();

  // Setting what the control already shows (the same lamps, colours or
  // border) repaints nothing, so a poll that changes nothing costs no paint.
  //
  // Lamp icons by resource id at their natural size; 0, or an id without an
  // icon, means none. With no "in" icon the control shows no icon at all.
  DWORD LoadIcons(UINT idIn, UINT idOut);
  // Null pixmaps mean none. A pixmap that is not null always has a size to
  // place it by, so this returns INDBTN_OK.
  DWORD AssignIcons(const QPixmap& in, const QPixmap& out);
  // Faces in the application's button colour, captions in its button text colour.
  DWORD ResetColors(BOOL repaint);
  // INDBTN_BADSLOT for a slot above 5, and nothing changes.
  DWORD SetStateColor(BYTE slot, COLORREF cr, BOOL repaint);
  DWORD ShowBorder(BOOL show, BOOL repaint);

  COLORREF GetStateColor(BYTE slot) const;  // 0 for a slot above 5
  // The id LoadIcons last showed as the "in" icon; 0 when there is none or
  // the icons came from AssignIcons.
  UINT IconIdIn() const { return m_nIconIdIn; }
  bool IsHover() const { return m_bHover != FALSE; }

  // Paints the control as it is now, pressed and focused as given, into any
  // painter: the widget's own paint, or an image.
  void Draw(QPainter& painter, const QRect& rect, bool pressed, bool focused) const;

protected:
  bool WindowProc(QEvent* event) override;
  void OnAttached() override;

private:
  void Repaint(BOOL repaint);
  void TrackHover(const QPointF& position, Qt::MouseButtons buttons);
  void EndHover();
  bool IsPressed() const;
  QString Caption() const;

  BOOL m_bHover = FALSE;
  BOOL m_bShowBorder = TRUE;
  std::array<COLORREF, INDCLR_COUNT> m_crState{};
  std::array<QPixmap, 2> m_icons;  // "in" (hot, or the only one), "out"
  UINT m_nIconIdIn = 0;
};
