// TColor keeps the system's $00BBGGRR order (red in the low byte); Qt's QRgb is 0xAARRGGBB.
// Convert between them only here.
#pragma once

#include <QColor>
#include <cstdint>

using TColor = uint32_t;

constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
    return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr uint8_t GetRValue(TColor c) { return uint8_t(c); }
constexpr uint8_t GetGValue(TColor c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(TColor c) { return uint8_t(c >> 16); }

constexpr QRgb ColorToQRgb(TColor c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }
constexpr TColor QRgbToColor(QRgb q) { return RGB(uint8_t(qRed(q)), uint8_t(qGreen(q)), uint8_t(qBlue(q))); }

constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);
