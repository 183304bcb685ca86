#include "image-library/PGQuantize.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/ProgressLog.h"

#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace {

// ---- Pictures ----

// Raw values of every pixel, row by row.
std::vector<uint32_t> Values(const TPixelGraphic& p) {
    std::vector<uint32_t> v;
    for (int y = 0; y < p.GetHeight(); ++y)
        for (int x = 0; x < p.GetWidth(); ++x)
            v.push_back(p.GetPixelValue(x, y));
    return v;
}

// A picture of random raw values; paletted ones get a random table one entry short of full, so that some
// values lie beyond it.
std::unique_ptr<TPixelGraphic> RandomPicture(std::mt19937& rng, int w, int h, uint8_t bitCountNum) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, bitCountNum);
    const int maxColors = p->GetMaxColorCount();
    if (bitCountNum != 3) {
        p->SetColorCount(maxColors - 1);
        for (int i = 0; i < maxColors - 1; ++i)
            p->SetPaletteColor(i, TColor(rng() & 0xFFFFFF));
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelValue(
                x, y, bitCountNum == 3 ? uint32_t(rng() & 0xFFFFFF) : uint32_t(rng() % uint32_t(maxColors)));
    return p;
}

// A target with a standard table of its format, and random raw values to be overwritten.
std::unique_ptr<TPixelGraphic> RandomTarget(std::mt19937& rng, int w, int h, uint8_t bitCountNum,
                                            bool dither) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, bitCountNum);
    constexpr TPaletteIdent kinds[] = {pBlackWhite, pSys16, pSpecial252, pTrueColor};
    p->SetPaletteIdent(kinds[bitCountNum]);
    const int values = bitCountNum == 3 ? 0x1000000 : p->GetColorCount();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelValue(x, y, uint32_t(rng() % uint32_t(values)));
    p->SetDither(dither);
    return p;
}

std::unique_ptr<TPixelGraphic> Gray24(const std::vector<std::vector<int>>& rows) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(int(rows[0].size()), int(rows.size()), 3);
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x) {
            const uint8_t v = uint8_t(rows[y][x]);
            p->SetPixelColor(int(x), int(y), RGB(v, v, v));
        }
    return p;
}

std::vector<int> GrayRow(const TPixelGraphic& p, int y) {
    std::vector<int> row;
    for (int x = 0; x < p.GetWidth(); ++x)
        row.push_back(GetGValue(p.GetPixelColor(x, y)));
    return row;
}

// The colour a source pixel is drawn with: values beyond the table read as its first entry.
TColor DrawnColor(const TPixelGraphic& p, int x, int y) {
    const uint32_t v = p.GetPixelValue(x, y);
    if (p.GetBitCountNum() == 3)
        return v;
    return int(v) < p.GetColorCount() ? p.IndexToColor(v) : p.GetColorCount() ? p.IndexToColor(0) : clBlack;
}

// ---- The resampling rules, written out plainly from their definitions ----

struct RefEntry {
    int64_t First = 0, Last = 0;
    std::map<int64_t, int64_t> Weights;
    int64_t Divisor = 1;
    bool Valid = false;
};

RefEntry ReferenceEntry(TStretchMode mode, int64_t S, int64_t D, int64_t O, int64_t N, int64_t a) {
    RefEntry e;
    std::string method;
    if (mode == smFast)
        method = "nearest";
    else if (S == D)
        method = "one";
    else if (mode == smMedium)
        method = S > D ? "two" : "area";
    else
        method = S > D ? "area" : "two";
    if (method == "nearest" || method == "one") {
        e.First = e.Last = method == "one" ? O + a : O + (a * S) / D;
        e.Weights[e.First] = 1;
    } else if (method == "two") {
        e.Divisor = 2 * D;
        e.First = O + (S * (2 * a + 1) - D) / (2 * D);
        e.Last = O + (S * (2 * a + 1) + D) / (2 * D);
        const bool clamp = S < D && ((e.First < 0 && 0 <= e.Last) || (e.First < N && N <= e.Last));
        if (clamp) {
            e.First = std::clamp<int64_t>(e.First, 0, N - 1);
            e.Last = std::clamp<int64_t>(e.Last, 0, N - 1);
            e.Valid = true;
        }
        if (D * (2 * (e.First - O) + 1) == S * (2 * a + 1) || e.First == e.Last) {
            e.Weights[e.First] = 2 * D;
        } else {
            e.Weights[e.First] = 2 * D - (S * (2 * a + 1) - D * (2 * (e.First - O) + 1));
            e.Weights[e.Last] = 2 * D - (D * (2 * (e.Last - O) + 1) - S * (2 * a + 1));
        }
    } else {
        e.Divisor = S;
        e.First = O + (S * a) / D;
        e.Last = O + (S * (a + 1)) / D - ((S * (a + 1)) % D == 0 ? 1 : 0);
        if (e.First == e.Last) {
            e.Weights[e.First] = S;
        } else {
            for (int64_t i = e.First + 1; i < e.Last; ++i)
                e.Weights[i] = D;
            e.Weights[e.First] = D * (e.First - O + 1) - S * a;
            e.Weights[e.Last] = S * (a + 1) - D * (e.Last - O);
        }
    }
    e.Valid = e.Valid || (0 <= e.First && e.First < N && 0 <= e.Last && e.Last < N);
    return e;
}

void ReferenceWrite(TPixelGraphic& t, bool dithering, int x, int y, TColor c) {
    if (dithering)
        t.DitherPixel(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
    else
        t.SetPixelColor(x, y, c);
}

void ReferenceCopyRect(TPixelGraphic& t, int DX, int DY, int W, int H, int SX, int SY,
                       const TPixelGraphic& s) {
    if (t.GetWidth() <= 0 || t.GetHeight() <= 0 || s.GetWidth() <= 0 || s.GetHeight() <= 0)
        return;
    const bool dithering = t.GetBitCountNum() != 3 && t.GetDither();
    dithering ? t.BeginDither() : t.EndDither();
    for (int64_t Y = std::max(DY, 0); Y <= std::min<int64_t>(int64_t(DY) + H - 1, t.GetHeight() - 1); ++Y) {
        const int64_t S = Y - DY + SY;
        if (S < 0 || S >= s.GetHeight())
            continue;
        if (dithering)
            t.NextDitherRow();
        for (int64_t k = 0; k < W; ++k) {
            const int64_t X = Y % 2 == 0 ? DX + k : int64_t(DX) + W - 1 - k;
            const int64_t SXk = X - DX + SX;
            if (X >= 0 && X < t.GetWidth() && SXk >= 0 && SXk < s.GetWidth())
                ReferenceWrite(t, dithering, int(X), int(Y), DrawnColor(s, int(SXk), int(S)));
        }
    }
    t.EndDither();
}

void ReferenceStretchCopy(TPixelGraphic& t, int DX, int DY, int DW, int DH, int SX, int SY, int SW, int SH,
                          const TPixelGraphic& s) {
    if (SW == DW && SH == DH)
        return ReferenceCopyRect(t, DX, DY, DW, DH, SX, SY, s);
    if (t.GetWidth() <= 0 || t.GetHeight() <= 0 || s.GetWidth() <= 0 || s.GetHeight() <= 0)
        return;
    const bool dithering = t.GetBitCountNum() != 3 && t.GetDither();
    dithering ? t.BeginDither() : t.EndDither();
    for (int64_t Y = std::max(DY, 0); Y <= std::min<int64_t>(int64_t(DY) + DH - 1, t.GetHeight() - 1); ++Y) {
        if (dithering)
            t.NextDitherRow();
        const RefEntry ey = ReferenceEntry(t.GetStretchMode(), SH, DH, SY, s.GetHeight(), Y - DY);
        if (!ey.Valid)
            continue;
        for (int64_t k = 0; k < DW; ++k) {
            const int64_t X = Y % 2 == 0 ? DX + k : int64_t(DX) + DW - 1 - k;
            if (X < 0 || X >= t.GetWidth())
                continue;
            const RefEntry ex = ReferenceEntry(t.GetStretchMode(), SW, DW, SX, s.GetWidth(), X - DX);
            if (!ex.Valid)
                continue;
            int64_t total[3] = {};
            for (const auto& [j, wy] : ey.Weights) {
                int64_t sum[3] = {};
                for (const auto& [i, wx] : ex.Weights) {
                    const TColor c = DrawnColor(s, int(i), int(j));
                    sum[0] += GetRValue(c) * wx, sum[1] += GetGValue(c) * wx, sum[2] += GetBValue(c) * wx;
                }
                for (int c = 0; c < 3; ++c)
                    total[c] += sum[c] / ex.Divisor * wy;
            }
            ReferenceWrite(t, dithering, int(X), int(Y),
                           RGB(uint8_t(total[0] / ey.Divisor), uint8_t(total[1] / ey.Divisor),
                               uint8_t(total[2] / ey.Divisor)));
        }
    }
    t.EndDither();
}

} // namespace

// ---- StretchCopy and CopyRect ----

TEST(StretchCopy, FollowsTheSamplingRulesOnTheirVectors) {
    struct Case {
        TStretchMode Mode;
        std::vector<int> Source;
        int DestWidth;
        std::vector<int> Expected;
    };
    const Case cases[] = {
        {smFast, {0, 100}, 4, {0, 0, 100, 100}},    {smPrecise, {10, 20, 30, 40}, 2, {15, 35}},
        {smPrecise, {0, 100}, 4, {0, 25, 75, 100}}, {smMedium, {0, 100}, 4, {0, 0, 100, 100}},
        {smMedium, {10, 20, 30, 40}, 2, {15, 35}},  {smFast, {10, 20, 30, 40}, 2, {10, 30}},
        {smPrecise, {0, 90, 30}, 2, {30, 50}},      {smPrecise, {10, 20, 30, 40}, 4, {10, 20, 30, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "mode " << int(c.Mode) << ", " << c.Source.size() << " to " << c.DestWidth);
        auto source = Gray24({c.Source});
        TPixelGraphic target;
        target.SetFormat(c.DestWidth, 1, 3);
        target.SetStretchMode(c.Mode);
        target.StretchCopy(0, 0, c.DestWidth, 1, 0, 0, int(c.Source.size()), 1, *source);
        EXPECT_EQ(GrayRow(target, 0), c.Expected);
    }
}

TEST(StretchCopy, ClipsAndSkipsRowsWithoutSourceAndFiresEvents) {
    auto source = Gray24({{10, 20}, {30, 40}});
    struct Case {
        int DX, DY, DW, DH, SX, SY, SW, SH;
        std::vector<std::vector<int>> Expected; // 3 x 3 target starting as 1
        std::string Events;
    };
    const Case cases[] = {
        // Enlarged 2x, the target rectangle hanging off the top left.
        {-1, -1, 4, 4, 0, 0, 2, 2, {{10, 20, 20}, {30, 40, 40}, {30, 40, 40}}, "Sp0/2p1/2p2/2EC"},
        // Source rows above the picture: their target rows fire no event and stay.
        {0, 0, 3, 3, 0, -2, 2, 4, {{1, 1, 1}, {1, 1, 1}, {10, 10, 20}}, "Sp2/2EC"},
        // Equal sizes: CopyRect, 24-bit runs without progress steps.
        {1, 1, 2, 2, 0, 0, 2, 2, {{1, 1, 1}, {1, 10, 20}, {1, 30, 40}}, "SEC"},
        // A side of 0 or less does nothing at all.
        {0, 0, 3, 0, 0, 0, 2, 2, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, ""},
        {0, 0, 3, 3, 0, 0, 0, 2, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.DX << "," << c.DY << " " << c.DW << "x" << c.DH << " from "
                                        << c.SX << "," << c.SY << " " << c.SW << "x" << c.SH);
        auto target = Gray24({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}});
        target->SetStretchMode(smFast);
        TProgressLog log(*target);
        target->StretchCopy(c.DX, c.DY, c.DW, c.DH, c.SX, c.SY, c.SW, c.SH, *source);
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(GrayRow(*target, y), c.Expected[size_t(y)]) << "row " << y;
        EXPECT_EQ(log.Text, c.Events);
    }
}

TEST(StretchCopy, EqualsThePlainRulesInEveryFormatModeAndDiffusion) {
    std::mt19937 rng(5);
    int compared = 0;
    for (uint8_t from = 0; from <= 3; ++from)
        for (uint8_t to = 0; to <= 3; ++to)
            for (TStretchMode mode : {smFast, smMedium, smPrecise})
                for (bool dither : {false, true})
                    for (int round = 0; round < 6; ++round) {
                        auto source = RandomPicture(rng, 9 + round, 7, from);
                        auto target = RandomTarget(rng, 11, 8 + round, to, dither);
                        target->SetStretchMode(mode);
                        auto expected = RandomTarget(rng, 1, 1, to, dither);
                        expected->Assign(target.get());
                        std::uniform_int_distribution<int> offset(-4, 6), size(1, 15);
                        const int DX = offset(rng), DY = offset(rng), DW = size(rng), DH = size(rng);
                        const int SX = offset(rng), SY = offset(rng);
                        const int SW = round == 0 ? DW : size(rng), SH = round == 0 ? DH : size(rng);
                        SCOPED_TRACE(testing::Message()
                                     << int(from) << " to " << int(to) << " bits, mode " << int(mode)
                                     << ", dither " << dither << ": " << DX << "," << DY << " " << DW << "x"
                                     << DH << " from " << SX << "," << SY << " " << SW << "x" << SH);
                        target->StretchCopy(DX, DY, DW, DH, SX, SY, SW, SH, *source);
                        ReferenceStretchCopy(*expected, DX, DY, DW, DH, SX, SY, SW, SH, *source);
                        ASSERT_EQ(Values(*target), Values(*expected));
                        ++compared;
                    }
    EXPECT_EQ(compared, 4 * 4 * 3 * 2 * 6);
}
