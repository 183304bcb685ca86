#include "image-library/PGLangStr.h"
#include "image-library/PGExceptions.h"

#include <gtest/gtest.h>

namespace {

// Restores the global selector and user texts that a test changes.
class PGLangStrTest : public ::testing::Test {
protected:
    void TearDown() override {
        PGLanguage = 0;
        ReleasePGUserTexts();
    }
};

} // namespace

TEST_F(PGLangStrTest, ColumnsFollowTheSelector) {
    PGLanguage = 1;
    EXPECT_EQ(PGLangStr(43), "Abbruch");
    PGLanguage = 2;
    EXPECT_EQ(PGLangStr(29), "Opération abandonnée par l'utilisateur.");
    PGLanguage = 3;
    EXPECT_EQ(PGLangStr(19, "x"), "Onbekende bestand extensie") << "the Dutch row has no placeholder";
    PGLanguage = 4;
    EXPECT_EQ(PGLangStr(1), "Valores de x e y fuera de rango");
    PGLanguage = 0;
    EXPECT_EQ(PGLangStr(82), "±");
    EXPECT_EQ(PGLangStr(83), "°");
}

TEST_F(PGLangStrTest, UserColumnHasNoFallBack) {
    PGLanguage = 5;
    EXPECT_EQ(PGLangStr(43), "");
    EXPECT_EQ(PGLangStr(25), "Image files");
    PGLangStrEntries[43].UserText = "Отмена";
    EXPECT_EQ(PGLangStr(43), "Отмена");
}

TEST_F(PGLangStrTest, UnknownSelectorLeavesTextAlone) {
    PGLanguage = 6;
    QString text = "before";
    GetPGLangStr(22, text);
    EXPECT_EQ(text, "before");
}

TEST_F(PGLangStrTest, PlaceholdersAreReplacedOnceInOrder) {
    EXPECT_EQ(PGLangStr(31, "CreateDIBSection"), "CreateDIBSection failed");
    EXPECT_EQ(PGLangStr(17, "BMP", "16 colors", "256 colors"),
              "The graphic cannot be saved to a BMP file with the current color resolution (16 colors).\r\r"
              "The graphic will be saved with a different color resolution (256 colors).");
    EXPECT_EQ(PGLangStr(22, "ignored"), "Negative width");
    // An argument carrying a later placeholder is itself subject to the later replacement.
    EXPECT_EQ(PGLangStr(17, "%S2", "X", "Y").left(36), "The graphic cannot be saved to a X f");
    PGLanguage = 1;
    EXPECT_EQ(PGLangStr(17, "BMP", "16 Farben", "256 Farben"),
              "Die Grafik kann mit der aktuellen Farbauflösung (16 Farben) nicht als BMP-Datei gespeichert "
              "werden.\r\r"
              "Die Grafik wird mit einer anderen Farbauflösung (256 Farben) gespeichert.");
}

TEST_F(PGLangStrTest, EveryTranslationKeepsThePlaceholdersOfTheEnglishText) {
    for (int i = 0; i < PGLangStrCount; ++i) {
        const QString english = QString::fromUtf8(PGLangStrEntries[i].Texts[0]);
        for (int lang = 1; lang < 5; ++lang) {
            if (i == 19 && lang == 3)
                continue; // the Dutch text of this row is known to lack it
            const QString text = QString::fromUtf8(PGLangStrEntries[i].Texts[lang]);
            for (const char* ph : {"%S1", "%S2", "%S3"})
                EXPECT_EQ(english.contains(ph), text.contains(ph))
                    << "entry " << i << " language " << lang << " " << ph;
            EXPECT_EQ(english.isEmpty(), text.isEmpty()) << "entry " << i << " language " << lang;
        }
    }
    EXPECT_EQ(QString::fromUtf8(PGLangStrEntries[17].Texts[0]).count('\r'), 2);
}

TEST_F(PGLangStrTest, OrderCheckNamesTheFirstMismatch) {
    EXPECT_NO_THROW(CheckPGLangStrEntries());
    PGLangStrEntries[5].Id = 6;
    try {
        CheckPGLangStrEntries();
        ADD_FAILURE() << "no exception";
    } catch (const EPixelGraphic& e) {
        EXPECT_EQ(e.message(), "PGLangStrEntries order wrong 5 and 6 are not identical");
    }
    PGLangStrEntries[5].Id = 5;
}
