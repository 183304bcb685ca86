#include "image-library/PGraphic.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGSettings.h"
#include "image-library/PGStandardPalettes.h"

#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Counts OnChange calls of a picture.
struct ChangeCounter {
    explicit ChangeCounter(TPixelGraphic& p) {
        p.SetOnChange([this](TObject*) { ++Count; });
    }
    int Count = 0;
};

// The section's colour entries as colours.
std::vector<TColor> SectionEntries(const TPixelGraphic& p) {
    std::vector<TColor> entries;
    for (const TRGBQuad& q : p.GetBitmapInfo()->bmiColors)
        entries.push_back(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    return entries;
}

// Count entries: Table first, the rest Rest.
std::vector<TColor> Entries(size_t Count, std::vector<TColor> Table, TColor Rest) {
    Table.resize(Count, Rest);
    return Table;
}

} // namespace

TEST(PixelGraphic, NewPictureIsEmptyTrueColour) {
    TPixelGraphic p;
    EXPECT_EQ(p.GetWidth(), 0);
    EXPECT_EQ(p.GetHeight(), 0);
    EXPECT_EQ(p.GetBitCountNum(), 3);
    EXPECT_TRUE(p.GetEmpty());
    EXPECT_EQ(p.GetBits(), nullptr);
    EXPECT_EQ(p.GetPaletteIdent(), pTrueColor);
    EXPECT_EQ(p.GetFileGamma(), 1.8L);
    EXPECT_EQ(p.GetReadWarningAction(), pgwaOKCancelBox);
    EXPECT_EQ(p.GetStretchMode(), smPrecise);
}

TEST(PixelGraphic, RowsArePaddedToFourBytes) {
    TPixelGraphic p;
    p.SetFormat(3, 2, 0);
    EXPECT_EQ(p.GetRowBytes(), 4);
    EXPECT_EQ(p.GetImageSize(), 8);
    p.SetFormat(1, 1, 3);
    EXPECT_EQ(p.GetRowBytes(), 4);
    p.SetFormat(5, 1, 1);
    EXPECT_EQ(p.GetRowBytes(), 4);
    p.SetFormat(33, 1, 0);
    EXPECT_EQ(p.GetRowBytes(), 8);
    p.SetFormat(7, 3, 3);
    EXPECT_EQ(p.GetRowBytes(), 24);
    EXPECT_EQ(p.GetDIBSize(), 72 + 58);
    const TBitmapInfo* info = p.GetBitmapInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->bmiHeader.biHeight, 3);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    EXPECT_EQ(info->bmiHeader.biSizeImage, 72u);
    EXPECT_EQ(info->bmiColors.size(), 0u);
}

TEST(PixelGraphic, SameFormatClearsToBackgroundAndNotifies) {
    TPixelGraphic p;
    p.SetFormat(4, 2, 2);
    p.SetPixelValue(1, 1, 9);
    p.SetBackGroundValue(5);
    ChangeCounter changes(p);
    p.SetFormat(4, 2, 2);
    EXPECT_EQ(changes.Count, 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(p.GetPixelValue(x, y), 5u);

    p.SetFormat(4, 2, 3);
    EXPECT_EQ(p.GetPixelValue(1, 1), 0u) << "a new format starts from zero bytes";
}

TEST(PixelGraphic, ClearOfOtherFormatsWritesEveryPixelButNoPadding) {
    TPixelGraphic p;
    p.SetFormat(3, 2, 1);
    p.SetBackGroundValue(0xA);
    p.Clear();
    const uint8_t* row = p.GetScanLine(0);
    EXPECT_EQ(row[0], 0xAA);
    EXPECT_EQ(row[1], 0xA0) << "the nibble past the last pixel stays";
    EXPECT_EQ(row[2], 0);
}

TEST(PixelGraphic, NegativeSizesRaiseAndKeepThePicture) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 2);
    p.SetPixelValue(0, 0, 7);
    try {
        p.SetFormat(-1, -1, 3);
        ADD_FAILURE() << "no exception";
    } catch (const EPGInvalidSize& e) {
        EXPECT_EQ(e.message(), "Negative width");
    }
    EXPECT_THROW(p.SetFormat(1, -1, 3), EPGInvalidSize);
    EXPECT_EQ(p.GetWidth(), 2);
    EXPECT_EQ(p.GetBitCountNum(), 2);
    EXPECT_EQ(p.GetPixelValue(0, 0), 7u);
}

TEST(PixelGraphic, HugeFormatRaisesAndLeavesAnEmptyPicture) {
    TPixelGraphic p;
    p.SetFormat(10, 10, 3);
    ChangeCounter changes(p);
    // 24 bits x 2^31-1 columns overflows 32-bit row arithmetic; the product with the height overflows more.
    for (auto [w, h] : {std::pair{INT32_MAX, INT32_MAX}, std::pair{INT32_MAX, 1}, std::pair{40000, 40000}}) {
        try {
            p.SetFormat(w, h, 3);
            ADD_FAILURE() << "no exception for " << w << " x " << h;
        } catch (const EPixelGraphic& e) {
            EXPECT_EQ(e.message(), "CreateDIBSection failed");
        }
        EXPECT_EQ(p.GetWidth(), 0);
        EXPECT_EQ(p.GetHeight(), 0);
        EXPECT_TRUE(p.GetEmpty());
        EXPECT_EQ(p.GetBits(), nullptr);
        EXPECT_EQ(p.GetPixelValue(0, 0), p.GetBackGroundValue());
    }
    EXPECT_GE(changes.Count, 1) << "the old pixels are gone, so observers hear of it";
    p.SetFormat(2, 2, 0);
    EXPECT_EQ(p.GetImageSize(), 8);
}

TEST(PixelGraphic, PixelLimitIsASetting) {
    const int64_t saved = PGMaxPixelMemory;
    PGMaxPixelMemory = 1000;
    TPixelGraphic p;
    EXPECT_NO_THROW(p.SetFormat(250, 3, 2)); // 252 bytes a row
    EXPECT_THROW(p.SetFormat(250, 4, 2), EPixelGraphic);
    EXPECT_NO_THROW(p.SetFormat(0, 5000, 2)) << "a picture without columns needs no memory";
    PGMaxPixelMemory = saved;
}

TEST(PixelGraphic, NibblesAndBitsAreWrittenInPlace) {
    TPixelGraphic p;
    p.SetFormat(4, 2, 1);
    uint8_t* top = p.GetScanLine(0);
    EXPECT_EQ(top, p.GetBits() + p.GetRowBytes()) << "picture row 0 is the last row in memory";
    top[0] = 0x05;
    p.SetPixelValue(0, 0, 0x1F);
    EXPECT_EQ(top[0], 0xF5);
    p.SetPixelValue(1, 0, 7);
    EXPECT_EQ(top[0], 0xF7);
    EXPECT_EQ(p.GetPixelValue(0, 0), 0xFu);
    EXPECT_EQ(p.GetPixelValue(1, 0), 7u);

    TPixelGraphic b;
    b.SetFormat(10, 1, 0);
    b.SetPixelValue(0, 0, 1);
    b.SetPixelValue(9, 0, 1);
    EXPECT_EQ(b.GetBits()[0], 0x80);
    EXPECT_EQ(b.GetBits()[1], 0x40);
    b.SetPixelValue(0, 0, 2);
    EXPECT_EQ(b.GetPixelValue(0, 0), 0u) << "any value but 1 clears the bit";
}

TEST(PixelGraphic, TrueColourPixelsAreStoredBlueGreenRed) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 3);
    const TColor c = RGB(1, 2, 3);
    p.SetPixelColor(0, 0, c);
    const uint8_t* px = p.GetScanLine(0);
    EXPECT_EQ(px[0], 3);
    EXPECT_EQ(px[1], 2);
    EXPECT_EQ(px[2], 1);
    EXPECT_EQ(p.GetPixelColor(0, 0), c);
    EXPECT_EQ(p.GetPixelValue(0, 0), c);
}

TEST(PixelGraphic, OutsideReadsGiveTheBackgroundOrRaise) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 2);
    p.SetPaletteIdent(pGray16);
    p.SetBackGroundValue(3);
    EXPECT_EQ(p.GetPixelValue(-1, 0), 3u);
    EXPECT_EQ(p.GetPixelValue(0, 2), 3u);
    EXPECT_EQ(p.GetPixelColor(-1, 0), RGB(51, 51, 51));
    p.SetPixelValue(2, 0, 9); // dropped
    p.SetRaiseXYIndexOutOfRange(true);
    try {
        p.GetPixelValue(2, 0);
        ADD_FAILURE() << "no exception";
    } catch (const EPGXYIndexOutOfRange& e) {
        EXPECT_EQ(e.message(), "X, Y index out of range");
    }
    EXPECT_THROW(p.SetPixelValue(0, -1, 1), EPGXYIndexOutOfRange);
    EXPECT_THROW(p.IndexToColor(16), EPGInvalidPaletteIndex);
}

// A paletted picture without a table keeps the kind pTrueColor: its values are colours, as IndexToColor
// says, inside the picture and outside it.
TEST(PixelGraphic, ValuesOfAPalettedTrueColourPictureAreColours) {
    for (uint8_t bitCountNum : {0, 1, 2}) {
        SCOPED_TRACE(int(bitCountNum));
        TPixelGraphic p;
        p.SetFormat(2, 1, bitCountNum);
        ASSERT_EQ(p.GetPaletteIdent(), pTrueColor);
        p.SetPixelValue(1, 0, 1);
        p.SetBackGroundValue(0x123456);
        EXPECT_EQ(p.GetPixelColor(1, 0), TColor(1));
        EXPECT_EQ(p.GetPixelColor(5, 0), TColor(0x123456));
        EXPECT_EQ(p.GetBackGroundColor(), TColor(0x123456));
    }
}

TEST(PixelGraphic, AssignCopiesPixelsTableAndOptionsWithOneChange) {
    TPixelGraphic source;
    source.SetFormat(3, 2, 2);
    source.SetPaletteIdent(pGray256);
    source.SetPixelValue(2, 1, 200);
    source.SetBackGroundValue(4);
    source.SetDither(false);
    source.SetFileGamma(2.2L);
    source.SetStretchMode(smFast);
    source.SetReadWarningAction(pgwaRaise);
    source.SetFastLoad(true);

    TPixelGraphic target;
    target.SetFormat(9, 9, 3);
    ChangeCounter changes(target);
    target.Assign(&source);
    EXPECT_EQ(changes.Count, 1);
    EXPECT_EQ(target.GetWidth(), 3);
    EXPECT_EQ(target.GetHeight(), 2);
    EXPECT_EQ(target.GetBitCountNum(), 2);
    EXPECT_EQ(target.GetPixelValue(2, 1), 200u);
    EXPECT_EQ(target.GetColorCount(), 256);
    EXPECT_EQ(target.GetPaletteIdent(), pGray256);
    EXPECT_TRUE(target.GetAllGray());
    EXPECT_EQ(target.GetBackGroundValue(), 4u);
    EXPECT_FALSE(target.GetDither());
    EXPECT_EQ(target.GetFileGamma(), 2.2L);
    EXPECT_EQ(target.GetStretchMode(), smFast);
    EXPECT_EQ(target.GetReadWarningAction(), pgwaRaise);
    EXPECT_FALSE(target.GetFastLoad()) << "FastLoad is not copied";

    target.Assign(nullptr);
    EXPECT_EQ(changes.Count, 2);
    EXPECT_TRUE(target.GetEmpty());
    EXPECT_EQ(target.GetBitCountNum(), 3);
}

TEST(PixelGraphic, AssignToItselfChangesNothing) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 2);
    p.SetPaletteIdent(pGray16);
    p.SetPixelValue(1, 1, 12);
    ChangeCounter changes(p);
    p.Assign(&p);
    EXPECT_EQ(p.GetWidth(), 2);
    EXPECT_EQ(p.GetPixelValue(1, 1), 12u);
    EXPECT_EQ(p.GetPaletteIdent(), pGray16);
    EXPECT_EQ(changes.Count, 0);
}

TEST(PixelGraphic, NestedUpdatesFireOnce) {
    TPixelGraphic p;
    ChangeCounter changes(p);
    p.BeginUpdate();
    p.SetFormat(1, 1, 3);
    p.BeginUpdate();
    p.SetFormat(2, 1, 2);
    p.EndUpdate();
    p.SetFormat(3, 1, 0);
    EXPECT_EQ(changes.Count, 0);
    p.EndUpdate();
    EXPECT_EQ(changes.Count, 1);
}

TEST(PixelGraphic, FormatShrinksAnOversizedTableAndTrueColourDropsIt) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 2);
    p.SetPaletteIdent(pGray256);
    p.SetFormat(2, 2, 1);
    EXPECT_EQ(p.GetColorCount(), 16);
    EXPECT_EQ(p.GetPaletteIdent(), pUnknown);
    p.SetFormat(2, 2, 3);
    EXPECT_EQ(p.GetColorCount(), 0);
    EXPECT_EQ(p.GetPaletteIdent(), pTrueColor);
    p.SetFormat(0, 0, 2);
    p.SetPaletteIdent(pGray16);
    p.SetFormat(0, 5, 0);
    EXPECT_EQ(p.GetColorCount(), 16) << "a zero size keeps the table";
}

TEST(PixelGraphic, PaletteIsCachedAndEmptyForTrueColour) {
    TPixelGraphic p;
    p.SetFormat(1, 1, 3);
    EXPECT_TRUE(p.GetPalette().isEmpty());
    p.SetFormat(1, 1, 2);
    EXPECT_TRUE(p.GetPalette().isEmpty());
    p.SetPaletteIdent(pBlackWhite);
    ASSERT_EQ(p.GetPalette().size(), 2);
    EXPECT_EQ(p.GetPalette()[1], qRgb(255, 255, 255));
    p.SetPaletteColor(1, RGB(255, 0, 0));
    EXPECT_EQ(p.GetPalette()[1], qRgb(255, 0, 0));
}

TEST(PixelGraphic, TableLongerThanTheFormatNeverWritesPastTheSection) {
    TPixelGraphic p;
    p.SetFormat(2, 2, 0);
    p.SetColorCount(256); // a table that the 1-bit section cannot describe
    for (int i = 0; i < 256; ++i)
        p.SetPaletteColor(i, RGB(uint8_t(i), 0, 0));
    EXPECT_EQ(p.GetBitmapInfo()->bmiHeader.biClrUsed, 2u);
    EXPECT_EQ(p.GetBitmapInfo()->bmiColors.size(), 2u);
    EXPECT_EQ(p.IndexToColor(255), RGB(255, 0, 0));
}

// Entry i is table entry i, beyond the table entry 0, for an empty table black, whatever the table's kind;
// only the pixel colours of a paletted pTrueColor picture are their values.
TEST(PixelGraphic, SectionEntriesFollowTheTableWhateverItsKind) {
    const TColor red = RGB(200, 0, 0), green = RGB(0, 200, 0), blue = RGB(0, 0, 200);
    struct TCase {
        const char* Name;
        uint8_t BitCountNum;
        std::function<void(TPixelGraphic&)> Change;
        std::vector<TColor> Table; // the entries the table gives; the rest are Rest
        TColor Rest;
    };
    const TCase cases[] = {
        {"new 1-bit picture", 0, [](TPixelGraphic&) {}, {}, clBlack},
        {"new 4-bit picture", 1, [](TPixelGraphic&) {}, {}, clBlack},
        {"new 8-bit picture", 2, [](TPixelGraphic&) {}, {}, clBlack},
        {"short table",
         2,
         [&](TPixelGraphic& p) {
             p.SetColorCount(3);
             p.SetPaletteColor(0, red);
             p.SetPaletteColor(1, green);
             p.SetPaletteColor(2, blue);
         },
         {red, green, blue},
         red},
        {"first entry changed last",
         1,
         [&](TPixelGraphic& p) {
             p.SetColorCount(2);
             p.SetPaletteColor(1, green);
             p.SetPaletteColor(0, blue);
         },
         {blue, green},
         blue},
        {"standard table",
         1,
         [](TPixelGraphic& p) { p.SetPaletteIdent(pSys16); },
         {StandardPalette(pSys16).begin(), StandardPalette(pSys16).end()},
         clBlack},
        {"kind pTrueColor after a table",
         2,
         [&](TPixelGraphic& p) {
             p.SetPaletteIdent(pGray256);
             p.SetPaletteIdent(pTrueColor);
         },
         {},
         clBlack},
        {"table emptied",
         0,
         [&](TPixelGraphic& p) {
             p.SetPaletteIdent(pBlackWhite);
             p.SetColorCount(0);
         },
         {},
         clBlack},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic p;
        p.SetFormat(3, 2, c.BitCountNum);
        c.Change(p);
        const std::vector<TColor> expected = Entries(size_t(p.GetMaxColorCount()), c.Table, c.Rest);
        EXPECT_EQ(SectionEntries(p), expected);
        TPixelGraphic copy;
        copy.Assign(&p);
        EXPECT_EQ(SectionEntries(copy), expected);
    }
    TPixelGraphic p;
    p.SetFormat(2, 1, 2);
    p.SetPixelValue(1, 0, 5);
    EXPECT_EQ(p.GetPaletteIdent(), pTrueColor);
    EXPECT_EQ(p.GetPixelColor(1, 0), RGB(5, 0, 0)) << "a pTrueColor value is the colour itself";
    EXPECT_EQ(SectionEntries(p)[5], clBlack);
}
