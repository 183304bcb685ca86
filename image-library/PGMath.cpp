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
