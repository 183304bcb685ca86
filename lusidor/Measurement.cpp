// Threshold, region growing, sums, histogram and profile points over a picture's low bytes.
#include "Measurement.h"

#include "framework/Rounding.h"
#include "image-library/PGraphic.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

uint8_t PixelValue(const TPixelGraphic& Picture, int64_t X, int64_t Y) {
    if (X < INT_MIN || X > INT_MAX || Y < INT_MIN || Y > INT_MAX)
        return uint8_t(Picture.GetBackGroundColor());
    return uint8_t(Picture.GetPixelColor(int(X), int(Y)));
}

int32_t AutoThreshold(const TPixelGraphic& Picture, int64_t Column, int64_t Row) {
    // 27 rows from Row - 12 to Row + 14, each the mean of five columns; then 24 means of three of those.
    std::array<int64_t, 28> s{};
    for (int i = 1; i <= 27; ++i) {
        const int64_t r = Row - 13 + i;
        int sum = 0;
        for (const int64_t c : {Column, Column + 1, Column - 1, Column - 2, Column + 2})
            sum += PixelValue(Picture, c, r);
        s[size_t(i)] = Round(sum * 0.2L);
    }
    std::array<int64_t, 25> m{};
    for (size_t k = 1; k <= 24; ++k)
        m[k] = Round((s[k] + s[k + 1] + s[k + 2]) * (1.0L / 3));
    // Strict comparisons: the first of equal extremes wins.
    int64_t min = 1000;
    int64_t max = -1000;
    size_t kMin = 2;
    size_t kMax = 2;
    for (size_t k = 2; k <= 24; ++k) {
        const int64_t d = m[k] - m[k - 1];
        if (d < min) {
            min = d;
            kMin = k;
        }
        if (d > max) {
            max = d;
            kMax = k;
        }
    }
    return int32_t(std::max(m[kMin], m[kMax - 1]));
}

namespace {

// Low bytes of a picture's pixels, straight from the rows of 8- and 24-bit pictures and through the picture
// otherwise. Raw reads give GetPixelValue's low byte, colour reads GetPixelColor's.
class TLowBytes {
public:
    TLowBytes(TPixelGraphic& Picture, bool Colors)
        : Picture(Picture), Colors(Colors), RowBytes(Picture.GetRowBytes()) {
        const uint8_t format = Picture.GetBitCountNum();
        if (format != 3 && (format != 2 || Colors))
            return;
        if (const uint8_t* bits = Picture.GetBits())
            Top = bits + ptrdiff_t(Picture.GetHeight() - 1) * RowBytes;
        Step = format == 3 ? 3 : 1;
        Offset = format == 3 ? 2 : 0; // the red byte of blue, green, red
    }
    // (X, Y) inside the picture.
    uint8_t operator()(int32_t X, int32_t Y) const {
        if (Top)
            return Top[-ptrdiff_t(Y) * RowBytes + ptrdiff_t(X) * Step + Offset];
        return uint8_t(Colors ? Picture.GetPixelColor(X, Y) : Picture.GetPixelValue(X, Y));
    }

private:
    TPixelGraphic& Picture;
    const bool Colors;
    const ptrdiff_t RowBytes;
    const uint8_t* Top = nullptr; // the top row: rows are stored bottom-up
    int Step = 0;
    int Offset = 0;
};

// The four directions in the order they are tried, and the stack entry that says which comes next.
enum : uint8_t { GoLeft, GoRight, GoUp, GoDown, Done };

} // namespace

void RegionGrow(TRegionGrowState& State) {
    TRegionGrowState& s = State;
    const TLowBytes value(*s.Picture, false);
    const auto mask = [&s](int32_t x, int32_t y) -> uint8_t& { return s.Mask[ptrdiff_t(y) * s.Stride + x]; };
    const auto passes = [&](int32_t x, int32_t y) {
        const int32_t v = value(x, y);
        return std::abs(v - int32_t(s.Seed)) < int32_t(s.Tolerance) && v > s.Threshold;
    };
    // One entry per level of the recursion this replaces: the next direction to try at that level. As in the
    // recursion, (GrowX, GrowY) is the deepest level's point; each entry below it moved one step in the
    // direction before its own next, and that step is undone when the level above it ends.
    std::vector<uint8_t> stack{GoLeft};
    int32_t& x = s.GrowX;
    int32_t& y = s.GrowY;
    while (!stack.empty()) {
        bool deeper = false;
        while (stack.back() != Done && !deeper) {
            const uint8_t direction = stack.back()++;
            int32_t nx = x;
            int32_t ny = y;
            bool edge = false;
            switch (direction) {
            case GoLeft:
                if (x <= 0)
                    continue;
                edge = --nx == 0;
                break;
            case GoRight:
                if (x >= s.MaxX)
                    continue;
                edge = ++nx == s.MaxX;
                break;
            case GoUp:
                if (y <= 0)
                    continue;
                edge = --ny == 0;
                break;
            default:
                if (y >= s.MaxY)
                    continue;
                edge = ++ny == s.MaxY;
                break;
            }
            uint8_t& neighbour = mask(nx, ny);
            if (neighbour != MaskUntouched)
                continue;
            if (edge) {
                neighbour = MaskBoundary;
            } else if (passes(nx, ny)) {
                neighbour = MaskInside;
                x = nx;
                y = ny;
                stack.push_back(GoLeft);
                deeper = true;
            } else {
                mask(x, y) = MaskBoundary;
            }
        }
        if (deeper)
            continue;
        stack.pop_back();
        if (stack.empty())
            break;
        switch (stack.back() - 1) { // the step that led to the level just ended
        case GoLeft:
            ++x;
            break;
        case GoRight:
            --x;
            break;
        case GoUp:
            ++y;
            break;
        default:
            --y;
            break;
        }
    }
}

TRegionSum SumRegion(TPixelGraphic& Picture, const uint8_t* Mask, int32_t MaxX, int32_t MaxY) {
    const TLowBytes value(Picture, true);
    TRegionSum result;
    result.Box = {MaxX, MaxY, 0, 0};
    TRect& box = result.Box;
    // Row by row, unlike the column-first scan it replaces: the sum and the box do not depend on the order.
    const uint8_t* m = Mask;
    for (int32_t y = 0; y <= MaxY; ++y)
        for (int32_t x = 0; x <= MaxX; ++x, ++m) {
            if (*m == MaskUntouched)
                continue;
            result.Sum += value(x, y);
            if (*m == MaskBoundary) {
                box.Left = std::min(box.Left, x);
                box.Right = std::max(box.Right, x);
                box.Top = std::min(box.Top, y);
                box.Bottom = std::max(box.Bottom, y);
            }
        }
    return result;
}

TRegionSum GrowAndSum(TPixelGraphic& Picture, uint8_t* Mask, int X, int Y, int32_t Threshold) {
    TRegionGrowState state;
    state.Picture = &Picture;
    state.Mask = Mask;
    state.Stride = Picture.GetWidth();
    state.MaxY = Picture.GetHeight() - 1;
    state.MaxX = Picture.GetWidth() - 1;
    state.GrowX = X;
    state.GrowY = Y;
    state.Seed = uint8_t(Picture.GetPixelValue(X, Y));
    state.Threshold = Threshold;
    RegionGrow(state);
    return SumRegion(Picture, Mask, state.MaxX, state.MaxY);
}

void PaintBoundary(TPixelGraphic& Picture, const uint8_t* Mask) {
    const int width = Picture.GetWidth();
    const int height = Picture.GetHeight();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (Mask[ptrdiff_t(y) * width + x] == MaskBoundary)
                Picture.SetPixelColor(x, y, clWhite);
}

bool TMaskCommit::Fits(const TAddressReservation* Reservation, int64_t Width, int64_t Height) {
    return Reservation && !Reservation->Failed() && Width > 0 && Height > 0 &&
           Width * Height <= int64_t(Reservation->Size());
}

TMaskCommit::TMaskCommit(TAddressReservation* Reservation, int Width, int Height) : Reservation(Reservation) {
    if (!Fits(Reservation, Width, Height))
        return;
    Length = size_t(int64_t(Width) * Height);
    Committed = Reservation->Commit(0, Length);
}

TMaskCommit::~TMaskCommit() {
    if (Committed)
        Reservation->Decommit(0, Length);
}

int SelectionHistogram(const TPixelGraphic& Picture, const TRect& R) {
    std::array<int64_t, 256> counts{};
    for (int64_t y = R.Top; y <= R.Bottom; ++y)
        for (int64_t x = R.Left; x <= R.Right; ++x) {
            const TColor c = Picture.GetPixelColor(int(x), int(y));
            const long double luminance = 0.3L * GetRValue(c) + 0.59L * GetGValue(c) + 0.11L * GetBValue(c);
            ++counts[size_t(std::clamp<int64_t>(Round(luminance), 0, 255))];
        }
    // max_element gives the first of equal counts, the lowest level.
    return int(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

int64_t SumRect(const TPixelGraphic& Picture, const TRect& R) {
    int64_t sum = 0;
    for (int64_t y = R.Top; y <= R.Bottom; ++y)
        for (int64_t x = R.Left; x <= R.Right; ++x)
            sum += PixelValue(Picture, x, y);
    return sum;
}

std::vector<TProfilePoint> ProfileLinePoints(const TPixelGraphic& Picture, const TRect& R,
                                             TProfileLine Line) {
    const int64_t w = std::abs(int64_t(R.Right) - R.Left);
    const int64_t h = std::abs(int64_t(R.Bottom) - R.Top);
    std::vector<TProfilePoint> points;
    const auto along = [&points](int64_t from, int64_t to, auto value) {
        for (int64_t i = from; i < to; ++i)
            points.push_back({int(i), value(i)});
    };
    // The diagonals' row offset: an integer product divided in floating point, then rounded.
    const auto offset = [&](int64_t x) { return Round((long double)((x - R.Left) * h) / w); };
    switch (Line) {
    case plTop:
        along(R.Left, R.Right, [&](int64_t x) { return PixelValue(Picture, x, R.Top); });
        break;
    case plBottom:
        along(R.Left, R.Right, [&](int64_t x) { return PixelValue(Picture, x, R.Bottom); });
        break;
    case plRising:
        if (w != 0)
            along(R.Left, R.Right, [&](int64_t x) { return PixelValue(Picture, x, R.Bottom - offset(x)); });
        break;
    case plFalling:
        if (w != 0)
            along(R.Left, R.Right, [&](int64_t x) { return PixelValue(Picture, x, R.Top + offset(x)); });
        break;
    case plLeft:
        along(R.Top, R.Bottom, [&](int64_t y) { return PixelValue(Picture, R.Left, y); });
        break;
    case plRight:
        along(R.Top, R.Bottom, [&](int64_t y) { return PixelValue(Picture, R.Right, y); });
        break;
    }
    return points;
}
