#include "image-library/PGraphicInit.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"

#include <gtest/gtest.h>

namespace {

// The test main runs with the library started; these tests stop it first and start it again afterwards.
class PGraphicInitTest : public ::testing::Test {
protected:
    void SetUp() override { PGraphicDone(); }
    void TearDown() override { PGraphicInit(); }
};

bool RegistriesEmpty() {
    return FileFormatReaders().empty() && FileFormatWriters().empty();
}

} // namespace

TEST_F(PGraphicInitTest, StartUpPutsEverySettingToItsDefault) {
    PGLanguage = 3;
    PGDialogFont = QFont();
    PGInfoLogFont.Height = 20;
    PGInfoLogFont.FaceName = "Other";
    PGRound16BitColors = false, PGJPEGReadDCTMethod = 1, PGJPEGDCTMethod = 0, PGJPEGQuality = 5;
    PGJPEGProgressive = true, PGDisplayGamma = 2.2L, PGGammaCorrection = false,
    PGPNGUseFileBackground = false;
    PGPNGWriteGamma = false, PGPxMBinary = true, PGTIFMaxPictures = 7, PGTIFCountPictures = true;
    PGTIFCompression = 32773, PGTIFCMYK = true, PGTIFWhiteIsZero = true, PGTIFBigEndian = true;
    PGTIFResolutionUnit = 2, PGTIFXResolutionNum = 72, PGTIFXResolutionDen = 2, PGTIFYResolutionNum = 96;
    PGTIFYResolutionDen = 3;

    PGraphicInit();
    EXPECT_EQ(PGLanguage, 0);
    EXPECT_FALSE(PGDialogFont.has_value());
    EXPECT_EQ(PGInfoLogFont.Height, 8);
    EXPECT_EQ(PGInfoLogFont.FaceName, "MS Sans Serif");
    EXPECT_TRUE(PGRound16BitColors);
    EXPECT_EQ(PGJPEGReadDCTMethod, 0);
    EXPECT_EQ(PGJPEGDCTMethod, 2);
    EXPECT_EQ(PGJPEGQuality, 80);
    EXPECT_FALSE(PGJPEGProgressive);
    EXPECT_EQ(PGDisplayGamma, 1.8L);
    EXPECT_TRUE(PGGammaCorrection);
    EXPECT_TRUE(PGPNGUseFileBackground);
    EXPECT_TRUE(PGPNGWriteGamma);
    EXPECT_FALSE(PGPxMBinary);
    EXPECT_EQ(PGTIFMaxPictures, 1000);
    EXPECT_FALSE(PGTIFCountPictures);
    EXPECT_EQ(PGTIFCompression, 1);
    EXPECT_FALSE(PGTIFCMYK);
    EXPECT_FALSE(PGTIFWhiteIsZero);
    EXPECT_FALSE(PGTIFBigEndian);
    EXPECT_EQ(PGTIFResolutionUnit, 1);
    EXPECT_EQ(PGTIFXResolutionNum, 300);
    EXPECT_EQ(PGTIFXResolutionDen, 1);
    EXPECT_EQ(PGTIFYResolutionNum, 300);
    EXPECT_EQ(PGTIFYResolutionDen, 1);
    EXPECT_EQ(TPixelGraphic().GetFileGamma(), 1.8L);

    const QFont font = PGInfoLogFont.ToQFont();
    EXPECT_EQ(font.pixelSize(), 8);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_EQ(font.styleHint(), QFont::SansSerif);
    PGraphicDone();
}

TEST_F(PGraphicInitTest, OnlyTheOutermostPairStartsAndStops) {
    PGraphicInit();
    PGJPEGQuality = 50;
    PGLangStrEntries[43].UserText = "Отмена";
    PGLangStrEntries[25].UserText = "Bilder";
    PGraphicInit();
    EXPECT_EQ(PGJPEGQuality, 50); // the inner start-up did nothing
    PGraphicDone();
    EXPECT_EQ(PGLangStrEntries[43].UserText, "Отмена"); // nor did the inner shutdown
    PGraphicDone();
    EXPECT_TRUE(PGLangStrEntries[43].UserText.isEmpty());
    EXPECT_EQ(PGLangStrEntries[25].UserText, "Image files");
    EXPECT_TRUE(RegistriesEmpty());

    // A shutdown too many neither shuts down again nor keeps the next start-up from running.
    PGLangStrEntries[43].UserText = "Отмена";
    PGraphicDone();
    EXPECT_EQ(PGLangStrEntries[43].UserText, "Отмена");
    PGraphicInit();
    EXPECT_EQ(PGJPEGQuality, 80);
    PGraphicDone();
    EXPECT_TRUE(PGLangStrEntries[43].UserText.isEmpty());
}

TEST_F(PGraphicInitTest, NumberingErrorStopsStartUpAndTheNextOneWorks) {
    std::swap(PGLangStrEntries[3].Id, PGLangStrEntries[4].Id);
    PGJPEGQuality = 50;
    EXPECT_THROW(PGraphicInit(), EPixelGraphic);
    std::swap(PGLangStrEntries[3].Id, PGLangStrEntries[4].Id);
    EXPECT_TRUE(RegistriesEmpty());
    EXPECT_EQ(PGJPEGQuality, 50);

    PGraphicInit();
    EXPECT_EQ(PGJPEGQuality, 80);
    PGraphicDone();
}

TEST_F(PGraphicInitTest, FailedRegistrationUndoesTheStartUp) {
    PGraphicInit();
    const bool none = FileFormatReaders().empty();
    const QString first = none ? QString() : FileFormatReaders().front()->Extension;
    EXPECT_TRUE(std::is_sorted(FileFormatReaders().begin(), FileFormatReaders().end(),
                               [](const auto& a, const auto& b) { return CompareFileFormats(*a, *b) < 0; }));
    PGraphicDone();
    if (none)
        GTEST_SKIP() << "no format registered yet";

    // A reader left over under a format's extension makes that format's registration raise.
    class TLeftOver : public TFileFormatReader {
        const char* ClassName() const override { return "TLeftOver"; }
    };
    auto leftOver = std::make_unique<TLeftOver>();
    leftOver->Extension = first;
    RegisterFileFormatReader(std::move(leftOver));
    EXPECT_THROW(PGraphicInit(), EPixelGraphic);
    EXPECT_TRUE(RegistriesEmpty());
    PGraphicInit();
    EXPECT_FALSE(FileFormatReaders().empty());
    PGraphicDone();
}
