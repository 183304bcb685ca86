// The measurement's arithmetic against a literal recursive region growing, hand-computed thresholds and
// profiles, and regions far larger than any thread's stack would hold recursively.
#include "Measurement.h"

#include "framework/AddressReservation.h"
#include "framework/Rounding.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/TestPictures.h"

#include <QBuffer>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

// Region growing, sum and box exactly as first written: recursive, on global-style state, 16-bit free.
struct ReferenceGrowth {
    const TPixelGraphic* Picture;
    std::vector<uint8_t> Mask;
    int Stride, MaxX, MaxY, GrowX, GrowY;
    uint8_t Seed;
    int Tolerance = 255;
    int Threshold;

    uint8_t& M(int x, int y) { return Mask[size_t(y * Stride + x)]; }
    bool Passes(int x, int y) const {
        const int v = int(Picture->GetPixelValue(x, y) & 0xFF);
        return std::abs(v - Seed) < Tolerance && v > Threshold;
    }
    void Grow() {
        if (GrowX > 0) {
            GrowX -= 1;
            if (M(GrowX, GrowY) == 0) {
                if (GrowX == 0)
                    M(GrowX, GrowY) = 2;
                else if (Passes(GrowX, GrowY)) {
                    M(GrowX, GrowY) = 1;
                    Grow();
                } else
                    M(GrowX + 1, GrowY) = 2;
            }
            GrowX += 1;
        }
        if (GrowX < MaxX) {
            GrowX += 1;
            if (M(GrowX, GrowY) == 0) {
                if (GrowX == MaxX)
                    M(GrowX, GrowY) = 2;
                else if (Passes(GrowX, GrowY)) {
                    M(GrowX, GrowY) = 1;
                    Grow();
                } else
                    M(GrowX - 1, GrowY) = 2;
            }
            GrowX -= 1;
        }
        if (GrowY > 0) {
            GrowY -= 1;
            if (M(GrowX, GrowY) == 0) {
                if (GrowY == 0)
                    M(GrowX, GrowY) = 2;
                else if (Passes(GrowX, GrowY)) {
                    M(GrowX, GrowY) = 1;
                    Grow();
                } else
                    M(GrowX, GrowY + 1) = 2;
            }
            GrowY += 1;
        }
        if (GrowY < MaxY) {
            GrowY += 1;
            if (M(GrowX, GrowY) == 0) {
                if (GrowY == MaxY)
                    M(GrowX, GrowY) = 2;
                else if (Passes(GrowX, GrowY)) {
                    M(GrowX, GrowY) = 1;
                    Grow();
                } else
                    M(GrowX, GrowY - 1) = 2;
            }
            GrowY -= 1;
        }
    }
    // Columns outside, rows inside, as the first version scanned.
    int64_t Sum = 0;
    int MinX = 0, MinY = 0, MaxBoxX = 0, MaxBoxY = 0;
    void SumAndBox() {
        MinX = MaxX;
        MinY = MaxY;
        for (int x = 0; x <= MaxX; ++x)
            for (int y = 0; y <= MaxY; ++y) {
                if (M(x, y) != 0)
                    Sum += Picture->GetPixelColor(x, y) & 0xFF;
                if (M(x, y) == 2) {
                    MinX = std::min(MinX, x);
                    MaxBoxX = std::max(MaxBoxX, x);
                    MinY = std::min(MinY, y);
                    MaxBoxY = std::max(MaxBoxY, y);
                }
            }
    }
    int HistogramLevel(TRect r) const {
        int counts[256] = {};
        for (int y = r.Top; y <= r.Bottom; ++y)
            for (int x = r.Left; x <= r.Right; ++x) {
                const TColor c = Picture->GetPixelColor(x, y);
                ++counts[Round(0.3L * (c & 0xFF) + 0.59L * ((c >> 8) & 0xFF) + 0.11L * ((c >> 16) & 0xFF))];
            }
        int best = 0;
        for (int level = 1; level < 256; ++level)
            if (counts[level] > counts[best])
                best = level;
        return best;
    }
};

std::unique_ptr<TPixelGraphic> GreyPicture(int w, int h, uint8_t bitCountNum = 3) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, bitCountNum);
    if (bitCountNum == 2)
        p->SetPaletteIdent(pGray256);
    return p;
}

void SetGrey(TPixelGraphic& p, int x, int y, uint8_t v) {
    p.SetPixelValue(x, y, p.GetBitCountNum() == 2 ? v : RGB(v, v, v));
}

// A picture of rows given as strings of digits, each digit times `scale` the grey value.
std::unique_ptr<TPixelGraphic> PictureOf(std::initializer_list<const char*> rows, int scale = 10) {
    const int h = int(rows.size());
    const int w = int(strlen(*rows.begin()));
    auto p = GreyPicture(w, h);
    int y = 0;
    for (const char* row : rows) {
        for (int x = 0; x < w; ++x)
            SetGrey(*p, x, y, uint8_t((row[x] - '0') * scale));
        ++y;
    }
    return p;
}

std::vector<uint8_t> Grow(TPixelGraphic& p, int x, int y, int threshold, TRegionSum* sum = nullptr) {
    std::vector<uint8_t> mask(size_t(p.GetWidth() * p.GetHeight()));
    const TRegionSum s = GrowAndSum(p, mask.data(), x, y, threshold);
    if (sum)
        *sum = s;
    return mask;
}

} // namespace

TEST(RegionGrowTest, AgreesWithTheRecursiveOriginalOnRandomPictures) {
    std::mt19937 rng(20241209);
    const uint8_t pool[] = {0, 1, 29, 30, 31, 100, 128, 200, 254, 255};
    for (int round = 0; round < 5000; ++round) {
        const int w = 1 + int(rng() % 40);
        const int h = 1 + int(rng() % 40);
        // 24-bit grey mostly, some 8-bit grey, some 4-bit grey whose raw values are indices, some coloured
        // pictures whose value is the red byte.
        const int kind = int(rng() % 8);
        auto p = GreyPicture(w, h, kind == 0 ? 2 : kind == 2 ? 1 : 3);
        if (kind == 2)
            p->SetPaletteIdent(pGray16);
        std::vector<uint8_t> levels;
        const int levelCount = 2 + int(rng() % 3);
        for (int i = 0; i < levelCount; ++i)
            levels.push_back(pool[rng() % std::size(pool)]);
        if (rng() % 2)
            levels.push_back(uint8_t(rng()));
        // Blobs of one level over a background, so that regions of many shapes grow.
        const uint8_t background = levels[rng() % levels.size()];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t v = rng() % 3 ? background : levels[rng() % levels.size()];
                if (kind == 1)
                    p->SetPixelValue(x, y, RGB(v, uint8_t(rng()), uint8_t(rng())));
                else if (kind == 2)
                    p->SetPixelValue(x, y, v % 16);
                else
                    SetGrey(*p, x, y, v);
            }
        // Clicks on the border a third of the time; thresholds over the whole range and on the levels.
        int x = int(rng() % unsigned(w));
        int y = int(rng() % unsigned(h));
        if (rng() % 3 == 0)
            switch (rng() % 4) {
            case 0:
                x = 0;
                break;
            case 1:
                x = w - 1;
                break;
            case 2:
                y = 0;
                break;
            default:
                y = h - 1;
                break;
            }
        const int threshold = rng() % 4 ? int(rng() % 256) : levels[rng() % levels.size()];
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << w << "x" << h << " at " << x << ","
                                        << y << " threshold " << threshold);

        ReferenceGrowth ref{p.get(), std::vector<uint8_t>(size_t(w * h)), w,   w - 1,    h - 1, x,
                            y,       uint8_t(p->GetPixelValue(x, y)),     255, threshold};
        ref.Grow();
        ref.SumAndBox();
        ASSERT_EQ(ref.GrowX, x);

        TRegionSum sum;
        const std::vector<uint8_t> mask = Grow(*p, x, y, threshold, &sum);
        ASSERT_EQ(mask, ref.Mask);
        ASSERT_EQ(sum.Sum, ref.Sum);
        const TRect regionRect = RegionRectOf(sum.Box);
        ASSERT_EQ(regionRect, Rect(ref.MinX + 1, ref.MinY + 1, ref.MaxBoxX, ref.MaxBoxY));
        ASSERT_EQ(SelectionHistogram(*p, regionRect), ref.HistogramLevel(regionRect));
    }
}

TEST(RegionGrowTest, MarksFollowTheOriginalsRules) {
    // A failing click grows from its passing neighbours; it is counted only when one of its own tests fails.
    auto p = PictureOf({"00000", "09090", "00000"});
    TRegionSum sum;
    EXPECT_EQ(Grow(*p, 2, 1, 30, &sum), (std::vector<uint8_t>{0, 2, 2, 2, 0, //
                                                              2, 2, 0, 2, 2, //
                                                              0, 2, 2, 2, 0}));
    EXPECT_EQ(sum.Sum, 90 + 90);
    p = PictureOf({"00000", "09200", "00000"});
    EXPECT_EQ(Grow(*p, 2, 1, 30, &sum), (std::vector<uint8_t>{0, 2, 2, 0, 0, //
                                                              2, 2, 2, 0, 0, //
                                                              0, 2, 2, 0, 0}));
    EXPECT_EQ(sum.Sum, 90 + 20);
    // A region touching the border leaves the border pixels next to it as boundary, summed and painted.
    auto q = PictureOf({"5555", "5555", "5555", "5555"});
    const std::vector<uint8_t> mask = Grow(*q, 1, 1, 30, &sum);
    EXPECT_EQ(mask, (std::vector<uint8_t>{0, 2, 2, 0, 2, 1, 1, 2, 2, 1, 1, 2, 0, 2, 2, 0}));
    EXPECT_EQ(sum.Sum, 12 * 50);
    EXPECT_EQ(sum.Box, Rect(0, 0, 3, 3));
    EXPECT_EQ(RegionRectOf(sum.Box), Rect(1, 1, 3, 3));
    PaintBoundary(*q, mask.data());
    EXPECT_EQ(q->GetPixelColor(1, 0), clWhite);
    EXPECT_EQ(q->GetPixelColor(0, 0), RGB(50, 50, 50));
    EXPECT_EQ(q->GetPixelColor(1, 1), RGB(50, 50, 50));
    // Level 1 over level 0 passes threshold 0 and is measured whole.
    auto r = PictureOf({"0000", "0110", "0110", "0000"}, 1);
    EXPECT_EQ(Grow(*r, 1, 1, 0, &sum)[5], MaskInside);
    EXPECT_EQ(sum.Sum, 4);
    // Only a value 255 away from the seed fails the tolerance.
    auto t = GreyPicture(4, 3);
    SetGrey(*t, 2, 1, 255);
    EXPECT_EQ(Grow(*t, 1, 1, 0)[6], MaskUntouched);
    SetGrey(*t, 2, 1, 254);
    EXPECT_EQ(Grow(*t, 1, 1, 0)[6], MaskBoundary);
}

// The large regions use the program's reservation, as the main window does.
class LargeRegionTest : public ::testing::Test {
protected:
    static constexpr int Side = 2000;
    TAddressReservation Reservation{4'000'000};
};

TEST_F(LargeRegionTest, UniformPictureAndSerpentineCorridorGrowWithTheirExactSums) {
    ASSERT_FALSE(Reservation.Failed());
    auto p = GreyPicture(Side, Side);
    {
        for (int y = 0; y < Side; ++y)
            std::memset(p->GetScanLine(y), 100, size_t(3 * Side));
        TMaskCommit mask(&Reservation, Side, Side);
        ASSERT_NE(mask.Data(), nullptr);
        const TRegionSum sum = GrowAndSum(*p, mask.Data(), 1000, 1000, 30);
        // Everything but the four corners, which no accepted pixel reaches.
        EXPECT_EQ(sum.Sum, 100LL * (Side * Side - 4));
        EXPECT_EQ(RegionRectOf(sum.Box), Rect(1, 1, Side - 1, Side - 1));
    }
    {
        // Corridors along the odd rows, joined at alternate ends; walls and border are 0.
        for (int y = 0; y < Side; ++y)
            std::memset(p->GetScanLine(y), 0, size_t(3 * Side));
        int64_t corridor = 0;
        for (int y = 1; y < Side - 2; y += 2) {
            for (int x = 1; x < Side - 1; ++x, ++corridor)
                SetGrey(*p, x, y, 200);
            if (y + 2 < Side - 2) {
                SetGrey(*p, (y / 2) % 2 ? 1 : Side - 2, y + 1, 200);
                ++corridor;
            }
        }
        TMaskCommit mask(&Reservation, Side, Side);
        ASSERT_NE(mask.Data(), nullptr);
        EXPECT_EQ(mask.Data()[Side * 1000 + 1000], 0) << "the previous measurement's mask was given back";
        const TRegionSum sum = GrowAndSum(*p, mask.Data(), 1, 1, 30);
        EXPECT_EQ(sum.Sum, 200 * corridor);
        EXPECT_EQ(corridor, 999 * 1998 + 998);
    }
}

// A wide picture's coordinates pass 16 bits.
TEST_F(LargeRegionTest, WidePictureGrowsPast16BitCoordinates) {
    auto p = GreyPicture(70'000, 3);
    for (int x = 0; x < 70'000; ++x)
        SetGrey(*p, x, 1, 40);
    TMaskCommit mask(&Reservation, 70'000, 3);
    const TRegionSum sum = GrowAndSum(*p, mask.Data(), 69'000, 1, 30);
    EXPECT_EQ(sum.Sum, 40LL * 70'000);
    EXPECT_EQ(sum.Box, Rect(0, 0, 69'999, 2));
}

TEST(AutoThresholdTest, FollowsTheSmoothedProfile) {
    const auto edge = [](uint8_t above, uint8_t below) {
        auto p = GreyPicture(10, 60);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 10; ++x)
                SetGrey(*p, x, y, y < 30 ? above : below);
        return p;
    };
    // Flat: every difference is 0, so the larger of m[2] and m[1].
    EXPECT_EQ(AutoThreshold(*edge(77, 77), 5, 30), 77);
    // Rising 0 -> 100 at row 30: m = 0 .. 0, 33, 67, 100 ..; steepest rise at k = 12, so m[11] = 33.
    EXPECT_EQ(AutoThreshold(*edge(0, 100), 5, 30), 33);
    // Falling 100 -> 0: no rise beats the first 0 at k = 2, so m[1] = 100 wins over m[12] = 33.
    EXPECT_EQ(AutoThreshold(*edge(100, 0), 5, 30), 100);
    // Reads outside the picture give its background: here all of them.
    auto p = edge(50, 50);
    p->SetBackGroundValue(RGB(120, 120, 120));
    EXPECT_EQ(AutoThreshold(*p, -100, -100), 120);
    EXPECT_EQ(AutoThreshold(*p, INT32_MAX, 30), 120);
}

// A TGA file whose grey map has 4 entries (10, 40, 70, 100) and whose pixels are 200, 1, 3: the index past
// the map is measured as the first entry, as it is drawn.
TEST(SelectionTest, PixelsBeyondTheTableMeasureAsTheFirstEntry) {
    QByteArray map;
    for (char level : {10, 40, 70, 100})
        map += QByteArray(3, level);
    QByteArray tga = ColorMappedTga(map, QByteArray("\xC8\x01\x03", 3));
    QBuffer file(&tga);
    file.open(QIODevice::ReadOnly);
    TPixelGraphic picture;
    picture.LoadFromStreamExt(file, QStringLiteral("tga"));
    ASSERT_EQ(picture.GetPixelValue(0, 0), 200u);
    EXPECT_EQ(PixelValue(picture, 0, 0), 10);
    EXPECT_EQ(SumRect(picture, Rect(0, 0, 2, 0)), 10 + 40 + 100);
    EXPECT_EQ(SelectionHistogram(picture, Rect(0, 0, 0, 0)), 10);
    EXPECT_NO_THROW(AutoThreshold(picture, 0, 0));
}

TEST(SelectionTest, HistogramSumsAndProfilesScanTheirRanges) {
    auto p = PictureOf({"1122", "1122", "3344"});
    // Inclusive bounds; ties go to the lower level; reversed ranges are empty.
    EXPECT_EQ(SelectionHistogram(*p, Rect(0, 0, 3, 1)), 10);
    EXPECT_EQ(SelectionHistogram(*p, Rect(2, 0, 3, 2)), 20);
    EXPECT_EQ(SelectionHistogram(*p, Rect(1, 0, 0, 2)), 0);
    EXPECT_EQ(SumRect(*p, Rect(0, 0, 3, 2)), 2 * (10 + 10 + 20 + 20) + 30 + 30 + 40 + 40);
    EXPECT_EQ(SumRect(*p, Rect(1, 1, 2, 2)), 10 + 20 + 30 + 40);
    EXPECT_EQ(SumRect(*p, Rect(2, 2, 1, 1)), 0);
    // Luminance of a coloured pixel: 0.3 red + 0.59 green + 0.11 blue.
    p->SetPixelValue(0, 0, RGB(100, 0, 0));
    p->SetPixelValue(1, 0, RGB(0, 0, 100));
    EXPECT_EQ(SelectionHistogram(*p, Rect(0, 0, 0, 0)), 30);
    EXPECT_EQ(SelectionHistogram(*p, Rect(1, 0, 1, 0)), 11);

    auto q = PictureOf({"0123", "4567", "8901"});
    const TRect r = Rect(0, 0, 3, 2);
    const std::vector<TProfilePoint> top = {{0, 0}, {1, 10}, {2, 20}};
    EXPECT_EQ(ProfileLinePoints(*q, r, plTop), top);
    EXPECT_EQ(ProfileLinePoints(*q, r, plBottom), (std::vector<TProfilePoint>{{0, 80}, {1, 90}, {2, 0}}));
    // Rows Bottom - Round(x * 2 / 3): 2, Round(0.67) = 1 -> 1, Round(1.33) = 1 -> 1.
    EXPECT_EQ(ProfileLinePoints(*q, r, plRising), (std::vector<TProfilePoint>{{0, 80}, {1, 50}, {2, 60}}));
    EXPECT_EQ(ProfileLinePoints(*q, r, plFalling), (std::vector<TProfilePoint>{{0, 0}, {1, 50}, {2, 60}}));
    EXPECT_EQ(ProfileLinePoints(*q, r, plLeft), (std::vector<TProfilePoint>{{0, 0}, {1, 40}}));
    EXPECT_EQ(ProfileLinePoints(*q, r, plRight), (std::vector<TProfilePoint>{{0, 30}, {1, 70}}));
    // A selection of zero width: no points for the horizontal lines and the diagonals.
    const TRect thin = Rect(1, 0, 1, 3);
    for (TProfileLine line : {plTop, plBottom, plRising, plFalling})
        EXPECT_TRUE(ProfileLinePoints(*q, thin, line).empty()) << line;
    EXPECT_EQ(ProfileLinePoints(*q, thin, plLeft).size(), 3u);
}
