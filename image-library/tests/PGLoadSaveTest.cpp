// Loading and saving through the registries: reader choice, change events, gamma correction, writer choice,
// resolution warnings, files left intact by failed saves, form streaming and the clipboard.
#include "framework/FileStreams.h"
#include "framework/testing/MessageBoxSpy.h"
#include "image-library/PGClipboard.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGFilters.h"
#include "image-library/PGSettings.h"
#include "image-library/PGStandardPalettes.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/ChildCost.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/TestPictures.h"
#include "image-library/tests/BMPTestSupport.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <csignal>
#include <map>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

template <class E, class Fn> QString Raised(Fn fn) {
    try {
        fn();
    } catch (const E& e) {
        return e.message();
    }
    return QStringLiteral("(nothing raised)");
}

QByteArray ReadFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A picture with different values in every pixel, in each of the four formats.
void FillPicture(TPixelGraphic& picture, int width, int height, uint8_t bitCountNum) {
    picture.SetFormat(width, height, bitCountNum);
    if (bitCountNum < 3) {
        picture.SetColorCount(picture.GetMaxColorCount());
        for (int i = 0; i < picture.GetColorCount(); ++i)
            picture.SetPaletteColor(i, RGB(uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3)));
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.SetPixelValue(x, y,
                                  bitCountNum == 3
                                      ? RGB(uint8_t(x * 40), uint8_t(y * 50), uint8_t(x + y))
                                      : uint32_t(x * 3 + y) % uint32_t(picture.GetMaxColorCount()));
}

void ExpectSamePicture(TPixelGraphic& a, TPixelGraphic& b) {
    ASSERT_EQ(a.GetWidth(), b.GetWidth());
    ASSERT_EQ(a.GetHeight(), b.GetHeight());
    ASSERT_EQ(a.GetBitCountNum(), b.GetBitCountNum());
    ASSERT_EQ(a.GetColorCount(), b.GetColorCount());
    for (int i = 0; i < a.GetColorCount(); ++i)
        EXPECT_EQ(a.IndexToColor(uint32_t(i)), b.IndexToColor(uint32_t(i)));
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            ASSERT_EQ(a.GetPixelValue(x, y), b.GetPixelValue(x, y)) << x << "," << y;
}

QByteArray BmpOf(TPixelGraphic& picture) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture.SaveToStream(buffer);
    return buffer.data();
}

// Reads a 2 x 1 picture whose bytes say its format and file gamma; it has no signature, so only its
// extension "gam" chooses it.
class TGammaReader : public TFileFormatReader {
public:
    TGammaReader() { Extension = QStringLiteral("gam"); }
    const char* ClassName() const override { return "TGammaReader"; }
    void Read(QIODevice& Stream, TPixelGraphic& Picture, int) const override {
        const QList<QByteArray> fields = Stream.readAll().split(' ');
        if (fields.value(0) == "24") {
            Picture.SetFormat(2, 1, 3);
            Picture.SetPixelValue(0, 0, RGB(0, 128, 255));
            Picture.SetPixelValue(1, 0, RGB(128, 128, 128));
            Picture.GetScanLine(0)[6] = 77; // row filler
        } else {
            Picture.SetFormat(2, 1, 2);
            Picture.SetColorCount(2);
            Picture.SetPaletteColor(0, RGB(0, 128, 255));
            Picture.SetPaletteColor(1, RGB(128, 128, 128));
            Picture.SetPixelValue(0, 0, 1);
        }
        Picture.SetFileGamma(fields.value(1).toDouble());
    }
};

TEST(Loading, ReaderChoiceChangeEventsAndFailures) {
    QTemporaryDir dir;
    TPixelGraphic source;
    FillPicture(source, 3, 2, 3);
    const QByteArray bmp = BmpOf(source);
    WriteFile(dir.filePath("x.jpg"), bmp);
    WriteFile(dir.filePath("x.tga"), bmp);
    WriteFile(dir.filePath("x.bmp"), "not a picture at all");
    WriteFile(dir.filePath("x.gam"), "24 1.8");
    TScopedFileFormatRegistration gamma(std::make_unique<TGammaReader>());

    struct {
        const char* Name;
        QString Error;
        int Changes;
    } const cases[] = {
        {"x.jpg", {}, 1},
        {"x.tga", {}, 1},
        {"x.gam", {}, 1},
        {"x.bmp", "Unknown file format", 1},
        {"missing.bmp", "Cannot open file", 0}, // EFOpenError, before the picture is touched
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        FillPicture(picture, 4, 4, 2);
        picture.SetFileGamma(1.0L);
        int changes = 0;
        picture.SetOnChange([&](TObject*) { ++changes; });
        const QString error = Raised<Exception>([&] { picture.LoadFromFile(dir.filePath(c.Name)); });
        EXPECT_EQ(changes, c.Changes);
        // Every load that reached the picture starts it over, the file gamma too.
        EXPECT_DOUBLE_EQ(double(picture.GetFileGamma()), double(c.Changes == 1 ? PGDisplayGamma : 1.0L));
        if (c.Error.isEmpty()) {
            EXPECT_EQ(error, QStringLiteral("(nothing raised)"));
            EXPECT_EQ(picture.GetWidth(), c.Name == QLatin1String("x.gam") ? 2 : 3);
        } else {
            EXPECT_TRUE(error.startsWith(c.Error)) << error.toStdString();
        }
        if (c.Changes == 1 && !c.Error.isEmpty()) {
            EXPECT_TRUE(picture.GetEmpty());
        }
    }
    // Without an extension only readers with a signature are asked.
    QBuffer buffer;
    buffer.setData("24 1.8");
    buffer.open(QIODevice::ReadOnly);
    TPixelGraphic picture;
    EXPECT_EQ(Raised<EPGUnknownFileFormat>([&] { picture.LoadFromStream(buffer); }), "Unknown file format");
    picture.LoadFromStreamExt(buffer, QStringLiteral(".GAM"));
    EXPECT_EQ(picture.GetWidth(), 2);
}

TEST(Loading, GammaCorrectionByRatio) {
    struct {
        const char* Name;
        const char* Format;
        long double FileGamma;
        long double DisplayGamma;
        bool Correction;
        bool Corrected;
    } const cases[] = {
        {"ratio 1.04 is left alone", "24", 1.8L * 1.04L, 1.8L, true, false},
        {"ratio 1.06 is corrected", "24", 1.8L * 1.06L, 1.8L, true, true},
        {"ratio 2", "24", 3.6L, 1.8L, true, true},
        {"ratio 2 with correction off", "24", 3.6L, 1.8L, false, false},
        {"paletted ratio 2", "8", 3.6L, 1.8L, true, true},
        {"display gamma 0", "24", 1.8L, 0.0L, true, false},
    };
    TScopedFileFormatRegistration gamma(std::make_unique<TGammaReader>());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const long double display = PGDisplayGamma;
        const bool correction = PGGammaCorrection;
        PGDisplayGamma = c.DisplayGamma;
        PGGammaCorrection = c.Correction;
        QBuffer buffer;
        buffer.setData(QByteArray(c.Format) + ' ' + QByteArray::number(double(c.FileGamma), 'g', 17));
        buffer.open(QIODevice::ReadOnly);
        TPixelGraphic picture;
        picture.LoadFromStreamExt(buffer, QStringLiteral("gam"));
        PGDisplayGamma = display;
        PGGammaCorrection = correction;

        const long double ratio = c.FileGamma / c.DisplayGamma;
        const auto expected = [&](int v) {
            return c.Corrected ? uint8_t(std::nearbyint(255 * std::pow(v / 255.0L, ratio))) : uint8_t(v);
        };
        const TColor first =
            c.Format == QByteArray("24") ? picture.GetPixelValue(0, 0) : picture.IndexToColor(0);
        EXPECT_EQ(first, RGB(expected(0), expected(128), expected(255)));
        if (c.Format == QByteArray("24")) {
            EXPECT_EQ(picture.GetScanLine(0)[6], 77);
        } else {
            EXPECT_EQ(picture.GetPixelValue(0, 0), 1u); // indices stay
            EXPECT_EQ(picture.IndexToColor(1), RGB(expected(128), expected(128), expected(128)));
        }
        if (c.Corrected) {
            EXPECT_EQ(double(picture.GetFileGamma()), double(c.DisplayGamma));
        }
    }
    EXPECT_EQ(uint8_t(std::nearbyint(255 * std::pow(128 / 255.0L, 2.0L))), 64); // the ratio-2 case's byte
}

// Keeps a copy of the picture it was asked to write and writes a marker.
class TRecordingWriter : public TFileFormatWriter {
public:
    TRecordingWriter(const char* ext, uint8_t resolutions, TPixelGraphic* written) : Written(written) {
        Extension = QString::fromLatin1(ext);
        Description = QStringLiteral("Test ") + Extension;
        CanWriteResolutions = resolutions;
    }
    const char* ClassName() const override { return "TRecordingWriter"; }
    void Write(QIODevice& Stream, TPixelGraphic& Picture) const override {
        Written->Assign(&Picture);
        WriteBuffer(Stream, "written", 7);
    }
    TPixelGraphic* Written;
};

// A name that is no regular file (a FIFO would block its opening until a writer comes) is refused before it
// is opened; the load runs in a child process, so a hang fails the test instead of stopping it.
TEST(Loading, NamesOfOtherThanRegularFilesAreRefused) {
    QTemporaryDir dir;
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("fifo.bmp")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bmp"));
    for (const char* name : {"fifo.bmp", "folder.bmp"}) {
        SCOPED_TRACE(name);
        const std::optional<TChildCost> cost = RunInChild(
            [&] {
                TPixelGraphic picture;
                return Raised<EFOpenError>([&] { picture.LoadFromFile(dir.filePath(name)); }).toStdString();
            },
            256, 10);
        if (!cost)
            GTEST_SKIP() << "no child process measurements here (/proc/self/clear_refs)";
        EXPECT_TRUE(cost->Finished) << "the load hung";
        EXPECT_EQ(cost->Outcome,
                  "Cannot open file \"" + dir.filePath(name).toStdString() + "\". Not a regular file");
    }
}

// Pictures loaded one after another into one picture, of its size and of others, small and large, after
// its pixels and row padding were written over: each is pinned down to the byte by its checksum, and a
// picture of the same size is read into the same block.
TEST(Loading, PictureAfterPictureGivesTheSameBytes) {
    const struct {
        const char* Ext;
        uint8_t Format;
        int Width, Height;
        uint64_t Sum;
    } loads[] = {
        {"ppm", 3, 37, 5, 4037550407855038074ull},      {"tga", 3, 37, 5, 8782124649577219765ull},
        {"ppm", 3, 37, 5, 4992249944950782703ull},      {"pgm", 2, 37, 5, 8594029449496989562ull},
        {"tga", 3, 37, 5, 10093528345317497676ull},     {"ppm", 3, 1001, 700, 2575197723233630965ull},
        {"tga", 3, 1001, 700, 6763564479899253728ull},  {"bmp", 3, 1001, 700, 13891702391929032612ull},
        {"ppm", 3, 700, 1001, 10261995463071862457ull}, {"tga", 2, 1001, 700, 12349950230259343098ull},
        {"ppm", 3, 38, 5, 5094802095236363577ull},      {"ppm", 3, 4000, 2800, 9524398690797360076ull},
        {"tga", 3, 4000, 2800, 1576404839040493900ull},
    };
    std::mt19937 rng(33);
    TPixelGraphic picture;
    for (const auto& l : loads) {
        SCOPED_TRACE(testing::Message() << l.Ext << " " << l.Width << "x" << l.Height);
        auto source = RandomPicture(rng, l.Width, l.Height, l.Format);
        if (l.Ext == std::string("pgm"))
            source->SetPaletteIdent(pGray256);
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        source->SaveToFileStream(file, QLatin1String(l.Ext));
        file.close();
        file.open(QIODevice::ReadOnly);
        const uint8_t* before = picture.GetBits();
        const int sizeBefore = picture.GetImageSize();
        picture.LoadFromStreamExt(file, QLatin1String(l.Ext));
        EXPECT_EQ(PictureChecksum(picture), l.Sum);
        if (picture.GetImageSize() == sizeBefore) {
            EXPECT_EQ(picture.GetBits(), before) << "a load of the same size keeps the block";
        }
        std::memset(picture.GetBits(), 0xA5, size_t(picture.GetImageSize()));
    }
}

TEST(Saving, WriterChoiceAndItsErrors) {
    QTemporaryDir dir;
    TPixelGraphic picture;
    FillPicture(picture, 5, 3, 3);
    TPixelGraphic written;
    // Ends before the registries are cleared below: afterwards its entry's address may belong to another.
    auto none = std::make_optional<TScopedFileFormatRegistration>(
        std::make_unique<TRecordingWriter>("tnone", 0, &written));

    EXPECT_EQ(Raised<EPGUnknownExtension>([&] { picture.SaveToFile(dir.filePath("a.xyz")); }),
              QStringLiteral("Unknown file extension \"xyz\""));
    EXPECT_EQ(Raised<EPGCanWriteResolutionsEmpty>([&] { picture.SaveToFile(dir.filePath("a.tnone")); }),
              QStringLiteral("TRecordingWriter.CanWriteResolutions is empty"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
    EXPECT_TRUE(Raised<EFCreateError>([&] {
                    picture.SaveToFile(dir.filePath("missing/a.bmp"));
                }).startsWith(QStringLiteral("Cannot create file")));

    // Upper-case extensions find the writer; ".dib" finds the writer the dialog does not offer.
    for (const char* name : {"UPPER.BMP", "plain.dib"}) {
        picture.SaveToFile(dir.filePath(name));
        TPixelGraphic back;
        back.LoadFromFile(dir.filePath(name));
        ExpectSamePicture(picture, back);
    }
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    picture.SaveToFileStream(buffer, QStringLiteral(".Bmp"));
    EXPECT_EQ(buffer.data(), BmpOf(picture));

    none.reset();
    ClearFileFormatRegistries();
    const QString empty =
        Raised<EPGFileFormatWritersEmpty>([&] { picture.SaveToFile(dir.filePath("b.bmp")); });
    RegisterAllFileFormats();
    EXPECT_EQ(empty, QStringLiteral("FileFormatWriters is empty"));
}

TEST(Saving, ResolutionChoiceWarningsAndRefusals) {
    TPixelGraphic written;
    TScopedFileFormatRegistration pbm(std::make_unique<TRecordingWriter>("tpbm", 1, &written));
    TScopedFileFormatRegistration jpg(std::make_unique<TRecordingWriter>("tjpg", 0xA0, &written));
    TScopedFileFormatRegistration tga(std::make_unique<TRecordingWriter>("ttga", 0xC0, &written));
    const QString refusal =
        QStringLiteral("The graphic cannot be saved with to a Test tpbm file with the current "
                       "color resolution (16.7 million colors)");
    struct {
        const char* Name;
        uint8_t Format; // of the picture saved
        TPaletteIdent Palette;
        const char* Ext;
        TPGWarningAction Action;
        TModalResult Answer;
        TColorResolution Written;
        QString Error;
        TMsgDlgButtons Box; // 0: no box
    } const cases[] = {
        {"true colour as PBM, ignored", 3, pTrueColor, "tpbm", pgwaIgnore, mrOk, crBlackWhite, {}, 0},
        {"true colour as PBM, raised", 3, pTrueColor, "tpbm", pgwaRaise, mrOk, crBlackWhite, refusal, 0},
        {"true colour as PBM, cancelled", 3, pTrueColor, "tpbm", pgwaOKCancelBox, mrCancel, crBlackWhite,
         refusal, mbOK | mbCancel},
        {"true colour as PBM, confirmed",
         3,
         pTrueColor,
         "tpbm",
         pgwaOKCancelBox,
         mrOk,
         crBlackWhite,
         {},
         mbOK | mbCancel},
        {"true colour as PBM, told", 3, pTrueColor, "tpbm", pgwaOKBox, mrOk, crBlackWhite, {}, mbOK},
        {"black and white as JPEG", 0, pBlackWhite, "tjpg", pgwaIgnore, mrOk, cr256Grays, {}, 0},
        {"16 colours as TGA", 1, pUnknown, "ttga", pgwaIgnore, mrOk, cr256Colors, {}, 0},
        {"true colour as JPEG is kept", 3, pTrueColor, "tjpg", pgwaRaise, mrOk, crTrueColor, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir dir;
        TPixelGraphic picture;
        FillPicture(picture, 6, 4, c.Format);
        if (c.Palette != pUnknown)
            picture.SetPaletteIdent(c.Palette);
        TPixelGraphic before;
        before.Assign(&picture);
        picture.SetSaveColorResWarningAction(c.Action);
        int progress = 0;
        picture.SetOnProgress([&](TObject* sender, int, int, bool&) {
            EXPECT_NE(sender, &picture); // the converted copy reports through the picture's handler
            ++progress;
        });
        const QString existing = dir.filePath(QStringLiteral("old.") + QLatin1String(c.Ext));
        WriteFile(existing, "old content");
        written.SetFormat(0, 0, 3);

        MessageBoxSpy spy(c.Answer);
        const QString error = Raised<EPGCannotWriteColorRes>([&] { picture.SaveToFile(existing); });
        ASSERT_EQ(spy.Requests.size(), c.Box ? 1u : 0u);
        if (c.Box) {
            EXPECT_EQ(spy.Requests[0].Caption, QStringLiteral("Warning"));
            EXPECT_EQ(spy.Requests[0].Type, mtWarning);
            EXPECT_EQ(spy.Requests[0].Buttons, c.Box);
            EXPECT_EQ(spy.Requests[0].Text,
                      QStringLiteral("The graphic cannot be saved to a Test tpbm file with the current color "
                                     "resolution (16.7 million colors).\r\rThe graphic will be saved with a "
                                     "different color resolution (black and white)."));
        }
        ExpectSamePicture(before, picture);
        if (!c.Error.isEmpty()) {
            EXPECT_EQ(error, c.Error);
            EXPECT_EQ(ReadFile(existing), QByteArray("old content"));
            EXPECT_TRUE(written.GetEmpty());
            continue;
        }
        EXPECT_EQ(error, QStringLiteral("(nothing raised)"));
        EXPECT_EQ(ReadFile(existing), QByteArray("written"));
        EXPECT_EQ(ColorResolutionOf(written), c.Written);
        EXPECT_EQ(written.GetWidth(), 6);
        EXPECT_EQ(progress > 0, c.Written != crTrueColor);
        if (c.Written == cr256Colors) // the optimized table keeps the 16 system colours
            for (TColor sys : StandardPalette(pSys16)) {
                bool found = false;
                for (int i = 0; i < written.GetColorCount(); ++i)
                    found = found || written.IndexToColor(uint32_t(i)) == sys;
                EXPECT_TRUE(found) << std::hex << sys;
            }
        if (c.Written == crBlackWhite) { // converted, not emptied: some pixels are light, some dark
            int light = 0;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 6; ++x)
                    light += int(written.GetPixelValue(x, y));
            EXPECT_GT(light, 0);
            EXPECT_LT(light, 24);
        }
    }
}

TEST(Saving, OffTheGuiThreadTheCautiousAnswerRefuses) {
    TPixelGraphic written;
    TScopedFileFormatRegistration pbm(std::make_unique<TRecordingWriter>("tpbm", 1, &written));
    TPixelGraphic picture;
    FillPicture(picture, 3, 3, 3);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const TMessageBoxHandler testHandler =
        SetMessageBoxHandler({}); // the real box, which a worker must not show
    QString error;
    std::thread([&] {
        error =
            Raised<EPGCannotWriteColorRes>([&] { picture.SaveToFileStream(buffer, QStringLiteral("tpbm")); });
    }).join();
    SetMessageBoxHandler(testHandler);
    EXPECT_TRUE(error.startsWith(QStringLiteral("The graphic cannot be saved"))) << error.toStdString();
    EXPECT_EQ(buffer.size(), 0);
}

// Every writer against every kind of picture: saved and loaded back, a picture keeps its values and colours
// wherever the format can hold them, and its colours wherever the format holds them through another table.
// Picture saved in memory by the writer of Extension and read back into Back.
void SaveAndLoadBack(TPixelGraphic& Picture, const QString& Extension, TPixelGraphic& Back) {
    QBuffer file;
    file.open(QIODevice::ReadWrite);
    Picture.SaveToFileStream(file, Extension);
    file.seek(0);
    Back.LoadFromStreamExt(file, Extension);
}

TEST(Saving, EveryWriterKeepsWhatItsFormatCanHold) {
    // One letter per kind below: V values and colours, C colours, J lossy JPEG (close colours), L another
    // kind of picture or JPEG over a table of unrelated colours (only the size stays).
    const std::map<QString, const char*> expected = {{"bmp", "VVVVV"}, {"dib", "VVVVV"},  {"png", "VVVVV"},
                                                     {"tif", "VVVVV"}, {"tiff", "VVVVV"}, {"tga", "CCVVV"},
                                                     {"pbm", "VLLLL"}, {"pgm", "CLVLL"},  {"ppm", "CCCCV"},
                                                     {"jpg", "JLJLJ"}, {"jpeg", "JLJLJ"}, {"jif", "JLJLJ"}};
    const auto kind = [](int k, TPixelGraphic& p) {
        static constexpr uint8_t formats[] = {0, 1, 2, 2, 3};
        if (k == 4) {
            PictureFromPnm(GeneratedPhoto(16, 16), p);
            return;
        }
        p.SetFormat(16, 16, formats[k]);
        if (k == 0)
            p.SetPaletteIdent(pBlackWhite);
        else if (k == 2)
            p.SetPaletteIdent(pGray256);
        else {
            p.SetColorCount(p.GetMaxColorCount());
            for (int i = 0; i < p.GetColorCount(); ++i)
                p.SetPaletteColor(i, RGB(uint8_t(i * 7 + 3), uint8_t(255 - i), uint8_t(i * 29)));
        }
        for (int y = 0; y < 16; ++y) // every value of the table, in a smooth sweep
            for (int x = 0; x < 16; ++x)
                p.SetPixelValue(x, y,
                                uint32_t((y % 2 ? 15 - x : x) + 16 * y) % uint32_t(p.GetMaxColorCount()));
        p.DetectPaletteIdent();
    };
    const char* kinds[] = {"1-bit black and white", "4-bit colours", "8-bit grey", "8-bit colours", "24-bit"};
    ASSERT_EQ(FileFormatWriters().size(), expected.size());
    for (const auto& writer : FileFormatWriters())
        for (int k = 0; k < 5; ++k) {
            SCOPED_TRACE(writer->Extension.toStdString() + ", " + kinds[k]);
            ASSERT_TRUE(expected.count(writer->Extension));
            const char outcome = expected.at(writer->Extension)[k];
            TPixelGraphic picture;
            kind(k, picture);
            picture.SetSaveColorResWarningAction(pgwaIgnore);
            TPixelGraphic back;
            SaveAndLoadBack(picture, writer->Extension, back);
            ASSERT_EQ(std::make_pair(back.GetWidth(), back.GetHeight()), std::make_pair(16, 16));
            int largest = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const TColor a = picture.GetPixelColor(x, y), b = back.GetPixelColor(x, y);
                    for (int shift : {0, 8, 16})
                        largest =
                            std::max(largest, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
                    if (outcome == 'V') {
                        ASSERT_EQ(back.GetPixelValue(x, y), picture.GetPixelValue(x, y)) << x << "," << y;
                    }
                }
            if (outcome == 'V') {
                EXPECT_EQ(back.GetBitCountNum(), picture.GetBitCountNum());
                EXPECT_EQ(back.GetPaletteIdent(), picture.GetPaletteIdent());
            }
            if (outcome == 'V' || outcome == 'C') {
                EXPECT_EQ(largest, 0);
            }
            if (outcome == 'J') {
                EXPECT_LE(largest, 48);
            }
        }
}

// Pixel values at or beyond the table's end, as files with short tables hold them: every operation gives
// them the first entry's colour and none raises.
TEST(PixelsBeyondTheTable, TakeTheFirstEntryInEveryOperation) {
    // A colour map of 4 entries, 3 x 1.
    const QByteArray tga =
        ColorMappedTga(Bytes({10, 20, 30, 40, 50, 60, 70, 80, 90, 1, 2, 3}), Bytes({200, 1, 3}));
    // An 8-bit BMP with 2 table entries, 4 x 1: indices 7, 1, 200, 0.
    const QByteArray bmp = BmpFile(TInfoHeader{.Width = 4, .BitCount = 8, .ClrUsed = 2}.Bytes() +
                                       Bytes({10, 20, 30, 0, 40, 50, 60, 0}) + Bytes({7, 1, 200, 0}),
                                   48);
    const struct {
        const char* Ext;
        QByteArray File;
        std::vector<TColor> Colors;
    } files[] = {{"tga", tga, {RGB(30, 20, 10), RGB(60, 50, 40), RGB(3, 2, 1)}},
                 {"bmp", bmp, {RGB(30, 20, 10), RGB(60, 50, 40), RGB(30, 20, 10), RGB(30, 20, 10)}}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.Ext);
        QBuffer in;
        in.setData(f.File);
        in.open(QIODevice::ReadOnly);
        TPixelGraphic picture;
        picture.LoadFromStreamExt(in, QString::fromLatin1(f.Ext));
        ASSERT_EQ(picture.GetWidth(), int(f.Colors.size()));
        ASSERT_GE(picture.GetPixelValue(0, 0), uint32_t(picture.GetColorCount()));
        std::vector<TColor> colors;
        for (int x = 0; x < picture.GetWidth(); ++x)
            colors.push_back(picture.GetPixelColor(x, 0));
        EXPECT_EQ(colors, f.Colors);

        QImage shown(picture.GetWidth(), 1, QImage::Format_RGB32);
        {
            QPainter painter(&shown);
            picture.DrawTo(painter, TRect{0, 0, picture.GetWidth(), 1});
        }
        for (int x = 0; x < picture.GetWidth(); ++x)
            EXPECT_EQ(shown.pixel(x, 0) & 0xFFFFFF, ColorToQRgb(f.Colors[size_t(x)]) & 0xFFFFFF) << x;

        TPixelGraphic filtered, turned;
        filtered.SetFormat(1, 1, 3);
        TNegativeFilter negative;
        filtered.ApplyFilter(negative, picture);
        turned.SetFormat(1, picture.GetWidth(), 3);
        turned.Rotate(false, picture, 90);
        for (int x = 0; x < picture.GetWidth(); ++x) {
            EXPECT_EQ(filtered.GetPixelColor(x, 0), f.Colors[size_t(x)] ^ 0xFFFFFF) << x;
            EXPECT_EQ(turned.GetPixelColor(0, x), f.Colors[size_t(x)]) << x;
        }

        picture.SetSaveColorResWarningAction(pgwaIgnore);
        for (const auto& writer : FileFormatWriters()) {
            SCOPED_TRACE(writer->Extension.toStdString());
            TPixelGraphic back;
            SaveAndLoadBack(picture, writer->Extension, back);
            const bool keepsColors = writer->CanWrite(cr256Colors) || writer->CanWrite(crTrueColor);
            for (int x = 0; keepsColors && !writer->Extension.startsWith('j') && x < picture.GetWidth(); ++x)
                EXPECT_EQ(back.GetPixelColor(x, 0), f.Colors[size_t(x)]) << x;
        }
    }
}

TEST(Saving, WriteCutShortByTheFileSizeLimitKeepsFiles) {
    QTemporaryDir dir;
    TPixelGraphic picture;
    FillPicture(picture, 200, 100, 3);
    const QString existing = dir.filePath("old.bmp");
    WriteFile(existing, "old content");

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const QString replaceError = Raised<Exception>([&] { picture.SaveToFile(existing); });
    const QString createError = Raised<Exception>([&] { picture.SaveToFile(dir.filePath("new.bmp")); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(replaceError.startsWith(QStringLiteral("Stream write error"))) << replaceError.toStdString();
    EXPECT_TRUE(createError.startsWith(QStringLiteral("Stream write error"))) << createError.toStdString();
    EXPECT_EQ(ReadFile(existing), QByteArray("old content"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.bmp"});
}

TEST(FormStreaming, RecordRoundTripAndDamagedLengths) {
    for (uint8_t format : {0, 1, 2, 3}) {
        SCOPED_TRACE(int(format));
        TPixelGraphic picture;
        FillPicture(picture, 7, 3, format);
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        stream.write("ABC");
        picture.WriteData(stream);
        const qint64 end = stream.pos();
        stream.write("trailing");
        ASSERT_TRUE(stream.seek(3));
        TPixelGraphic back;
        back.ReadData(stream);
        ExpectSamePicture(picture, back);
        EXPECT_EQ(stream.pos(), end);
        EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t*>(stream.data().constData()) + 3),
                  uint32_t(end - 7));
    }

    TPixelGraphic picture;
    FillPicture(picture, 2, 2, 3);
    const QByteArray bmp = BmpOf(picture);
    struct {
        const char* Name;
        QByteArray Record;
        QString Error;
    } const cases[] = {
        {"negative length", Le32(uint32_t(-1)) + bmp, "BMP: Unexpected end of file"},
        {"length beyond the stream", Le32(uint32_t(bmp.size() + 1)) + bmp, "BMP: Unexpected end of file"},
        {"no length", Le16(1), "BMP: Unexpected end of file"},
        {"length shorter than the file", Le32(uint32_t(bmp.size() - 8)) + bmp, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QBuffer stream;
        stream.setData(c.Record);
        stream.open(QIODevice::ReadOnly);
        TPixelGraphic target;
        FillPicture(target, 3, 3, 2);
        const QString error = Raised<EPGBMPFileFormatReader>([&] { target.ReadData(stream); });
        if (c.Error.isEmpty()) {
            // The last row in the file is the top row: only its pixels are missing.
            EXPECT_EQ(target.GetPixelValue(1, 0), 0u);
            EXPECT_EQ(target.GetPixelValue(1, 1), picture.GetPixelValue(1, 1));
            EXPECT_EQ(stream.pos(), c.Record.size() - 8);
        } else {
            EXPECT_EQ(error, c.Error);
            EXPECT_EQ(target.GetWidth(), 3); // nothing was loaded
        }
    }
}

TEST(Clipboard, FormatsBlocksAndTheSystemClipboard) {
    TPixelGraphic picture;
    FillPicture(picture, 5, 3, 2);
    uint16_t format = 0;
    QByteArray dib;
    picture.SaveToClipboardFormat(format, dib);
    EXPECT_EQ(format, TPixelGraphic::CF_DIB);
    EXPECT_EQ(dib, BmpOf(picture).mid(14));

    for (uint16_t f : {TPixelGraphic::CF_BITMAP, TPixelGraphic::CF_DIB}) {
        TPixelGraphic back;
        back.LoadFromClipboardFormat(f, dib);
        ExpectSamePicture(picture, back);
    }
    TPixelGraphic other;
    EXPECT_EQ(Raised<EPGUnknownClipboardFormat>([&] { other.LoadFromClipboardFormat(3, dib); }),
              QStringLiteral("Unknown clipboard format"));
    EXPECT_EQ(Raised<EPGUnknownClipboardFormat>([&] { other.LoadFromClipboardFormat(8, {}); }),
              QStringLiteral("Unknown clipboard format"));

    // A 124-byte header with 5-6-5 masks inside it.
    TInfoHeader h;
    h.Size = 124;
    h.BitCount = 16;
    h.Compression = 3;
    const QByteArray v5 = h.Bytes() + Le32(0xF800) + Le32(0x07E0) + Le32(0x001F) + QByteArray(124 - 52, 0) +
                          Bytes({0x1F, 0xF8, 0, 0});
    other.LoadFromClipboardFormat(TPixelGraphic::CF_DIB, v5);
    EXPECT_EQ(other.GetPixelColor(0, 0), RGB(255, 0, 255));

    // Through the system clipboard, from our own data and from an image another program put there.
    CopyPictureToClipboard(picture);
    ASSERT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/bmp")));
    EXPECT_EQ(QGuiApplication::clipboard()->image().pixel(4, 0), ColorToQRgb(picture.GetPixelColor(4, 0)));
    TPixelGraphic pasted;
    PastePictureFromClipboard(pasted);
    ExpectSamePicture(picture, pasted);

    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    image.setPixel(2, 1, qRgb(200, 100, 50));
    QGuiApplication::clipboard()->setImage(image);
    PastePictureFromClipboard(pasted);
    ASSERT_EQ(pasted.GetWidth(), 3);
    ASSERT_EQ(pasted.GetHeight(), 2);
    EXPECT_EQ(pasted.GetPixelColor(0, 0), RGB(10, 20, 30));
    EXPECT_EQ(pasted.GetPixelColor(2, 1), RGB(200, 100, 50));

    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(Raised<EPGUnknownClipboardFormat>([&] { PastePictureFromClipboard(pasted); }),
              QStringLiteral("Unknown clipboard format"));
}

TEST(PixelFormatHelpers, BitCountsBackgroundAndFormatChanges) {
    const struct {
        int Bits;
        int Num; // -1: refused
    } cases[] = {{1, 0}, {4, 1}, {8, 2}, {24, 3}, {16, -1}, {32, -1}, {0, -1}};
    for (const auto& c : cases) {
        if (c.Num >= 0) {
            EXPECT_EQ(TPixelGraphic::BitCountNumOf(c.Bits), c.Num);
        } else
            EXPECT_EQ(Raised<EPGInvalidBitCountNum>([&] { TPixelGraphic::BitCountNumOf(c.Bits); }),
                      QStringLiteral("Invalid value for BitCountNum"));
    }
    TPixelGraphic picture;
    FillPicture(picture, 3, 2, 2);
    picture.SetBackGroundColor(picture.IndexToColor(5));
    EXPECT_EQ(picture.GetBackGroundValue(), 5u);
    int changes = 0;
    picture.SetOnChange([&](TObject*) { ++changes; });
    picture.SetBitCountNum(2);
    EXPECT_EQ(changes, 0);
    picture.SetBitCountNum(3);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(picture.GetPixelValue(2, 1), 0u);
    picture.SetBackGroundColor(RGB(1, 2, 3));
    EXPECT_EQ(picture.GetBackGroundValue(), RGB(1, 2, 3));
}

} // namespace
