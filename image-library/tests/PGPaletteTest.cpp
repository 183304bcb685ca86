#include "image-library/PGExceptions.h"
#include "image-library/PGStandardPalettes.h"
#include "image-library/PGraphic.h"

#include <gtest/gtest.h>
#include <random>

namespace {

constexpr TColor Gray(int v) {
    return RGB(uint8_t(v), uint8_t(v), uint8_t(v));
}

int Distance(TColor a, TColor b) {
    const int dr = GetRValue(a) - GetRValue(b), dg = GetGValue(a) - GetGValue(b),
              db = GetBValue(a) - GetBValue(b);
    return dr * dr + dg * dg + db * db;
}

// The reference answer, a search of every entry: the lowest index at the smallest distance, and whether
// another entry is as near.
struct Nearest {
    int Index = -1, Distance = INT32_MAX;
    bool Tied = false;
};
Nearest Search(const TPixelGraphic& p, TColor c) {
    Nearest n;
    for (int i = 0; i < p.GetColorCount(); ++i) {
        const int d = Distance(p.IndexToColor(uint32_t(i)), c);
        if (d < n.Distance)
            n = {i, d, false};
        else if (d == n.Distance)
            n.Tied = true;
    }
    return n;
}

TColor RandomColor(std::mt19937& random) {
    return TColor(random() & 0xFFFFFF);
}

std::unique_ptr<TPixelGraphic> PictureWith(TPaletteIdent kind, const std::vector<TColor>& table = {}) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(4, 4, 2);
    p->SetPaletteIdent(kind);
    if (!table.empty()) {
        p->SetColorCount(int(table.size()));
        for (size_t i = 0; i < table.size(); ++i)
            p->SetPaletteColor(int(i), table[i]);
    }
    return p;
}

} // namespace

TEST(PaletteIdent, StandardKindBuildsItsTableAndRepeatingItChangesNothing) {
    auto p = PictureWith(pGray16);
    ASSERT_EQ(p->GetColorCount(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(p->IndexToColor(uint32_t(i)), Gray(17 * i));
    EXPECT_EQ(p->GetPaletteIdent(), pGray16);
    p->ColorToIndex(clWhite);
    p->SetPaletteIdent(pGray16);
    EXPECT_FALSE(p->GetLastColorStale()) << "the same kind again keeps even the caches";
}

TEST(PaletteIdent, ViewerRequestsKeepTableAndKindButDropTheCaches) {
    auto p = PictureWith(pUnknown, {clBlack, clWhite, RGB(255, 0, 0)});
    for (TPaletteIdent request : {pSource, pOptimized252Sys16}) {
        p->ColorToIndex(RGB(200, 10, 10));
        ASSERT_FALSE(p->GetLookupTableStale());
        p->SetPaletteIdent(request);
        EXPECT_EQ(p->GetPaletteIdent(), pUnknown);
        EXPECT_EQ(p->IndexToColor(2), RGB(255, 0, 0));
        EXPECT_TRUE(p->GetLastColorStale());
        EXPECT_TRUE(p->GetLookupTableStale());
    }
}

TEST(DetectPaletteIdent, RecognisesTablesBuiltEntryByEntryInRuleOrder) {
    for (int k = pBlackWhite; k <= pSpecial252; ++k) {
        const auto table = StandardPalette(TPaletteIdent(k));
        auto p = PictureWith(pNone, std::vector<TColor>(table.begin(), table.end()));
        EXPECT_EQ(p->GetPaletteIdent(), pUnknown);
        p->DetectPaletteIdent();
        EXPECT_EQ(p->GetPaletteIdent(), TPaletteIdent(k));
    }
    auto p = PictureWith(pNone, {Gray(0), Gray(85), Gray(170), Gray(255)});
    p->DetectPaletteIdent();
    EXPECT_EQ(p->GetPaletteIdent(), pGray4) << "not pSysGray4";
    EXPECT_TRUE(p->GetAllGray());
    p->SetPaletteColor(3, RGB(255, 255, 254));
    p->DetectPaletteIdent();
    EXPECT_EQ(p->GetPaletteIdent(), pUnknown);
    EXPECT_FALSE(p->GetAllGray());
    p->SetColorCount(0);
    p->DetectPaletteIdent();
    EXPECT_EQ(p->GetPaletteIdent(), pNone);
}

TEST(ColorTable, TrueColourPictureMayCarryATableItsSectionCannotHold) {
    TPixelGraphic p;
    p.SetFormat(3, 3, 3);
    p.SetPaletteIdent(pGray256);
    p.SetPaletteColor(255, RGB(200, 10, 10));
    EXPECT_EQ(p.GetBitmapInfo()->bmiColors.size(), 0u);
    EXPECT_EQ(p.GetBitmapInfo()->bmiHeader.biClrUsed, 0u);
    EXPECT_EQ(p.ColorToIndex(RGB(200, 10, 10)), 255);
    EXPECT_THROW(p.SetPaletteColor(256, clWhite), EPGInvalidPaletteIndex);
}

TEST(ColorToIndex, FormulasMeetTheirBoundaries) {
    auto bw = PictureWith(pBlackWhite);
    bw->SetWeightedGray(false);
    EXPECT_EQ(bw->ColorToIndex(RGB(127, 127, 128)), 0) << "intensity 382";
    EXPECT_EQ(bw->ColorToIndex(RGB(127, 128, 128)), 1) << "intensity 383";
    auto cube125 = PictureWith(pSpecial125);
    EXPECT_EQ(cube125->ColorToIndex(RGB(223, 0, 0)), 3 * 25);
    EXPECT_EQ(cube125->ColorToIndex(RGB(224, 0, 0)), 4 * 25);
    auto cube216 = PictureWith(pSpecial216);
    EXPECT_EQ(cube216->ColorToIndex(RGB(0, 0, 26)), 0);
    EXPECT_EQ(cube216->ColorToIndex(RGB(0, 0, 27)), 1);
    auto g256 = PictureWith(pGray256);
    EXPECT_EQ(g256->ColorToIndex(RGB(0, 255, 0)), 150) << "weighted: (449 + 1) div 3";
    auto g236 = PictureWith(pGray236); // grays 0, 1, 2, 3, 4, 5, 7, 8, ...
    EXPECT_EQ(g236->ColorToIndex(Gray(6)), 5) << "as near to 5 as to 7: the lower entry";
    EXPECT_EQ(g236->ColorToIndex(Gray(7)), 6);
    auto sys = PictureWith(pSys16);
    EXPECT_EQ(sys->ColorToIndex(RGB(127, 127, 240)), 7) << "silver is nearer than gray or blue";
    EXPECT_EQ(sys->ColorToIndex(RGB(64, 0, 64)), 5) << "as near to black, which is no candidate of the cell";
}

TEST(ColorToIndex, CacheAnswersRepeatsUntilTheTableOrAnOptionChanges) {
    auto p = PictureWith(pUnknown, {clBlack, clWhite});
    EXPECT_EQ(p->ColorToIndex(Gray(200)), 1);
    EXPECT_FALSE(p->GetLastColorStale());
    EXPECT_EQ(p->ColorToIndex(Gray(200)), 1);
    p->SetPaletteColor(0, Gray(190));
    EXPECT_EQ(p->ColorToIndex(Gray(200)), 0) << "the new entry is nearer";
    p->SetWeightedGray(false);
    EXPECT_TRUE(p->GetLastColorStale());
    p->ColorToIndex(Gray(200));
    p->SetFastColorLookup(false);
    EXPECT_TRUE(p->GetLastColorStale());
}

TEST(ColorToIndex, NoPaletteRaisesEveryTimeAndLeavesNoStaleAnswer) {
    auto p = PictureWith(pGray256);
    EXPECT_EQ(p->ColorToIndex(Gray(99)), 99);
    p->SetColorCount(0);
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_THROW(p->ColorToIndex(Gray(99)), EPGNoPalette) << "attempt " << attempt;
}

// The inverse table gives a cell to the entry whose shell of cells reaches it in the earliest pass, which is
// not always the nearest entry of every colour in the cell.
TEST(ColorToIndex, InverseTableGivesNearCellsToTheFirstShellAndFillsFarCellsOnUse) {
    auto p = PictureWith(pUnknown, {clBlack, RGB(40, 0, 0)}); // red cells 0 and 5
    EXPECT_EQ(p->ColorToIndex(RGB(23, 0, 0)), 0) << "red cell 2: two steps from entry 0, three from entry 1";
    EXPECT_EQ(p->ColorToIndex(RGB(24, 0, 0)), 1);
    p->SetFastColorLookup(false);
    EXPECT_EQ(p->ColorToIndex(RGB(23, 0, 0)), 1) << "the plain search: 17 is nearer than 23";

    auto q = PictureWith(pUnknown, {clBlack, RGB(250, 251, 250)}); // a cell beyond four steps of both:
    EXPECT_EQ(q->ColorToIndex(RGB(120, 124, 120)), 0);             // filled by the first colour asked
    EXPECT_EQ(q->ColorToIndex(RGB(127, 127, 127)), 0);
    q->SetFastColorLookup(false);
    EXPECT_EQ(q->ColorToIndex(RGB(127, 127, 127)), 1);

    std::vector<TColor> wide(300, clBlack); // entries the table's bytes could not hold are searched in full
    wide[299] = RGB(10, 200, 30);
    EXPECT_EQ(PictureWith(pUnknown, wide)->ColorToIndex(RGB(12, 200, 30)), 299);
}

TEST(ColorToIndex, FastAndPlainLookupsAgreeNearEntries) {
    std::mt19937 random(7);
    std::vector<TColor> table; // entries nine or more cells apart on every axis
    for (int j = 0; j < 32; j += 9)
        for (int k = 0; k < 64; k += 9)
            for (int l = 0; l < 32; l += 9)
                table.push_back(RGB(uint8_t(j * 8 + random() % 8), uint8_t(k * 4 + random() % 4),
                                    uint8_t(l * 8 + random() % 8)));
    auto fast = PictureWith(pUnknown, table);
    int compared = 0;
    for (int i = 0; i < 20000; ++i) {
        const TColor c = RandomColor(random);
        const Nearest n = Search(*fast, c);
        const TColor e = table[size_t(n.Index)];
        if (n.Tied || std::abs(GetRValue(c) / 8 - GetRValue(e) / 8) > 4 ||
            std::abs(GetGValue(c) / 4 - GetGValue(e) / 4) > 4 ||
            std::abs(GetBValue(c) / 8 - GetBValue(e) / 8) > 4)
            continue;
        ++compared;
        ASSERT_EQ(fast->ColorToIndex(c), n.Index) << std::hex << c;
    }
    EXPECT_GT(compared, 1000);
}

TEST(ColorToIndex, SearchingKindsReturnAnEntryAtTheSmallestDistance) {
    std::mt19937 random(2024);
    std::vector<TColor> table(200);
    for (TColor& c : table)
        c = RandomColor(random);
    auto unknown = PictureWith(pUnknown, table);
    unknown->SetFastColorLookup(false);
    const auto special = PictureWith(pSpecial252), sys = PictureWith(pSys16);
    for (TPixelGraphic* p : {special.get(), sys.get(), unknown.get()})
        for (int i = 0; i < 100000; ++i) {
            const TColor c = RandomColor(random);
            ASSERT_EQ(Distance(p->IndexToColor(uint32_t(p->ColorToIndex(c))), c), Search(*p, c).Distance)
                << "kind " << int(p->GetPaletteIdent()) << " colour " << std::hex << c;
        }
}
