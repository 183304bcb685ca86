#include "image-library/PGFilters.h"
#include "framework/Thread.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/TestPictures.h"

#include <climits>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace {

std::vector<int> Table(const TBCGFilter& f) {
    return {f.LevelTable.begin(), f.LevelTable.end()};
}

std::vector<int> TableOf(const std::function<int(int)>& entry) {
    std::vector<int> t;
    for (int i = 0; i < 256; ++i)
        t.push_back(entry(i));
    return t;
}

// The table as SetSource builds it for these parameters.
TBCGFilter Configured(int brightness, long double contrast, long double gamma) {
    TBCGFilter f;
    f.Brightness = brightness;
    f.Contrast = contrast;
    f.Gamma = gamma;
    f.SetSource(nullptr);
    return f;
}

// The 256 levels as one gray row, through a netpbm program.
std::vector<int> ThroughTool(const QStringList& args) {
    TPnm ramp{256, 1, 1, 255, {}};
    for (int i = 0; i < 256; ++i)
        ramp.Samples.push_back(uint16_t(i));
    const TToolResult r = RunTool("pnmgamma", args, EncodePnm(ramp));
    const std::optional<TPnm> out = DecodePnm(r.Out);
    if (r.ExitCode != 0 || !out)
        return {};
    return {out->Samples.begin(), out->Samples.end()};
}

// The luminance mode written out from its definition, with the coefficients spelled here.
TColor ReferenceLuminance(const TPGFilter::TLevelTable& table, TColor c) {
    const long double k = 1.0L / 255;
    const long double r = GetRValue(c) * k, g = GetGValue(c) * k, b = GetBValue(c) * k;
    const long double Y = 0.299L * r + 0.587L * g + 0.114L * b;
    const long double Cb = -0.169L * r - 0.331L * g + 0.5L * b;
    const long double Cr = 0.5L * r - 0.419L * g - 0.081L * b;
    const long double y = Y * 255;
    const long double p = std::floor(y);
    const int i = int(p);
    const long double level =
        i >= 255 ? table[255] * k : ((1 - (y - p)) * table[size_t(i)] + (y - p) * table[size_t(i) + 1]) * k;
    const auto channel = [](long double v) {
        return uint8_t(std::clamp<long double>(std::nearbyint(v * 255), 0, 255));
    };
    return RGB(channel(level + 1.403L * Cr), channel(level - 0.344L * Cb - 0.714L * Cr),
               channel(level + 1.773L * Cb));
}

} // namespace

TEST(BCGFilter, LevelTableFollowsTheParametersByHand) {
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    struct Case {
        const char* Name;
        int Brightness;
        long double Contrast, Gamma;
        std::function<int(int)> Entry;
    };
    const Case cases[] = {
        {"identity", 0, 1, 1, [](int i) { return i; }},
        {"contrast 0", 0, 0, 1, [](int) { return 128; }},
        {"contrast 0, brightness 1: 130.05", 1, 0, 1, [](int) { return 130; }},
        {"contrast 0, brightness -1: 124.95", -1, 0, 1, [](int) { return 125; }},
        {"contrast 0, brightness 50", 50, 0, 1, [](int) { return 255; }},
        {"brightness 100", 100, 1, 1, [](int) { return 255; }},
        {"brightness -100", -100, 1, 1, [](int) { return 0; }},
        {"gamma 0: every level to 1", 0, 1, 0, [](int) { return 255; }},
        {"gamma 0, contrast 0.5: 191.25", 0, 0.5L, 0, [](int) { return 191; }},
        {"negative contrast mirrors", 0, -1, 1, [](int i) { return 255 - i; }},
        {"contrast 0.5: i / 2 + 63.75", 0, 0.5L, 1, [](int i) { return i / 2 + 64; }},
        {"NaN contrast", 0, nan, 1, [](int) { return 0; }},
        {"NaN gamma keeps levels 0 and 255", 0, 1, nan, [](int i) { return i == 255 ? 255 : 0; }},
        {"largest brightness", INT32_MAX, 1, 1, [](int) { return 255; }},
        {"smallest brightness", INT32_MIN, 1, 1, [](int) { return 0; }},
        {"infinite contrast", 0, std::numeric_limits<long double>::infinity(), 1,
         [](int i) { return i < 128 ? 0 : 255; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Table(Configured(c.Brightness, c.Contrast, c.Gamma)), TableOf(c.Entry));
    }

    TBCGFilter fresh;
    EXPECT_EQ(fresh.Brightness, 1);
    EXPECT_EQ(Table(fresh), TableOf([](int) { return 0; })) << "zeros until the first run";
    fresh.SetSource(nullptr);
    EXPECT_EQ(Table(fresh), TableOf([](int i) { return std::min(i + 3, 255); }));
    EXPECT_EQ(fresh.LevelTable[0], 3);
    EXPECT_EQ(fresh.LevelTable[252], 255);
}

TEST(BCGFilter, GammaTableEqualsPnmgamma) {
    SKIP_UNLESS_TOOL("pnmgamma");
    for (long double gamma : {2.0L, 0.5L}) {
        SCOPED_TRACE(double(gamma));
        const std::vector<int> expected = ThroughTool({"-ungamma", QString::number(double(gamma))});
        ASSERT_EQ(expected.size(), 256u);
        EXPECT_EQ(Table(Configured(0, 1, gamma)), expected);
    }
}

TEST(NegativeFilter, EqualsPnminvertAndUndoesItself) {
    std::mt19937 rng(11);
    const TPnm photo = GeneratedPhoto(61, 37, 5);
    TPixelGraphic truecolor;
    PictureFromPnm(photo, truecolor);
    // An 8-bit picture with a full random table: the negative changes the table only.
    const std::unique_ptr<TPixelGraphic> paletted = RandomPicture(rng, 53, 29, 2);
    paletted->SetColorCount(256);
    for (int i = 0; i < 256; ++i)
        paletted->SetPaletteColor(i, TColor(rng() & 0xFFFFFF));

    for (TPixelGraphic* p : {&truecolor, paletted.get()}) {
        SCOPED_TRACE(p->GetBitCount());
        const TPnm before = PnmFromPicture(*p);
        TNegativeFilter negative;
        p->ApplyFilter(negative, *p);
        const TPnm once = PnmFromPicture(*p);
        EXPECT_NE(once, before);
        if (ToolAvailable("pnminvert")) {
            const TToolResult r = RunTool("pnminvert", {}, EncodePnm(before));
            ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
            EXPECT_EQ(DecodePnm(r.Out), once);
        } else {
            std::cout << "pnminvert is not installed: the oracle part is skipped\n";
        }
        p->ApplyFilter(negative, *p);
        EXPECT_EQ(PnmFromPicture(*p), before) << "the negative of the negative";
    }
    TNegativeFilter negative;
    EXPECT_EQ(negative.FilterColor(clBlack), clWhite);
}

TEST(BCGFilter, ApplyColorEqualsTheDefinitionInBothModes) {
    struct Case {
        int Brightness;
        long double Contrast, Gamma;
    };
    const Case cases[] = {{0, 1, 1}, {10, 1.5L, 0.7L}, {-35, 0.8L, 2.2L}, {100, 1, 1}, {1, 3, 1}};
    std::mt19937 rng(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.Brightness << " " << double(c.Contrast) << " " << double(c.Gamma));
        TBCGFilter f = Configured(c.Brightness, c.Contrast, c.Gamma);
        for (int n = 0; n < 20000; ++n) {
            const TColor color = TColor(rng() & 0xFFFFFF);
            f.UseY = false;
            const auto& t = f.LevelTable;
            ASSERT_EQ(f.ApplyColor(color),
                      RGB(t[GetRValue(color)], t[GetGValue(color)], t[GetBValue(color)]));
            f.UseY = true;
            ASSERT_EQ(f.ApplyColor(color), ReferenceLuminance(t, color)) << std::hex << color;
        }
        // A gray keeps red, green and blue equal; only its level moves.
        for (int g = 0; g < 256; ++g) {
            const TColor out = f.ApplyColor(RGB(uint8_t(g), uint8_t(g), uint8_t(g)));
            ASSERT_TRUE(GetRValue(out) == GetGValue(out) && GetGValue(out) == GetBValue(out)) << g;
        }
    }
    TBCGFilter identity = Configured(0, 1, 1);
    identity.UseY = true;
    for (TColor c : {clBlack, clWhite, RGB(10, 200, 30), RGB(255, 0, 0)})
        EXPECT_EQ(identity.ApplyColor(c), ReferenceLuminance(identity.LevelTable, c));
}

// Checksums of the brightness, contrast and gamma filter in both modes, into a 24-bit target, a diffused
// 8-bit one and the source itself, over several parameter sets: the results stay what they are.
TEST(BCGFilter, ChecksumsHoldInBothModes) {
    struct TParameters {
        int Brightness;
        long double Contrast, Gamma;
    };
    const TParameters sets[] = {{0, 1, 1},      {1, 1, 1},    {20, 1.3L, 0.8L}, {-35, 0.7L, 2.2L},
                                {100, 3, 0.3L}, {-100, 0, 1}, {7, 1.05L, 1.5L}};
    struct TRow {
        bool UseY;
        const char* Target; // "24", "8" (pSpecial252 diffused) or "self"
        uint64_t Hash;
    };
    const TRow rows[] = {{false, "24", 17234416225813350111u}, {false, "8", 11571600102451780751u},
                         {false, "self", 63692716317945703u},  {true, "24", 85898812391768177u},
                         {true, "8", 17434823081962891462u},   {true, "self", 239987777903491674u}};
    for (const int threads : {1, 3})
        for (const TRow& row : rows) {
            TWorkerPool::Instance().SetThreadCount(threads);
            uint64_t hash = PictureHash(TPixelGraphic());
            for (const TParameters& p : sets)
                for (const auto& source : ChecksumSources()) {
                    TBCGFilter filter;
                    filter.Brightness = p.Brightness;
                    filter.Contrast = p.Contrast;
                    filter.Gamma = p.Gamma;
                    filter.UseY = row.UseY;
                    const std::string target = row.Target;
                    if (target == "self") {
                        source->ApplyFilter(filter, *source);
                        hash = PictureHash(*source, hash);
                        continue;
                    }
                    TPixelGraphic result;
                    result.SetFormat(1, 1, target == "24" ? 3 : 2);
                    if (target == "8") {
                        result.SetPaletteIdent(pSpecial252);
                        result.SetDither(true);
                    }
                    result.ApplyFilter(filter, *source);
                    hash = PictureHash(result, hash);
                }
            EXPECT_EQ(hash, row.Hash) << (row.UseY ? "luminance" : "channels") << " into " << row.Target
                                      << ", " << threads << " threads";
        }
    TWorkerPool::Instance().SetThreadCount(0);
}
