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

// The reference answer: a plain search of every entry.
int SmallestDistance(const TPixelGraphic& p, TColor c) {
    int best = INT32_MAX;
    for (int i = 0; i < p.GetColorCount(); ++i)
        best = std::min(best, Distance(p.IndexToColor(uint32_t(i)), c));
    return best;
}

int UniqueNearest(const TPixelGraphic& p, TColor c) {
    int best = -1, bestDistance = INT32_MAX, ties = 0;
    for (int i = 0; i < p.GetColorCount(); ++i) {
        const int d = Distance(p.IndexToColor(uint32_t(i)), c);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
            ties = 0;
        } else if (d == bestDistance) {
            ++ties;
        }
    }
    return ties == 0 ? best : -1;
}

TColor RandomColor(std::mt19937& random) {
    return TColor(random() & 0xFFFFFF);
}

void SetTable(TPixelGraphic& p, const std::vector<TColor>& colors) {
    p.SetColorCount(int(colors.size()));
    for (size_t i = 0; i < colors.size(); ++i)
        p.SetPaletteColor(int(i), colors[i]);
}

std::unique_ptr<TPixelGraphic> PictureWith(TPaletteIdent kind) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetFormat(4, 4, 2);
    p->SetPaletteIdent(kind);
    return p;
}

} // namespace

TEST(PaletteIdent, StandardKindBuildsItsTableAndRepeatingItChangesNothing) {
    auto p = PictureWith(pGray16);
    ASSERT_EQ(p->GetColorCount(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(p->IndexToColor(uint32_t(i)), Gray(17 * i));
    EXPECT_EQ(p->GetPaletteIdent(), pGray16);
    EXPECT_EQ(p->GetBitmapInfo()->bmiColors[15].rgbGreen, 255) << "the section's table follows";

    p->ColorToIndex(clWhite);
    p->SetPaletteIdent(pGray16);
    EXPECT_FALSE(p->GetLastColorStale()) << "the same kind again keeps even the caches";
}

TEST(PaletteIdent, NoneAndTrueColourDropTheTableAndUnknownKeepsIt) {
    auto p = PictureWith(pGray4);
    p->SetPaletteIdent(pUnknown);
    EXPECT_EQ(p->GetColorCount(), 4);
    EXPECT_EQ(p->GetPaletteIdent(), pUnknown);
    p->SetPaletteIdent(pTrueColor);
    EXPECT_EQ(p->GetColorCount(), 0);
    EXPECT_EQ(p->GetPaletteIdent(), pTrueColor);
    p->SetPaletteIdent(pNone);
    EXPECT_EQ(p->GetPaletteIdent(), pNone);
}

TEST(PaletteIdent, ViewerRequestsKeepTableAndKindButDropTheCaches) {
    auto p = PictureWith(pUnknown);
    SetTable(*p, {clBlack, clWhite, RGB(255, 0, 0)});
    p->ColorToIndex(RGB(200, 10, 10));
    EXPECT_FALSE(p->GetLookupTableStale());
    for (TPaletteIdent request : {pSource, pOptimized252Sys16}) {
        p->ColorToIndex(RGB(200, 10, 10));
        p->SetPaletteIdent(request);
        EXPECT_EQ(p->GetPaletteIdent(), pUnknown);
        EXPECT_EQ(p->GetColorCount(), 3);
        EXPECT_EQ(p->IndexToColor(2), RGB(255, 0, 0));
        EXPECT_TRUE(p->GetLastColorStale());
        EXPECT_TRUE(p->GetLookupTableStale());
    }
}

TEST(DetectPaletteIdent, RecognisesEveryStandardTableBuiltEntryByEntry) {
    for (int k = pBlackWhite; k <= pSpecial252; ++k) {
        const auto kind = TPaletteIdent(k);
        const auto table = StandardPalette(kind);
        TPixelGraphic p;
        p.SetFormat(2, 2, 2);
        SetTable(p, std::vector<TColor>(table.begin(), table.end()));
        EXPECT_EQ(p.GetPaletteIdent(), pUnknown);
        p.DetectPaletteIdent();
        EXPECT_EQ(p.GetPaletteIdent(), kind) << "kind " << k;
    }
}

TEST(DetectPaletteIdent, FollowsItsRulesForNearMissesAndEmptyTables) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 2);
    SetTable(p, {Gray(0), Gray(85), Gray(170), Gray(255)});
    p.DetectPaletteIdent();
    EXPECT_EQ(p.GetPaletteIdent(), pGray4) << "not pSysGray4";
    EXPECT_TRUE(p.GetAllGray());

    SetTable(p, {clWhite, clBlack});
    p.DetectPaletteIdent();
    EXPECT_EQ(p.GetPaletteIdent(), pUnknown) << "order matters";

    const auto sys = StandardPalette(pSys16);
    std::vector<TColor> almost(sys.begin(), sys.end());
    almost[15] = RGB(255, 255, 254);
    SetTable(p, almost);
    p.DetectPaletteIdent();
    EXPECT_EQ(p.GetPaletteIdent(), pUnknown);
    EXPECT_FALSE(p.GetAllGray());

    p.SetColorCount(0);
    p.DetectPaletteIdent();
    EXPECT_EQ(p.GetPaletteIdent(), pNone);
    EXPECT_TRUE(p.GetAllGray()) << "an empty table counts as gray";

    TPixelGraphic trueColour;
    trueColour.SetFormat(2, 2, 3);
    trueColour.DetectPaletteIdent();
    EXPECT_EQ(trueColour.GetPaletteIdent(), pTrueColor);
    EXPECT_FALSE(trueColour.GetAllGray());
}

TEST(ColorTable, CountChangesKeepEntriesAndSetTheKind) {
    auto p = PictureWith(pGray4);
    p->SetColorCount(6);
    EXPECT_EQ(p->GetPaletteIdent(), pUnknown);
    EXPECT_EQ(p->IndexToColor(3), Gray(255));
    EXPECT_EQ(p->IndexToColor(5), clBlack);
    EXPECT_EQ(p->GetBitmapInfo()->bmiHeader.biClrUsed, 6u);
    p->SetColorCount(0);
    EXPECT_EQ(p->GetPaletteIdent(), pNone);
    EXPECT_THROW(p->SetPaletteColor(0, clWhite), EPGNoPalette);
}

TEST(ColorTable, PaletteColorChecksKindAndIndex) {
    TPixelGraphic p;
    p.SetFormat(1, 1, 3);
    try {
        p.SetPaletteColor(0, clWhite);
        ADD_FAILURE() << "no exception";
    } catch (const EPGNoPalette& e) {
        EXPECT_EQ(e.message(), "No palette");
    }
    auto q = PictureWith(pGray4);
    EXPECT_THROW(q->SetPaletteColor(4, clWhite), EPGInvalidPaletteIndex);
    EXPECT_THROW(q->SetPaletteColor(-1, clWhite), EPGInvalidPaletteIndex);
}

TEST(ColorTable, TrueColourPictureMayCarryATableItsSectionCannotHold) {
    TPixelGraphic p;
    p.SetFormat(3, 3, 3);
    p.SetPaletteIdent(pGray256);
    EXPECT_EQ(p.GetColorCount(), 256);
    EXPECT_EQ(p.GetBitmapInfo()->bmiColors.size(), 0u);
    EXPECT_EQ(p.GetBitmapInfo()->bmiHeader.biClrUsed, 0u);
    p.SetPaletteColor(255, RGB(200, 10, 10));
    EXPECT_EQ(p.IndexToColor(255), RGB(200, 10, 10));
    EXPECT_EQ(p.ColorToIndex(RGB(200, 10, 10)), 255);
}

TEST(ColorToIndex, ClosedFormulasMeetTheirBoundaries) {
    auto bw = PictureWith(pBlackWhite);
    bw->SetWeightedGray(false);
    EXPECT_EQ(bw->ColorToIndex(RGB(127, 127, 128)), 0) << "intensity 382";
    EXPECT_EQ(bw->ColorToIndex(RGB(127, 128, 128)), 1) << "intensity 383";

    auto sysGray = PictureWith(pSysGray4);
    sysGray->SetWeightedGray(false);
    EXPECT_EQ(sysGray->ColorToIndex(Gray(64)), 0);
    EXPECT_EQ(sysGray->ColorToIndex(RGB(64, 64, 65)), 1);
    EXPECT_EQ(sysGray->ColorToIndex(Gray(160)), 1);
    EXPECT_EQ(sysGray->ColorToIndex(RGB(160, 160, 161)), 2);
    EXPECT_EQ(sysGray->ColorToIndex(RGB(223, 223, 224)), 2);
    EXPECT_EQ(sysGray->ColorToIndex(RGB(223, 224, 224)), 3);

    auto cube125 = PictureWith(pSpecial125);
    EXPECT_EQ(cube125->ColorToIndex(RGB(223, 0, 0)), 3 * 25);
    EXPECT_EQ(cube125->ColorToIndex(RGB(224, 0, 0)), 4 * 25);
    EXPECT_EQ(cube125->ColorToIndex(RGB(0, 33, 32)), 5) << "green 33 is level 1, blue 32 level 0";

    auto cube216 = PictureWith(pSpecial216);
    EXPECT_EQ(cube216->ColorToIndex(RGB(0, 0, 26)), 0);
    EXPECT_EQ(cube216->ColorToIndex(RGB(0, 0, 27)), 1);
    EXPECT_EQ(cube216->ColorToIndex(RGB(255, 77, 0)), 5 * 36 + 6);
    EXPECT_EQ(cube216->ColorToIndex(RGB(255, 78, 0)), 5 * 36 + 2 * 6);
}

TEST(ColorToIndex, GrayTablesMapTheIntensityWeightedOrNot) {
    auto g256 = PictureWith(pGray256);
    EXPECT_EQ(g256->ColorToIndex(RGB(0, 255, 0)), 150) << "(449 + 1) div 3";
    g256->SetWeightedGray(false);
    EXPECT_EQ(g256->ColorToIndex(RGB(0, 255, 0)), 85);

    auto g4 = PictureWith(pGray4);
    g4->SetWeightedGray(false);
    EXPECT_EQ(g4->ColorToIndex(RGB(42, 42, 43)), 0) << "intensity 127";
    EXPECT_EQ(g4->ColorToIndex(RGB(42, 43, 43)), 1) << "intensity 128";

    auto g16 = PictureWith(pGray16);
    g16->SetWeightedGray(false);
    EXPECT_EQ(g16->ColorToIndex(RGB(8, 8, 9)), 0) << "intensity 25";
    EXPECT_EQ(g16->ColorToIndex(RGB(8, 9, 9)), 1) << "intensity 26";

    auto g236 = PictureWith(pGray236); // grays 0, 1, 2, 3, 4, 5, 7, 8, ...
    EXPECT_EQ(g236->ColorToIndex(Gray(5)), 5);
    EXPECT_EQ(g236->ColorToIndex(Gray(6)), 5) << "as near to 5 as to 7: the lower entry";
    EXPECT_EQ(g236->ColorToIndex(Gray(7)), 6);
    EXPECT_EQ(g236->ColorToIndex(Gray(127)), 117);
}

TEST(ColorToIndex, TrueColourAnswersTheColourItself) {
    TPixelGraphic p;
    EXPECT_EQ(p.ColorToIndex(RGB(1, 2, 3)), int(RGB(1, 2, 3)));
}

TEST(ColorToIndex, Sys16FindsTheNearestWhereTheClassicCandidatesMissIt) {
    auto p = PictureWith(pSys16);
    EXPECT_EQ(p->ColorToIndex(RGB(127, 127, 240)), 7) << "silver is nearer than gray or blue";
    EXPECT_EQ(p->ColorToIndex(RGB(127, 127, 200)), 8);
    EXPECT_EQ(p->ColorToIndex(RGB(64, 0, 64)), 5)
        << "as near to black, but black is no candidate of the cell";
}

TEST(ColorToIndex, CacheAnswersRepeatsUntilTheTableOrAnOptionChanges) {
    auto p = PictureWith(pUnknown);
    SetTable(*p, {clBlack, clWhite});
    EXPECT_EQ(p->ColorToIndex(Gray(200)), 1);
    EXPECT_FALSE(p->GetLastColorStale());
    EXPECT_EQ(p->ColorToIndex(Gray(200)), 1);

    p->SetPaletteColor(0, Gray(190));
    EXPECT_TRUE(p->GetLastColorStale());
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
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            p->ColorToIndex(Gray(99));
            ADD_FAILURE() << "no exception on attempt " << attempt;
        } catch (const EPGNoPalette& e) {
            EXPECT_EQ(e.message(), "No palette");
        }
    }
    p->SetPaletteIdent(pGray4);
    EXPECT_EQ(p->ColorToIndex(Gray(99)), 1);
}

// The inverse table gives a cell to the entry whose shell of cells reaches it in the earliest pass, which is
// not always the nearest entry of every colour in the cell.
TEST(ColorToIndex, InverseTableGivesNearCellsToTheFirstShellAndFillsFarCellsOnUse) {
    auto p = PictureWith(pUnknown);
    SetTable(*p, {clBlack, RGB(40, 0, 0)}); // red cells 0 and 5
    EXPECT_EQ(p->ColorToIndex(RGB(23, 0, 0)), 0) << "red cell 2: two steps from entry 0, three from entry 1";
    EXPECT_EQ(p->ColorToIndex(RGB(24, 0, 0)), 1);
    p->SetFastColorLookup(false);
    EXPECT_EQ(p->ColorToIndex(RGB(23, 0, 0)), 1) << "the plain search: 17 is nearer than 23";

    // A cell five steps from both entries is filled with the exact answer for the first colour asked.
    auto q = PictureWith(pUnknown);
    SetTable(*q, {clBlack, RGB(250, 251, 250)});
    EXPECT_EQ(q->ColorToIndex(RGB(120, 124, 120)), 0);
    EXPECT_EQ(q->ColorToIndex(RGB(127, 127, 127)), 0) << "same cell, so the same answer";
    q->SetFastColorLookup(false);
    EXPECT_EQ(q->ColorToIndex(RGB(127, 127, 127)), 1);
}

TEST(ColorToIndex, TablesBeyondAByteOfEntriesAreSearchedInFull) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 3);
    std::vector<TColor> table(300, clBlack);
    table[299] = RGB(10, 200, 30);
    SetTable(p, table);
    EXPECT_TRUE(p.GetFastColorLookup());
    EXPECT_EQ(p.ColorToIndex(RGB(12, 200, 30)), 299) << "an index the inverse table could not hold";
}

TEST(ColorToIndex, FastAndPlainLookupsAgreeNearEntries) {
    std::mt19937 random(7);
    // Entries nine or more cells apart on every axis, so only one shell of cells reaches a colour near it.
    std::vector<TColor> table;
    for (int j = 0; j < 32; j += 9)
        for (int k = 0; k < 64; k += 9)
            for (int l = 0; l < 32; l += 9)
                table.push_back(RGB(uint8_t(j * 8 + random() % 8), uint8_t(k * 4 + random() % 4),
                                    uint8_t(l * 8 + random() % 8)));
    auto fast = PictureWith(pUnknown);
    SetTable(*fast, table);
    auto plain = PictureWith(pUnknown);
    SetTable(*plain, table);
    plain->SetFastColorLookup(false);
    int compared = 0;
    for (int i = 0; i < 20000; ++i) {
        const TColor c = RandomColor(random);
        const int n = UniqueNearest(*plain, c);
        if (n < 0)
            continue;
        const TColor e = table[size_t(n)];
        const bool nearEntry = std::abs(GetRValue(c) / 8 - GetRValue(e) / 8) <= 4 &&
                               std::abs(GetGValue(c) / 4 - GetGValue(e) / 4) <= 4 &&
                               std::abs(GetBValue(c) / 8 - GetBValue(e) / 8) <= 4;
        if (!nearEntry)
            continue;
        ++compared;
        ASSERT_EQ(fast->ColorToIndex(c), n) << std::hex << c;
        ASSERT_EQ(plain->ColorToIndex(c), n) << std::hex << c;
    }
    EXPECT_GT(compared, 1000);
}

TEST(ColorToIndex, SearchingKindsReturnAnEntryAtTheSmallestDistance) {
    std::mt19937 random(2024);
    auto special = PictureWith(pSpecial252);
    auto sys = PictureWith(pSys16);
    auto unknown = PictureWith(pUnknown);
    std::vector<TColor> table(200);
    for (TColor& c : table)
        c = RandomColor(random);
    SetTable(*unknown, table);
    unknown->SetFastColorLookup(false);
    for (TPixelGraphic* p : {special.get(), sys.get(), unknown.get()})
        for (int i = 0; i < 100000; ++i) {
            const TColor c = RandomColor(random);
            const int index = p->ColorToIndex(c);
            ASSERT_EQ(Distance(p->IndexToColor(uint32_t(index)), c), SmallestDistance(*p, c))
                << "kind " << int(p->GetPaletteIdent()) << " colour " << std::hex << c;
        }
}

TEST(ColorToIndex, Special252PicksTheLowestOfEquallyNearEntriesAtCellEdges) {
    auto p = PictureWith(pSpecial252);
    const int edges[] = {0, 15, 16, 17, 47, 48, 49, 95, 96, 111, 112, 127, 128, 143, 208, 239, 240, 254, 255};
    for (int r : edges)
        for (int g : edges)
            for (int b : edges) {
                const TColor c = RGB(uint8_t(r), uint8_t(g), uint8_t(b));
                int best = 0;
                for (int i = 1; i < 252; ++i)
                    if (Distance(p->IndexToColor(uint32_t(i)), c) <
                        Distance(p->IndexToColor(uint32_t(best)), c))
                        best = i;
                ASSERT_EQ(p->ColorToIndex(c), best) << r << ", " << g << ", " << b;
            }
}
