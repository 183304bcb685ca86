// The screen's colour depth as the picture paths see it: 24 bits unless the environment variable
// LAB_SCREEN_BITS or a test says otherwise, so the palette, reduction and dithering paths for 8-bit and
// 4-bit screens can run on any display.
#pragma once

#include <QObject>

class TScreenCaps : public QObject {
    Q_OBJECT

public:
    static TScreenCaps& Instance();

    // Bits per pixel times colour planes, as the viewer compares it with a picture's bit count.
    int BitsPerPixel() const { return Bits; }
    // Accepts 1, 4, 8, 15, 16, 24 and 32 (anything else is ignored); a change emits DisplayChanged, which
    // every viewer takes as its display-change message. GUI thread only.
    void SetBitsPerPixel(int Value);

signals:
    void DisplayChanged();

private:
    TScreenCaps();
    int Bits = 24;
};

inline int ScreenBitsPerPixel() {
    return TScreenCaps::Instance().BitsPerPixel();
}
