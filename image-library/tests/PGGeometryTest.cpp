#include "framework/Thread.h"
#include "image-library/PGQuantize.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/ProgressLog.h"
#include "image-library/testing/TestPictures.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
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

namespace {

// ---- Oracle helpers ----

TPnm Filtered(const char* program, const QStringList& args, const TPnm& input) {
    const TToolResult r = RunTool(QString::fromUtf8(program), args, EncodePnm(input));
    const std::optional<TPnm> out = DecodePnm(r.Out);
    EXPECT_TRUE(out) << program << ": " << r.Err.toStdString();
    return out.value_or(TPnm{});
}

// An 8-bit gray picture or a 24-bit one from a photo, as the operations' sources.
std::unique_ptr<TPixelGraphic> FromPnm(const TPnm& pnm, uint8_t bitCountNum) {
    auto p = std::make_unique<TPixelGraphic>();
    PictureFromPnm(pnm, *p);
    if (bitCountNum == 3)
        return p;
    auto gray = std::make_unique<TPixelGraphic>();
    gray->SetFormat(p->GetWidth(), p->GetHeight(), bitCountNum);
    gray->SetPaletteIdent(pGray256);
    gray->SetDither(false);
    gray->CopyFrom(*p);
    return gray;
}

// Largest and smallest differences ours - theirs over all samples.
std::pair<int, int> DifferenceRange(const TPnm& ours, const TPnm& theirs) {
    EXPECT_EQ(ours.Width, theirs.Width);
    EXPECT_EQ(ours.Height, theirs.Height);
    int lo = INT_MAX, hi = INT_MIN;
    if (ours.Width != theirs.Width || ours.Height != theirs.Height)
        return {lo, hi};
    for (size_t i = 0; i < ours.Samples.size(); ++i) {
        const int d = int(ours.Samples[i]) - int(theirs.Samples[i]);
        lo = std::min(lo, d), hi = std::max(hi, d);
    }
    return {lo, hi};
}

std::unique_ptr<TPixelGraphic> Stretched(TPixelGraphic& source, int w, int h, TStretchMode mode) {
    auto target = std::make_unique<TPixelGraphic>();
    target->SetFormat(w, h, 3);
    target->SetStretchMode(mode);
    target->CopyFrom(source);
    return target;
}

} // namespace

TEST(StretchCopy, AgreesWithPamscaleAndPil) {
    SKIP_UNLESS_TOOL("pamscale");
    const TPnm photo = GeneratedPhoto(120, 90, 3);
    auto source = FromPnm(photo, 3);
    struct Case {
        int W, H;
        TStretchMode Mode;
        QStringList Args; // empty: PIL bilinear
        int Below;        // how far ours may lie below; 0 means equal
    };
    const Case cases[] = {
        {40, 30, smFast, {"-nomix", "-width", "40", "-height", "30"}, 0},
        {240, 180, smFast, {"-nomix", "-width", "240", "-height", "180"}, 0},
        {40, 30, smPrecise, {"-linear", "-width", "40", "-height", "30"}, 2},
        {240, 180, smMedium, {"-linear", "-width", "240", "-height", "180"}, 2},
        {240, 180, smPrecise, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " mode " << int(c.Mode) << " "
                                        << c.Args.join(' ').toStdString());
        if (c.Args.isEmpty() && !PilAvailable())
            continue;
        const TPnm theirs =
            c.Args.isEmpty()
                ? DecodePnm(RunPython("import sys, io\nfrom PIL import Image\n"
                                      "i = Image.open(io.BytesIO(sys.stdin.buffer.read()))\n"
                                      "o = io.BytesIO(); i.resize((int(sys.argv[1]), int(sys.argv[2])), "
                                      "Image.BILINEAR).save(o, 'PPM'); sys.stdout.buffer.write(o.getvalue())",
                                      {QString::number(c.W), QString::number(c.H)}, EncodePnm(photo))
                                .Out)
                      .value_or(TPnm{})
                : Filtered("pamscale", c.Args, photo);
        const auto [lo, hi] = DifferenceRange(PnmFromPicture(*Stretched(*source, c.W, c.H, c.Mode)), theirs);
        EXPECT_LE(hi, 0);
        EXPECT_GE(lo, -c.Below);
    }
}

TEST(CopyRect, EqualsPamcutAndKeepsRawValuesOfOneTable) {
    SKIP_UNLESS_TOOL("pamcut");
    const TPnm photo = GeneratedPhoto(50, 40, 4);
    for (uint8_t format : {uint8_t(2), uint8_t(3)}) {
        auto source = FromPnm(photo, format);
        TPixelGraphic target;
        target.SetFormat(17, 13, format);
        target.SetPaletteIdent(format == 3 ? pTrueColor : pGray256);
        target.CopyRect(0, 0, 17, 13, 21, 8, *source);
        EXPECT_EQ(PnmFromPicture(target),
                  Filtered("pamcut", {"-left", "21", "-top", "8", "-width", "17", "-height", "13"},
                           PnmFromPicture(*source)))
            << int(format) << " bits";
    }

    // Entries 1 and 2 share a cell of the inverse table: a lookup would answer 1 for both.
    TPixelGraphic shared;
    shared.SetFormat(5, 3, 2);
    shared.SetColorCount(3);
    shared.SetPaletteColor(0, clWhite);
    shared.SetPaletteColor(1, RGB(8, 8, 8));
    shared.SetPaletteColor(2, RGB(9, 9, 9));
    for (int x = 0; x < 5; ++x)
        shared.SetPixelValue(x, 1, 2);
    TPixelGraphic copied, turned;
    copied.Assign(&shared);
    copied.Clear();
    copied.CopyRect(0, 0, 5, 3, 0, 0, shared);
    EXPECT_EQ(Values(copied), Values(shared));
    turned.Assign(&shared);
    turned.Rotate(true, shared, 90);
    EXPECT_EQ(turned.GetPixelValue(1, 4), 2u);
    EXPECT_EQ(turned.GetPixelValue(1, 0), 2u);
}

// ---- Turns and mirrors ----

TEST(Rotate, QuarterTurnsAndMirrorsEqualPamflip) {
    SKIP_UNLESS_TOOL("pamflip");
    for (const auto& [w, h] : {std::pair{7, 5}, std::pair{8, 6}, std::pair{6, 9}})
        for (uint8_t format : {uint8_t(2), uint8_t(3)}) {
            const TPnm photo = GeneratedPhoto(w, h, uint32_t(w));
            auto source = FromPnm(photo, format);
            const TPnm sourcePnm = PnmFromPicture(*source);
            struct Case {
                const char* Flag;
                std::function<void(TPixelGraphic&)> Operation;
            };
            const Case cases[] = {
                {"-cw", [&](TPixelGraphic& t) { t.Rotate(true, *source, 90); }},
                // Into a 24-bit target: colours, not raw values, for the 8-bit source.
                {"-cw", [&](TPixelGraphic& t) { t.SetFormat(1, 1, 3), t.Rotate(true, *source, 90); }},
                {"-r180", [&](TPixelGraphic& t) { t.Rotate(true, *source, -180); }},
                {"-ccw", [&](TPixelGraphic& t) { t.Rotate(true, *source, 270); }},
                {"-ccw", [&](TPixelGraphic& t) { t.Rotate(true, *source, -90); }},
                {"-lr", [&](TPixelGraphic& t) { t.Assign(source.get()), t.MirrorHorizontal(); }},
                {"-tb", [&](TPixelGraphic& t) { t.Assign(source.get()), t.MirrorVertical(); }},
            };
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message()
                             << w << "x" << h << ", " << int(format) << " bits, " << c.Flag);
                TPixelGraphic target;
                target.Assign(source.get());
                c.Operation(target);
                EXPECT_EQ(PnmFromPicture(target), Filtered("pamflip", {c.Flag}, sourcePnm));
            }
        }
}

TEST(Rotate, TurnsAndMirrorsRestoreTheOriginalByteForByte) {
    std::mt19937 rng(9);
    for (uint8_t format = 0; format <= 3; ++format)
        for (const auto& [w, h] : {std::pair{13, 7}, std::pair{8, 8}, std::pair{70, 131}}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << ", " << int(format) << " bits");
            auto original = RandomPicture(rng, w, h, format);
            auto bytes = [](TPixelGraphic& p) {
                return std::vector<uint8_t>(p.GetBits(), p.GetBits() + p.GetImageSize());
            };
            TPixelGraphic p;
            p.Assign(original.get());
            if (format % 2 == 0) // a handler that may abort: turns build their bands aside
                p.SetOnProgress([](TObject*, int, int, bool&) {});
            for (int i = 0; i < 4; ++i)
                p.Rotate(true, p, 90);
            EXPECT_EQ(Values(p), Values(*original));
            p.Rotate(true, p, 90);
            EXPECT_EQ(p.GetWidth(), h);
            p.Rotate(true, p, -90);
            EXPECT_EQ(Values(p), Values(*original));
            p.MirrorHorizontal();
            p.MirrorVertical();
            p.Rotate(true, p, 180);
            EXPECT_EQ(bytes(p), bytes(*original)) << "padding bits never reach a pixel";
            // Odd widths of 1 and 4 bits: each row reversed value by value.
            p.MirrorHorizontal();
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(p.GetPixelValue(x, y), original->GetPixelValue(w - 1 - x, y)) << x << "," << y;
        }
    // Columns in several bands, and an abort in the second: columns 0 .. 1370 mirrored, the rest as before.
    auto wide = RandomPicture(rng, 1400, 5, 3);
    TPixelGraphic mirrored;
    mirrored.Assign(wide.get());
    TProgressLog log(mirrored);
    log.AbortAt = 1370;
    mirrored.MirrorVertical();
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 1400; ++x)
            ASSERT_EQ(mirrored.GetPixelValue(x, y), wide->GetPixelValue(x, x <= 1370 ? 4 - y : y))
                << x << "," << y;
    TPixelGraphic big, turned;
    big.SetFormat(768, 512, 3);
    turned.Rotate(true, big, 90);
    EXPECT_EQ(std::pair(turned.GetWidth(), turned.GetHeight()), std::pair(512, 768));
    // Without AdjustSize a source of the target's size is copied pixel for pixel at 0 degrees.
    auto source = RandomPicture(rng, 9, 6, 3);
    auto same = RandomPicture(rng, 9, 6, 3);
    same->Rotate(false, *source, 0);
    EXPECT_EQ(Values(*same), Values(*source));
}

// Quarter turns of random pictures in every format, odd and even sides over several tiles and bands, into
// a target of their turned size or of another (clipped and centred), with and without a handler that may
// abort: the pictures turned are pinned down to the byte by their checksums.
TEST(Rotate, QuarterTurnsGiveTheSameBytes) {
    const struct {
        uint8_t Format;
        int Width, Height, Angle;
        int TargetWidth, TargetHeight; // 0: AdjustSize
        bool Handler;
        uint64_t Sum;
    } cases[] = {
        {3, 1, 1, 90, 0, 0, false, 981454846921777624ull},
        {3, 13, 7, 90, 0, 0, false, 9875257324627695842ull},
        {3, 13, 7, 270, 0, 0, true, 14278637712504371467ull},
        {3, 131, 70, 90, 0, 0, true, 11807263311227714462ull},
        {3, 131, 70, -90, 0, 0, false, 15903590218487067301ull},
        {3, 257, 129, 270, 0, 0, false, 4833844406464378203ull},
        {3, 1000, 3, 90, 0, 0, false, 6261852090270961158ull},
        {3, 3, 1000, 270, 0, 0, true, 7312982586438206909ull},
        {3, 201, 99, 90, 150, 260, false, 4265594948365618467ull},
        {3, 201, 99, 270, 61, 45, true, 10026212894926408924ull},
        {2, 131, 70, 90, 0, 0, false, 11643495366683532410ull},
        {2, 257, 129, 270, 0, 0, true, 1624375254026071203ull},
        {1, 131, 70, 90, 0, 0, false, 18255369990329638829ull},
        {0, 131, 70, 270, 0, 0, true, 15978014261197646909ull},
    };
    // Without a handler the bands are spread over the worker pool: one thread or several, the same bytes.
    for (const int threads : {1, 3}) {
        TWorkerPool::Instance().SetThreadCount(threads);
        std::mt19937 rng(33);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << int(c.Format) << " bits, " << c.Width << "x" << c.Height
                                            << ", " << c.Angle << ", " << threads << " threads");
            auto source = RandomPicture(rng, c.Width, c.Height, c.Format);
            auto target = c.TargetWidth ? RandomPicture(rng, c.TargetWidth, c.TargetHeight, c.Format)
                                        : std::make_unique<TPixelGraphic>();
            if (!c.TargetWidth)
                target->SetBitCountNum(c.Format);
            target->CopyPalette(source.get());
            if (c.Handler)
                target->SetOnProgress([](TObject*, int, int, bool&) {});
            target->Rotate(!c.TargetWidth, *source, c.Angle);
            EXPECT_EQ(PictureChecksum(*target), c.Sum);
        }
    }
    TWorkerPool::Instance().SetThreadCount(0);
}

TEST(Transform, SamplesNearestOnQuarterTurnsAndBilinearOtherwise) {
    auto source = Gray24({{0, 100}, {200, 50}});
    for (const auto& [angle, expectInterpolated] : {std::pair{90.0L, false}, std::pair{90.5L, true}}) {
        TPixelGraphic target;
        target.SetFormat(2, 2, 3);
        target.SetInterpolate(1);
        target.Transform(1, 1, angle, 1, 1, 0, 0, 2, 2, *source);
        EXPECT_EQ(target.GetInterpolate(), 1);
        std::set<int> values;
        for (int y = 0; y < 2; ++y)
            for (int v : GrayRow(target, y))
                values.insert(v);
        const bool onlySourceValues = std::all_of(
            values.begin(), values.end(), [](int v) { return v == 0 || v == 100 || v == 200 || v == 50; });
        EXPECT_EQ(onlySourceValues, !expectInterpolated) << double(angle);
    }
}

TEST(Transform, ThirtyDegreesLiesWithinOneOfPilAffine) {
    SKIP_UNLESS_PIL();
    const TPnm photo = GeneratedPhoto(64, 48, 11);
    auto source = FromPnm(photo, 3);
    TPixelGraphic target;
    target.SetFormat(80, 70, 3);
    const int dcx = 40, dcy = 35, scx = 32, scy = 24;
    target.Transform(dcx, dcy, 30, scx, scy, 0, 0, 64, 48, *source);
    // The same inverse map for PIL, whose pixel centres lie at +0.5.
    const long double r = 30 * 3.1415926535897932385L / 180, c = std::cos(r), s = std::sin(r);
    const long double a = c, b = s, d = -s, e = c;
    const long double c0 = scx - (dcx * c + dcy * s), f0 = scy - (-dcx * s + dcy * c);
    const QStringList coefficients = {QString::number(double(a), 'g', 17),
                                      QString::number(double(b), 'g', 17),
                                      QString::number(double(c0 + 0.5 - 0.5 * (a + b)), 'g', 17),
                                      QString::number(double(d), 'g', 17),
                                      QString::number(double(e), 'g', 17),
                                      QString::number(double(f0 + 0.5 - 0.5 * (d + e)), 'g', 17)};
    const TToolResult result = RunPython(
        "import sys, io\nfrom PIL import Image\ni = Image.open(io.BytesIO(sys.stdin.buffer.read()))\n"
        "o = io.BytesIO(); i.transform((80, 70), Image.AFFINE, tuple(float(v) for v in sys.argv[1:]), "
        "Image.BILINEAR).save(o, 'PPM'); sys.stdout.buffer.write(o.getvalue())",
        coefficients, EncodePnm(photo));
    const std::optional<TPnm> theirs = DecodePnm(result.Out);
    ASSERT_TRUE(theirs) << result.Err.toStdString();
    const TPnm ours = PnmFromPicture(target);
    int checked = 0;
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 80; ++x) {
            const long double sx = (x - dcx) * c + (y - dcy) * s + scx,
                              sy = -(x - dcx) * s + (y - dcy) * c + scy;
            if (std::floor(sx) < 0 || std::ceil(sx) > 63 || std::floor(sy) < 0 || std::ceil(sy) > 47)
                continue;
            ++checked;
            for (int k = 0; k < 3; ++k)
                ASSERT_NEAR(ours.At(x, y, k), theirs->At(x, y, k), 1) << x << "," << y;
        }
    EXPECT_GT(checked, 2000);
}

// ---- Every operation: events, abort, failure, the source itself ----

TEST(GeometricOperations, AbortAndFailureEndCleanly) {
    struct Case {
        const char* Name;
        std::function<void(TPixelGraphic& target, TPixelGraphic& source)> Run;
        std::string Aborted, Failed; // events with Abort at step 0, and with a handler throwing at step 0
    };
    const Case cases[] = {
        {"StretchCopy", [](auto& t, auto& s) { t.StretchCopy(0, 0, 6, 5, 0, 0, 3, 3, s); }, "Sp0/4EC",
         "Sp0/4"},
        {"CopyRect", [](auto& t, auto& s) { t.CopyRect(0, 0, 3, 3, 0, 0, s); }, "Sp0/2EC", "Sp0/2"},
        {"Transform", [](auto& t, auto& s) { t.Transform(3, 2, 30, 1, 1, 0, 0, 3, 3, s); }, "Sp0/4EC",
         "Sp0/4"},
        {"Rotate", [](auto& t, auto& s) { t.Rotate(false, s, 45); }, "Sp0/4EC", "Sp0/4C"},
        {"Rotate 90", [](auto& t, auto& s) { t.Rotate(false, s, 90); }, "Sp0/2EC", "Sp0/2C"},
        {"MirrorHorizontal", [](auto& t, auto&) { t.MirrorHorizontal(); }, "Sp0/4EC", "Sp0/4"},
        {"MirrorVertical", [](auto& t, auto&) { t.MirrorVertical(); }, "Sp0/5EC", "Sp0/5"},
    };
    std::mt19937 rng(2);
    for (const Case& c : cases)
        for (bool fail : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Name << (fail ? " failing" : " aborted"));
            auto source = RandomPicture(rng, 3, 3, 3);
            auto target = RandomTarget(rng, 6, 5, 2, true);
            const std::vector<uint32_t> before = Values(*target);
            TProgressLog log(*target);
            (fail ? log.ThrowAt : log.AbortAt) = 0;
            try {
                c.Run(*target, *source);
            } catch (const std::runtime_error&) {
                EXPECT_TRUE(fail);
            }
            EXPECT_EQ(log.Text, fail ? c.Failed : c.Aborted);
            EXPECT_TRUE(target->GetErrorLimitTable().empty());
            EXPECT_EQ(target->GetColorCount(), 252);
            if (std::string(c.Name) == "MirrorVertical" && !fail) {
                // Column 0 is mirrored, the others are as before.
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 6; ++x)
                        EXPECT_EQ(target->GetPixelValue(x, y), before[size_t((x == 0 ? 4 - y : y) * 6 + x)]);
            }
        }
}

TEST(GeometricOperations, TheSourceItselfActsAsACopy) {
    std::mt19937 rng(4);
    const std::function<void(TPixelGraphic&, TPixelGraphic&)> operations[] = {
        [](auto& t, auto& s) { t.StretchCopy(1, 0, 9, 7, 0, 1, 6, 5, s); },
        [](auto& t, auto& s) { t.CopyRect(1, 2, 6, 5, 0, 0, s); },
        [](auto& t, auto& s) { t.CopyRect(0, 0, 6, 5, 1, 2, s); },
        [](auto& t, auto& s) { t.Transform(4, 3, 33, 3, 3, 0, 0, 8, 6, s); },
        [](auto& t, auto& s) { t.Rotate(true, s, 20); },
        [](auto& t, auto& s) { t.Rotate(true, s, 90); },
    };
    for (uint8_t format : {uint8_t(1), uint8_t(3)})
        for (size_t i = 0; i < std::size(operations); ++i) {
            auto picture = RandomPicture(rng, 8, 6, format);
            TPixelGraphic expected, copy;
            expected.Assign(picture.get());
            copy.Assign(picture.get());
            operations[i](expected, copy);
            operations[i](*picture, *picture);
            EXPECT_EQ(Values(*picture), Values(expected))
                << "operation " << i << ", " << int(format) << " bits";
        }
}

TEST(GeometricOperations, ThreadsMatchOneThread) {
    auto work = [](uint32_t seed) {
        TPixelGraphic source, palette, target;
        PictureFromPnm(GeneratedPhoto(160, 120, seed), source);
        BuildOptimizedPalette(palette, source, 252, true);
        target.SetFormat(100, 70, 2);
        target.CopyPalette(&palette);
        target.CopyFrom(source);
        target.Rotate(true, target, 30);
        return Values(target);
    };
    std::vector<std::vector<uint32_t>> alone, together(4);
    for (uint32_t i = 0; i < 4; ++i)
        alone.push_back(work(i));
    std::vector<std::thread> threads;
    for (uint32_t i = 0; i < 4; ++i)
        threads.emplace_back([&, i] { together[i] = work(i); });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(together, alone);
}

// ---- Checksums: the results of every case stay what they are, pixel for pixel ----

TEST(GeometricOperations, ChecksumsHoldInEveryTargetKind) {
    using TOperation = std::function<void(TPixelGraphic & source, const TTargetKind& kind, std::mt19937& rng,
                                          uint64_t& hash)>;
    const TOperation rotate = [](TPixelGraphic& source, const TTargetKind& kind, std::mt19937& rng,
                                 uint64_t& hash) {
        for (const long double angle : {30.0L, -30.0L, 0.5L, 45.0L, 95.5L, 123.4L, -200.7L, 359.9L, 90.0L})
            for (const uint8_t interpolate : {uint8_t(1), uint8_t(0)})
                for (const bool adjust : {true, false}) {
                    auto target = KindTarget(rng, kind, source.GetWidth() + 7, source.GetHeight() + 4);
                    target->SetInterpolate(interpolate);
                    target->Rotate(adjust, source, angle);
                    hash = PictureHash(*target, hash);
                }
    };
    const TOperation transform = [](TPixelGraphic& source, const TTargetKind& kind, std::mt19937& rng,
                                    uint64_t& hash) {
        // Centres off the middle, a source rectangle partly outside its picture, a target partly missed.
        for (const long double angle : {17.25L, -61.0L, 150.0L})
            for (const uint8_t interpolate : {uint8_t(1), uint8_t(0)}) {
                auto target = KindTarget(rng, kind, 40, 33);
                target->SetInterpolate(interpolate);
                target->Transform(31, 5, angle, 3, 7, -4, 2, source.GetWidth(), source.GetHeight() - 5,
                                  source);
                hash = PictureHash(*target, hash);
            }
    };
    const TOperation stretch = [](TPixelGraphic& source, const TTargetKind& kind, std::mt19937& rng,
                                  uint64_t& hash) {
        const int w = source.GetWidth(), h = source.GetHeight();
        struct TRect {
            int DestX, DestY, DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight;
        };
        const TRect rects[] = {
            {0, 0, 3 * w + 1, 2 * h + 3, 0, 0, w, h},     // enlarging
            {0, 0, w / 3, h / 2 + 1, 0, 0, w, h},         // shrinking
            {0, 0, 2 * w - 1, h / 3, 0, 0, w, h},         // wider and lower
            {-3, 2, 50, 40, 2, -1, w - 5, h / 2},         // clipped on both sides
            {1, 1, 4 * w, 4 * h, 1, 2, w / 4 + 1, h / 4}, // a corner blown up
        };
        for (const TStretchMode mode : {smFast, smMedium, smPrecise})
            for (const TRect& r : rects) {
                auto target = KindTarget(rng, kind, std::max(45, r.DestWidth), std::max(33, r.DestHeight));
                target->SetStretchMode(mode);
                target->StretchCopy(r.DestX, r.DestY, r.DestWidth, r.DestHeight, r.SrcX, r.SrcY, r.SrcWidth,
                                    r.SrcHeight, source);
                hash = PictureHash(*target, hash);
            }
    };
    struct TRow {
        const char* Operation;
        const TOperation& Run;
        uint64_t Hashes[std::size(ChecksumTargets)];
    };
    const TRow rows[] = {
        {"Rotate",
         rotate,
         {10548913387132291639u, 11760434267710963712u, 2373360808318986704u, 10377255550625961443u,
          8370628149313984109u, 3329744108374740710u}},
        {"Transform",
         transform,
         {17923971967194876253u, 17501578977752002772u, 7843062741877648222u, 12410880028468203790u,
          11574488523052944805u, 11317474354239706730u}},
        {"StretchCopy",
         stretch,
         {4331667165197526739u, 4235511367165745274u, 8878183675503031105u, 4610244081520935728u,
          15965473978299091950u, 17348107506558302054u}},
    };
    const auto sources = ChecksumSources();
    for (const int threads : {1, 3}) {
        TWorkerPool::Instance().SetThreadCount(threads);
        for (const TRow& row : rows)
            for (size_t k = 0; k < std::size(ChecksumTargets); ++k) {
                std::mt19937 rng(7);
                uint64_t hash = PictureHash(TPixelGraphic());
                for (const auto& source : sources)
                    row.Run(*source, ChecksumTargets[k], rng, hash);
                EXPECT_EQ(hash, row.Hashes[k])
                    << row.Operation << " into " << ChecksumTargets[k].Name << ", " << threads << " threads";
            }
    }
    TWorkerPool::Instance().SetThreadCount(0);
}
