// The program's icons, drawn for the size asked for: the application icon
// (a receipt printer with its paper strip) and the three indicator lamps.

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "Resources.h"

namespace res {
namespace {

// Application icon
constexpr QColor kBodyLight{0x5B, 0x65, 0x73};
constexpr QColor kBodyDark{0x2C, 0x32, 0x3B};
constexpr QColor kBodyOutline{0x1A, 0x1E, 0x24};
constexpr QColor kSlot{0x10, 0x12, 0x16};
constexpr QColor kPaper{0xFF, 0xFF, 0xFF};
constexpr QColor kPaperEdge{0x8C, 0x94, 0x9E};
constexpr QColor kPrintedLine{0x3C, 0x44, 0x50};
constexpr QColor kPowerLed{0x3D, 0xDC, 0x4A};

struct LampColours {
  QColor light;  // the lit spot near the top left
  QColor base;   // the lamp's own colour, also at its centre
  QColor dark;   // the shaded edge
  QColor rim;
};

constexpr LampColours kRedLamp{{0xFF, 0x9A, 0x8F}, {0xE0, 0x26, 0x1B}, {0x9E, 0x10, 0x0A}, {0x5E, 0x08, 0x05}};
constexpr LampColours kGreenLamp{{0xA8, 0xF5, 0x9C}, {0x2E, 0xB8, 0x2A}, {0x17, 0x7A, 0x18}, {0x0B, 0x45, 0x0D}};
constexpr LampColours kGreyLamp{{0xEE, 0xEE, 0xEE}, {0xA6, 0xA6, 0xA6}, {0x72, 0x72, 0x72}, {0x48, 0x48, 0x48}};
constexpr QColor kHighlight{0xFF, 0xFF, 0xFF, 0xB4};

// The printer is laid out on a 32 x 32 grid and scaled to the size asked for;
// below 24 pixels the paper's torn edge and all but one printed line are left
// out, which would only blur at that size.
void DrawPrinter(QPainter& painter, int size) {
  const qreal unit = size / 32.0;
  const bool detailed = size >= 24;
  painter.scale(unit, unit);

  // Paper strip coming out of the top of the printer.
  QPainterPath paper;
  if (detailed) {
    paper.moveTo(9, 16);
    paper.lineTo(9, 3);
    for (int i = 0; i < 7; ++i) {  // torn edge
      paper.lineTo(10 + 2 * i, i % 2 == 0 ? 1.5 : 3);
    }
    paper.lineTo(23, 3);
    paper.lineTo(23, 16);
    paper.closeSubpath();
  } else {
    paper.addRect(QRectF(8, 1, 16, 15));
  }
  painter.setPen(QPen(kPaperEdge, detailed ? 1.0 : 1.6));
  painter.setBrush(kPaper);
  painter.drawPath(paper);
  if (detailed) {
    painter.setPen(QPen(kPrintedLine, 1.4, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(12, 6.5), QPointF(20, 6.5));
    painter.drawLine(QPointF(12, 9.5), QPointF(18, 9.5));
    painter.drawLine(QPointF(12, 12.5), QPointF(20, 12.5));
  } else {
    painter.setPen(QPen(kPrintedLine, 2.0, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(12, 7), QPointF(20, 7));
  }

  // Body.
  const QRectF body(2.5, 14.5, 27, 14);
  QLinearGradient shade(body.topLeft(), body.bottomLeft());
  shade.setColorAt(0, kBodyLight);
  shade.setColorAt(1, kBodyDark);
  painter.setPen(QPen(kBodyOutline, detailed ? 1.0 : 1.6));
  painter.setBrush(shade);
  painter.drawRoundedRect(body, 3, 3);

  // Paper exit slot, drawn over the foot of the strip.
  painter.setPen(Qt::NoPen);
  painter.setBrush(kSlot);
  painter.drawRoundedRect(QRectF(6, 16, 20, 2.5), 1, 1);

  // Power lamp on the front.
  painter.setBrush(kPowerLed);
  painter.drawEllipse(QPointF(24, 24), detailed ? 1.8 : 2.4, detailed ? 1.8 : 2.4);
}

// A round lamp filling most of the square: a radial gradient lit from the
// top left, a darker rim and a small highlight.
void DrawLamp(QPainter& painter, int size, const LampColours& colours) {
  const qreal s = size;
  const QPointF centre(s / 2, s / 2);
  const qreal rimWidth = qMax(1.0, s / 16);
  const qreal radius = s * 0.46 - rimWidth / 2;

  QRadialGradient glow(centre, radius, centre - QPointF(radius * 0.35, radius * 0.35));
  glow.setColorAt(0.0, colours.light);
  glow.setColorAt(0.45, colours.base);
  glow.setColorAt(1.0, colours.dark);
  painter.setPen(QPen(colours.rim, rimWidth));
  painter.setBrush(glow);
  painter.drawEllipse(centre, radius, radius);

  painter.setPen(Qt::NoPen);
  painter.setBrush(kHighlight);
  painter.drawEllipse(centre - QPointF(radius * 0.38, radius * 0.42), radius * 0.26, radius * 0.17);
}

}  // namespace

QIcon IconSet(int id) {
  QIcon icon;
  for (int size : {16, 32}) {
    const QPixmap pixmap = IconPixmap(id, size);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap IconPixmap(int id, int size) {
  const LampColours* lamp = nullptr;
  switch (id) {
    case IDR_MAINFRAME: break;
    case IDI_STATE_BAD: lamp = &kRedLamp; break;
    case IDI_STATE_GOOD: lamp = &kGreenLamp; break;
    case IDI_STATE_IDLE: lamp = &kGreyLamp; break;
    default: return {};
  }
  if (size <= 0) return {};

  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  if (lamp != nullptr) {
    DrawLamp(painter, size, *lamp);
  } else {
    DrawPrinter(painter, size);
  }
  return pixmap;
}

}  // namespace res
