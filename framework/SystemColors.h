// Colours that name a part of the desktop's colour scheme rather than a fixed colour. They are TColor values
// with the high bit set; ColorToRGB resolves them through the application palette, the only place that does.
#pragma once

#include "framework/Colors.h"

constexpr TColor clSystemColor = 0x80000000u;

constexpr TColor clBtnFace = clSystemColor | 0x0F;
constexpr TColor clBtnShadow = clSystemColor | 0x10;
constexpr TColor clBtnHighlight = clSystemColor | 0x14;
constexpr TColor clWindowFrame = clSystemColor | 0x06;

// The plain $00BBGGRR colour that Color stands for now; plain colours come back unchanged.
TColor ColorToRGB(TColor Color);
QColor ColorToQColor(TColor Color);
