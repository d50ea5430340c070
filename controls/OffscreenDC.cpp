#include "OffscreenDC.h"

#include <QPaintDevice>

COffscreenDC::COffscreenDC(QPainter& target, const QRect& area) : m_pTargetDC(&target), m_rcArea(area) {
  QPaintDevice* device = target.device();
  // Only a widget's paint shows its steps on the screen; images and printers
  // show the result alone.
  if (!device || device->devType() != QInternal::Widget || area.isEmpty()) return;

  const qreal dpr = device->devicePixelRatioF();
  m_bitmap = QPixmap(area.size() * dpr);
  m_bitmap.setDevicePixelRatio(dpr);
  // What the caller leaves unpainted leaves the widget as it was.
  m_bitmap.fill(Qt::transparent);
  if (!m_memDC.begin(&m_bitmap)) return;
  m_memDC.setFont(target.font());
  m_memDC.setRenderHints(target.renderHints());
  m_memDC.translate(-area.topLeft());
  m_bOffscreen = TRUE;
}

COffscreenDC::~COffscreenDC() {
  if (!m_bOffscreen) return;
  m_memDC.end();
  m_pTargetDC->drawPixmap(m_rcArea.topLeft(), m_bitmap);
}
