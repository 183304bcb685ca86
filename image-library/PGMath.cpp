// The numeric helpers that are not small enough to live in the header.
#include "image-library/PGMath.h"

#include "framework/Rounding.h"
#include "image-library/PGExceptions.h"

#include <cmath>

int PGCeil(long double X) {
    const int64_t t = Trunc(X);
    return int(X - t > 0 ? t + 1 : t);
}

int PGFloor(long double X) {
    const int64_t t = Trunc(X);
    return int(X - t < 0 ? t - 1 : t);
}

long double PGPower(long double Base, long double Exponent) {
    if (Exponent == 0)
        return 1;
    if (Base == 0)
        return 0;
    if (Base == 1)
        return 1;
    if (Base < 0)
        throw EPixelGraphic(QStringLiteral("Invalid Argument"));
    return std::exp(Exponent * std::log(Base));
}

bool PointInRect(const TPoint& P, const TRect& R) {
    return R.Left <= P.X && P.X < R.Right && R.Top <= P.Y && P.Y < R.Bottom;
}

void RGBToYCbCr(long double R, long double G, long double B, long double& Y, long double& Cb,
                long double& Cr) {
    Y = 0.299L * R + 0.587L * G + 0.114L * B;
    Cb = -0.169L * R - 0.331L * G + 0.5L * B;
    Cr = 0.5L * R - 0.419L * G - 0.081L * B;
}

void YCbCrToRGB(long double Y, long double Cb, long double Cr, long double& R, long double& G,
                long double& B) {
    R = Y + 1.403L * Cr;
    G = Y - 0.344L * Cb - 0.714L * Cr;
    B = Y + 1.773L * Cb;
}
