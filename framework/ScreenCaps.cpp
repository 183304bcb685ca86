// The screen depth seam.
#include "framework/ScreenCaps.h"

#include <algorithm>
#include <array>

namespace {

bool ValidDepth(int Bits) {
    static constexpr std::array depths{1, 4, 8, 15, 16, 24, 32};
    return std::find(depths.begin(), depths.end(), Bits) != depths.end();
}

} // namespace

TScreenCaps::TScreenCaps() {
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("LAB_SCREEN_BITS", &ok);
    if (ok && ValidDepth(fromEnvironment))
        Bits = fromEnvironment;
}

TScreenCaps& TScreenCaps::Instance() {
    static TScreenCaps instance;
    return instance;
}

void TScreenCaps::SetBitsPerPixel(int Value) {
    if (!ValidDepth(Value) || Value == Bits)
        return;
    Bits = Value;
    emit DisplayChanged();
}
