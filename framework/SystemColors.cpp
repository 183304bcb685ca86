// Resolution of the tagged desktop colours through the application palette.
#include "framework/SystemColors.h"

#include <QGuiApplication>
#include <QPalette>

TColor ColorToRGB(TColor Color) {
    if (!(Color & clSystemColor))
        return Color & 0xFFFFFF;
    QPalette::ColorRole role;
    switch (Color) {
    case clBtnFace:
        role = QPalette::Button;
        break;
    case clBtnShadow:
        role = QPalette::Dark;
        break;
    case clBtnHighlight:
        role = QPalette::Light;
        break;
    case clWindowFrame:
        role = QPalette::Shadow;
        break;
    default:
        return clBlack; // an unknown scheme entry: black, as the desktop answers for one
    }
    return QRgbToColor(QGuiApplication::palette().color(role).rgb());
}

QColor ColorToQColor(TColor Color) {
    return QColor(ColorToQRgb(ColorToRGB(Color)));
}
