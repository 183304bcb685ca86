#include "image-library/PGQuantize.h"
#include "image-library/PGStandardPalettes.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/ProgressLog.h"

#include <gtest/gtest.h>

namespace {

std::vector<TColor> Table(const TPixelGraphic& p) {
    std::vector<TColor> t;
    for (int i = 0; i < p.GetColorCount(); ++i)
        t.push_back(p.IndexToColor(uint32_t(i)));
    return t;
}

std::vector<TColor> SystemColors(size_t count) {
    const std::span<const TColor> s = StandardPalette(pSys16);
    return {s.begin(), s.begin() + ptrdiff_t(count)};
}

// A 24-bit picture whose pixels cycle through the given colours.
std::unique_ptr<TPixelGraphic> TrueColor(int w, int h, const std::vector<TColor>& colors) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelColor(x, y, colors[size_t(y * w + x) % colors.size()]);
    return p;
}

// An 8-bit picture with the given table whose pixels cycle through the given indices.
std::unique_ptr<TPixelGraphic> Paletted(int w, int h, const std::vector<TColor>& table,
                                        const std::vector<int>& indices) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(w, h, 2);
    p->SetColorCount(int(table.size()));
    for (size_t i = 0; i < table.size(); ++i)
        p->SetPaletteColor(int(i), table[i]);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->SetPixelValue(x, y, uint32_t(indices[size_t(y * w + x) % indices.size()]));
    return p;
}

TColor CellCentre(TColor c) {
    return RGB(uint8_t(GetRValue(c) / 8 * 8 + 4), uint8_t(GetGValue(c) / 4 * 4 + 2),
               uint8_t(GetBValue(c) / 8 * 8 + 4));
}

const TColor Red = RGB(255, 0, 0);

// Mean squared error of every pixel mapped to its exactly nearest table entry.
double MappedError(const TPnm& picture, const std::vector<TColor>& table) {
    double sum = 0;
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x) {
            int best = INT_MAX;
            for (TColor c : table) {
                const int dr = picture.At(x, y, 0) - GetRValue(c), dg = picture.At(x, y, 1) - GetGValue(c),
                          db = picture.At(x, y, 2) - GetBValue(c);
                best = std::min(best, dr * dr + dg * dg + db * db);
            }
            sum += best;
        }
    return sum / (double(picture.Width) * picture.Height * 3);
}

} // namespace

TEST(BuildOptimizedPalette, EarlyExitAndLimitsOfMaxColors) {
    struct Case {
        int W, H, MaxColors;
        bool Reserve16;
        std::vector<TColor> Expected;
    };
    const std::vector<Case> cases = {
        {0, 0, 252, true, SystemColors(16)},
        {4, 4, 16, true, SystemColors(16)},
        {0, 0, 10, false, SystemColors(10)},
        {4, 4, 12, true, SystemColors(12)},
        {4, 4, -1, false, {}},
        {4, 4, 0, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " MaxColors " << c.MaxColors);
        auto source = TrueColor(std::max(c.W, 1), std::max(c.H, 1), {Red});
        if (c.W == 0)
            source->SetFormat(0, 0, 3);
        TPixelGraphic dest;
        dest.SetFormat(2, 2, 2);
        TProgressLog log(dest);
        BuildOptimizedPalette(dest, *source, c.MaxColors, c.Reserve16);
        EXPECT_EQ(Table(dest), c.Expected);
        EXPECT_EQ(log.Text, "") << "no rows are counted";
    }

    // More than 256 entries would overrun the boxes: 1000 means 256.
    TPnm photo = GeneratedPhoto(64, 64);
    TPixelGraphic source, dest;
    PictureFromPnm(photo, source);
    auto lastSixteen = [&] {
        const std::vector<TColor> table = Table(dest);
        return std::vector<TColor>(table.end() - 16, table.end());
    };
    BuildOptimizedPalette(dest, source, 1000, true);
    EXPECT_EQ(dest.GetColorCount(), 256);
    EXPECT_EQ(lastSixteen(), SystemColors(16));
    BuildOptimizedPalette(dest, source, 252, true);
    EXPECT_EQ(dest.GetColorCount(), 252);
    EXPECT_EQ(dest.GetPaletteIdent(), pUnknown);
    EXPECT_EQ(lastSixteen(), SystemColors(16));
}

TEST(BuildOptimizedPalette, BoxCutOfTrueColourSources) {
    const TColor a = RGB(10, 200, 33), b = RGB(250, 1, 90), c = RGB(100, 101, 102);
    struct Case {
        std::vector<TColor> Pixels;
        int MaxColors;
        bool Reserve16;
        std::vector<TColor> Expected;
    };
    std::vector<TColor> oneColor = {CellCentre(a)};
    std::vector<TColor> withSystem = oneColor;
    const std::vector<TColor> system = SystemColors(16);
    withSystem.insert(withSystem.end(), system.begin(), system.end());
    const std::vector<Case> cases = {
        {{a}, 236, false, oneColor},
        {{a}, 252, true, withSystem},
        // Fewer cells than entries: splitting stops when no box has an extent; the entries are the cells.
        {{a, b, c}, 20, false, {CellCentre(a), CellCentre(c), CellCentre(b)}},
        // One entry for three colours: the weighted mean of the cell centres (counts 2, 1, 1).
        {{a, a, b, c},
         1,
         false,
         {RGB(uint8_t((2 * 12 + 252 + 100 + 2) / 4), uint8_t((2 * 202 + 2 + 102 + 2) / 4),
              uint8_t((2 * 36 + 92 + 100 + 2) / 4))}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.Pixels.size() << " colours, MaxColors " << k.MaxColors);
        auto source = TrueColor(4, 3, k.Pixels);
        TPixelGraphic dest;
        BuildOptimizedPalette(dest, *source, k.MaxColors, k.Reserve16);
        auto table = Table(dest);
        if (k.Pixels.size() == 3)
            std::sort(table.begin(), table.end(),
                      [](TColor x, TColor y) { return GetRValue(x) < GetRValue(y); });
        EXPECT_EQ(table, k.Expected);
    }
}

TEST(BuildOptimizedPalette, OctreeOfPalettedSources) {
    const TColor black = clBlack, white = clWhite;
    std::vector<TColor> gray(256);
    for (int i = 0; i < 256; ++i)
        gray[size_t(i)] = RGB(uint8_t(i), uint8_t(i), uint8_t(i));
    gray[7] = black, gray[100] = white, gray[200] = Red;
    struct Case {
        std::vector<int> Indices;
        int MaxColors;
        std::vector<TColor> Expected; // empty: only the count is checked
        int Count;
    };
    const std::vector<Case> cases = {
        // Three used entries of 256 reach level 8: their exact colours, in the tree's order.
        {{7, 100, 200}, 3, {black, Red, white}, 3},
        {{7, 100, 200}, 200, {black, Red, white}, 3},
        // One entry: the count-weighted mean (black 1, white 2, red 1), rounded down.
        {{7, 100, 100, 200}, 1, {RGB(191, 127, 127)}, 1},
        // Two allowed: the merged root would leave one entry; the used entries are cut into boxes instead.
        {{7, 100, 100, 200}, 2, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Indices.size() << " pixels, MaxColors " << c.MaxColors);
        auto source = Paletted(4, 2, gray, c.Indices);
        TPixelGraphic dest;
        BuildOptimizedPalette(dest, *source, c.MaxColors, false);
        EXPECT_EQ(dest.GetColorCount(), c.Count);
        if (!c.Expected.empty()) {
            EXPECT_EQ(Table(dest), c.Expected);
        }
    }

    // A colour picture with many entries to two colours: two entries, and the dark and the light half apart.
    std::vector<int> all(256);
    for (int i = 0; i < 256; ++i)
        all[size_t(i)] = i;
    TPixelGraphic colourful;
    colourful.SetFormat(16, 16, 2);
    colourful.SetPaletteIdent(pSpecial252);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            colourful.SetPixelValue(x, y, uint32_t(y * 16 + x) % 252);
    TPixelGraphic two;
    BuildOptimizedPalette(two, colourful, 2, false);
    EXPECT_EQ(two.GetColorCount(), 2);

    // The picture as its own destination: the table is read before it is replaced; indices beyond the table
    // (here 9) count as the first entry.
    auto self = Paletted(4, 2, {black, white, Red}, {0, 1, 2, 9});
    BuildOptimizedPalette(*self, *self, 8, false);
    EXPECT_EQ(Table(*self), (std::vector<TColor>{black, Red, white}));
}

TEST(BuildOptimizedPalette, ProgressPerSourceRowAndAbortKeepsCountedRows) {
    // Row 0 red, the other rows blue; an abort after row 0 leaves only red.
    auto source = TrueColor(3, 3, {Red, Red, Red, RGB(0, 0, 255), RGB(0, 0, 255), RGB(0, 0, 255)});
    source->SetPixelColor(0, 2, RGB(0, 0, 255));
    for (int abortAt : {-1, 0}) {
        TPixelGraphic dest;
        TProgressLog log(dest);
        log.AbortAt = abortAt;
        BuildOptimizedPalette(dest, *source, 10, false);
        EXPECT_EQ(log.Text, abortAt < 0 ? "p0/2p1/2p2/2" : "p0/2") << "only OnProgress of Dest fires";
        const std::vector<TColor> table = Table(dest);
        EXPECT_EQ(table.size(), abortAt < 0 ? 2u : 1u);
        EXPECT_EQ(table.back(), CellCentre(Red)) << "red sorts after blue in the box split";
    }
    auto paletted = Paletted(2, 2, {Red, clWhite}, {0, 0, 1, 1});
    TPixelGraphic dest;
    TProgressLog log(dest);
    log.AbortAt = 0;
    BuildOptimizedPalette(dest, *paletted, 10, false);
    EXPECT_EQ(Table(dest), std::vector<TColor>{Red});
}

TEST(BuildOptimizedPalette, QualityComparesWithPnmcolormap) {
    SKIP_UNLESS_TOOL("pnmcolormap");
    const TPnm photo = GeneratedPhoto(320, 240, 7);
    const TToolResult result =
        RunTool(QStringLiteral("pnmcolormap"), {QStringLiteral("236")}, EncodePnm(photo));
    const std::optional<TPnm> map = DecodePnm(result.Out);
    ASSERT_TRUE(map) << result.Err.toStdString();
    std::vector<TColor> reference;
    for (int y = 0; y < map->Height; ++y)
        for (int x = 0; x < map->Width; ++x)
            reference.push_back(
                RGB(uint8_t(map->At(x, y, 0)), uint8_t(map->At(x, y, 1)), uint8_t(map->At(x, y, 2))));

    TPixelGraphic source, dest;
    PictureFromPnm(photo, source);
    BuildOptimizedPalette(dest, source, 236, false);
    EXPECT_LE(dest.GetColorCount(), 236);
    const double ours = MappedError(photo, Table(dest)), theirs = MappedError(photo, reference);
    EXPECT_LE(ours, 1.25 * theirs) << "ours " << ours << ", pnmcolormap " << theirs;
}
