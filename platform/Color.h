#pragma once
// Colour references as the controls store them: 0x00BBGGRR.

#include <cstdint>

#include "Types.h"

class QColor;

using COLORREF = std::uint32_t;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

QColor ColorFromRef(COLORREF cr);
COLORREF ColorRefOf(const QColor& colour);
