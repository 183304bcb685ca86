// The library's small numeric toolkit: integer ceiling and floor, power, minimum and maximum, the
// point-in-rectangle test, colour intensity, the YCbCr pair and the clamp table of colour arithmetic.
#pragma once

#include "framework/Colors.h"
#include "framework/Geometry.h"

#include <array>
#include <cstdint>

int PGCeil(long double X);
int PGFloor(long double X);
// Raises EPixelGraphic "Invalid Argument" for a negative base, unless the exponent is 0 or the base 0 or 1.
long double PGPower(long double Base, long double Exponent);
inline int PGMax(int A, int B) {
    return A > B ? A : B;
}
inline int PGMin(int A, int B) {
    return A < B ? A : B;
}
// Right and bottom edges are outside, as everywhere in the system.
bool PointInRect(const TPoint& P, const TRect& R);

// Red + green + blue, or the weighted sum scaled to the same 0..765.
constexpr int ColorIntensity(TColor Color, bool Weighted) {
    const int r = GetRValue(Color), g = GetGValue(Color), b = GetBValue(Color);
    return Weighted ? 3 * (299 * r + 587 * g + 114 * b) / 1000 : r + g + b;
}

// Three-digit coefficients on any scale, unclamped; the filters rely on exactly these values. The products
// each component contributes are given apart, so that a table of them gives the very same sums:
// Y = (red.Y + green.Y) + blue.Y, Cb = (red.Cb - green.Cb) + blue.Cb, Cr = (red.Cr - green.Cr) - blue.Cr.
struct TYCbCrTerms {
    long double Y, Cb, Cr;
};
inline TYCbCrTerms RedTerms(long double R) {
    return {0.299L * R, -0.169L * R, 0.5L * R};
}
inline TYCbCrTerms GreenTerms(long double G) {
    return {0.587L * G, 0.331L * G, 0.419L * G};
}
inline TYCbCrTerms BlueTerms(long double B) {
    return {0.114L * B, 0.5L * B, 0.081L * B};
}
inline void YCbCrFromTerms(const TYCbCrTerms& Red, const TYCbCrTerms& Green, const TYCbCrTerms& Blue,
                           long double& Y, long double& Cb, long double& Cr) {
    Y = Red.Y + Green.Y + Blue.Y;
    Cb = Red.Cb - Green.Cb + Blue.Cb;
    Cr = Red.Cr - Green.Cr - Blue.Cr;
}
inline void RGBToYCbCr(long double R, long double G, long double B, long double& Y, long double& Cb,
                       long double& Cr) {
    YCbCrFromTerms(RedTerms(R), GreenTerms(G), BlueTerms(B), Y, Cb, Cr);
}
inline void YCbCrToRGB(long double Y, long double Cb, long double Cr, long double& R, long double& G,
                       long double& B) {
    R = Y + 1.403L * Cr;
    G = Y - 0.344L * Cb - 0.714L * Cr;
    B = Y + 1.773L * Cb;
}

// Limits a colour component plus an offset in -510..510 to 0..255. Built by the compiler, so it is ready
// before any code runs and shared by every thread.
class TPGClampTable {
public:
    constexpr TPGClampTable() {
        for (int i = -Reach; i <= Reach; ++i)
            Entries[size_t(i + Reach)] = i < 0 ? 0 : i > 255 ? 255 : i;
    }
    constexpr int32_t operator[](int Index) const { return Entries[size_t(Index + Reach)]; }

    static constexpr int Reach = 510;

private:
    std::array<int32_t, 2 * Reach + 1> Entries{};
};

inline constexpr TPGClampTable PGClampTable;
