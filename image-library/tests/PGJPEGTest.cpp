// The JPEG reader and writer against libjpeg-turbo's own programs (cjpeg, djpeg) and python3-pil, and their
// failure paths: damaged, hostile and unreadable input, warning actions, progress and abort.
#include "image-library/formats/PGJPEG.h"

#include "framework/testing/MessageBoxSpy.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/TestPictures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// Restores every setting a test may change.
class JpegTest : public ::testing::Test {
protected:
    void TearDown() override {
        PGJPEGQuality = Quality;
        PGJPEGDCTMethod = DCTMethod;
        PGJPEGProgressive = Progressive;
        PGMaxPixelMemory = MaxPixelMemory;
    }

private:
    const uint8_t Quality = PGJPEGQuality, DCTMethod = PGJPEGDCTMethod;
    const bool Progressive = PGJPEGProgressive;
    const int64_t MaxPixelMemory = PGMaxPixelMemory;
};

void Read(const QByteArray& bytes, TPixelGraphic& picture, int index = 0) {
    ReadFromBytes(TJPGFileFormatReader(), bytes, picture, index);
}

TFileFormatInfo InfoOf(const QByteArray& bytes, int index = 0) {
    return Info(TJPGFileFormatReader(), bytes, index);
}

QByteArray Write(TPixelGraphic& picture) {
    return Written(TJPGFileFormatWriter(), picture);
}

// "<exception class>: <message>", or "none".
template <class TAction> std::string FailureOf(TAction&& action) {
    try {
        action();
    } catch (const Exception& e) {
        return std::string(e.className()) + ": " + e.what();
    }
    return "none";
}

std::string JpgError(const char* message) {
    return std::string("EPGJPGFileFormatReaderWriter: JPG: ") + message;
}

QByteArray Cjpeg(const TPnm& pnm, const QStringList& args) {
    const TToolResult r = RunTool(QStringLiteral("cjpeg"), args, EncodePnm(pnm));
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    return r.Out;
}

// djpeg's picture as RGB samples; warnings (exit code 2) are expected for damaged files.
TPnm Djpeg(const QByteArray& jpeg, const QStringList& args) {
    const TToolResult r = RunTool(QStringLiteral("djpeg"), args + QStringList{QStringLiteral("-pnm")}, jpeg);
    EXPECT_TRUE(r.ExitCode == 0 || r.ExitCode == 2) << r.Err.toStdString();
    const std::optional<TPnm> pnm = DecodePnm(r.Out);
    EXPECT_TRUE(pnm.has_value());
    return pnm ? RgbPnm(*pnm) : TPnm{};
}

TPnm GrayPhoto(int width, int height) {
    const TPnm color = GeneratedPhoto(width, height);
    TPnm gray = color;
    gray.Channels = 1;
    gray.Samples.resize(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            gray.At(x, y) = color.At(x, y, 1);
    return gray;
}

QStringList Args(const char* text) {
    return QString::fromLatin1(text).split(' ', Qt::SkipEmptyParts);
}

TPnm RedPnm() {
    TPnm red;
    red.Width = 16;
    red.Height = 8;
    for (int i = 0; i < 16 * 8; ++i)
        red.Samples.insert(red.Samples.end(), {255, 0, 0});
    return red;
}

bool IsRed(const TPnm& pnm, int x, int y) {
    return pnm.At(x, y, 0) > 250 && pnm.At(x, y, 1) < 5 && pnm.At(x, y, 2) < 5;
}

// The photo of the reader tests, cut inside its scan data.
QByteArray CutPhoto() {
    const QByteArray whole = Cjpeg(GeneratedPhoto(517, 333), {});
    return whole.left(whole.size() * 3 / 5);
}

// A device that fails every read and refuses every write.
class BrokenDevice : public QIODevice {
public:
    BrokenDevice() { open(QIODevice::ReadWrite); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override { return -1; }
};

// A progressive file whose last scan comes Count times: the repeats break the order of successive
// approximation, which the codec only warns about, so they are all decoded.
QByteArray WithRepeatedLastScan(const QByteArray& progressive, int count) {
    const qsizetype scan = progressive.lastIndexOf(QByteArray::fromHex("ffda"));
    const qsizetype end = progressive.lastIndexOf(QByteArray::fromHex("ffd9"));
    return progressive.left(scan) + progressive.mid(scan, end - scan).repeated(count) + progressive.mid(end);
}

TEST_F(JpegTest, Writer_MatchesCjpegByteForByte) {
    SKIP_UNLESS_TOOL("cjpeg");
    SKIP_UNLESS_TOOL("djpeg");
    struct Case {
        bool Gray;
        uint8_t Quality, Method;
        bool Progressive;
        const char* Cjpeg;
    } const cases[] = {
        {false, 80, 2, false, "-quality 80 -baseline -dct float"},
        {false, 100, 0, false, "-quality 100 -baseline -dct int"},
        {false, 10, 1, false, "-quality 10 -baseline -dct fast"},
        {false, 75, 0, true, "-quality 75 -baseline -dct int -progressive"},
        {true, 80, 2, false, "-quality 80 -baseline -dct float"},
        {true, 10, 0, true, "-quality 10 -baseline -dct int -progressive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Gray ? "gray " : "color ") + c.Cjpeg);
        const TPnm pnm = c.Gray ? GrayPhoto(97, 61) : GeneratedPhoto(97, 61);
        TPixelGraphic picture;
        if (c.Gray) {
            GrayPictureFromPnm(pnm, picture);
            picture.SetPaletteColor(0,
                                    0); // the table is still the 256 grey levels, but no longer known as such
        } else {
            PictureFromPnm(pnm, picture);
        }
        PGJPEGQuality = c.Quality;
        PGJPEGDCTMethod = c.Method;
        PGJPEGProgressive = c.Progressive;
        EXPECT_EQ(Write(picture), Cjpeg(pnm, Args(c.Cjpeg)));
    }
    TPixelGraphic red;
    PictureFromPnm(RedPnm(), red);
    EXPECT_TRUE(IsRed(Djpeg(Write(red), {}), 3, 7));
}

TEST_F(JpegTest, Reader_MatchesDjpeg) {
    SKIP_UNLESS_TOOL("cjpeg");
    SKIP_UNLESS_TOOL("djpeg");
    struct Case {
        const char* Cjpeg;
        bool Gray;
        int Width, Height;
    } const cases[] = {
        {"", false, 517, 333},          {"-progressive", false, 97, 61}, {"-grayscale", false, 97, 61},
        {"-sample 1x1", false, 97, 61}, {"-sample 2x1", false, 97, 61},  {"-sample 2x2", false, 64, 48},
        {"-restart 1", false, 97, 61},  {"-optimize", false, 97, 61},    {"-progressive", true, 33, 17},
    };
    struct File {
        std::string Name;
        QByteArray Bytes;
        bool Gray;
    };
    std::vector<File> files;
    for (const Case& c : cases) {
        const TPnm pnm = c.Gray ? GrayPhoto(c.Width, c.Height) : GeneratedPhoto(c.Width, c.Height);
        files.push_back({c.Cjpeg, Cjpeg(pnm, Args(c.Cjpeg)), c.Gray || std::string(c.Cjpeg) == "-grayscale"});
    }
    files.push_back({"cut", CutPhoto(), false});
    files.push_back({"red", Cjpeg(RedPnm(), {}), false});
    // Progressive files of a picture large enough that the work of their scans counts: cjpeg's and PIL's ten
    // scans, and a dozen scans of a script.
    const TPnm large = GeneratedPhoto(2400, 1800);
    files.push_back({"large progressive", Cjpeg(large, Args("-progressive")), false});
    QTemporaryFile script;
    ASSERT_TRUE(script.open());
    script.write(
        "0,1,2: 0-0, 0, 0; 0: 1-1, 0, 0; 0: 2-3, 0, 0; 0: 4-6, 0, 0; 0: 7-10, 0, 0; 0: 11-15, 0, 0;\n"
        "0: 16-24, 0, 0; 0: 25-35, 0, 0; 0: 36-48, 0, 0; 0: 49-63, 0, 0; 1: 1-63, 0, 0; 2: 1-63, 0, 0;\n");
    script.flush();
    files.push_back({"a dozen scans", Cjpeg(large, {"-sample", "1x1", "-scans", script.fileName()}), false});
    if (PilAvailable()) {
        const TToolResult pil =
            RunPython(QStringLiteral("import io, sys\n"
                                     "from PIL import Image\n"
                                     "b = io.BytesIO()\n"
                                     "Image.open(sys.stdin.buffer).save(b, 'JPEG', progressive=True)\n"
                                     "sys.stdout.buffer.write(b.getvalue())\n"),
                      {}, EncodePnm(large));
        ASSERT_EQ(pil.ExitCode, 0) << pil.Err.toStdString();
        files.push_back({"PIL progressive", pil.Out, false});
    }
    for (const File& file : files) {
        for (const bool fast : {false, true}) {
            SCOPED_TRACE(file.Name + (fast ? " FastLoad" : ""));
            TPixelGraphic picture;
            picture.SetFastLoad(fast);
            picture.SetReadWarningAction(pgwaIgnore);
            Read(file.Bytes, picture);
            EXPECT_EQ(picture.GetBitCountNum(), file.Gray ? 2 : 3);
            EXPECT_EQ(picture.GetPaletteIdent(), file.Gray ? pGray256 : pTrueColor);
            EXPECT_TRUE(PnmFromPicture(picture) == Djpeg(file.Bytes, Args(fast ? "-dct fast" : "-dct int")));
            EXPECT_TRUE(file.Name != "red" || IsRed(PnmFromPicture(picture), 3, 7));
        }
    }
}

TEST_F(JpegTest, GetInfo_DescribesHeadersAndReadRefusesFourComponents) {
    SKIP_UNLESS_TOOL("cjpeg");
    SKIP_UNLESS_PIL();
    const TToolResult cmyk =
        RunPython(QStringLiteral("import io, sys\n"
                                 "from PIL import Image\n"
                                 "b = io.BytesIO()\n"
                                 "Image.new('CMYK', (16, 8), (10, 20, 30, 40)).save(b, 'JPEG')\n"
                                 "sys.stdout.buffer.write(b.getvalue())\n"));
    ASSERT_EQ(cmyk.ExitCode, 0) << cmyk.Err.toStdString();
    const TPnm photo = GeneratedPhoto(97, 61);
    struct Case {
        QByteArray Bytes;
        const char* Subformat;
        int Width, BitsPerPixel;
        const char* Colors;
    } const cases[] = {
        {Cjpeg(photo, {}), "JFIF, YCbCr", 97, 24, "16.7M"},
        {Cjpeg(photo, Args("-progressive")), "JFIF, YCbCr, Progressive", 97, 24, "16.7M"},
        {Cjpeg(photo, Args("-grayscale")), "JFIF, GrayScale", 97, 8, "256"},
        {Cjpeg(photo, Args("-rgb")), "Adope, RGB", 97, 24, "16.7M"},
        {cmyk.Out, "Adope, CMYK", 16, 32, "4294.9M"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Subformat);
        const TFileFormatInfo info = InfoOf(c.Bytes);
        EXPECT_EQ(info.Subformat.toStdString(), c.Subformat);
        EXPECT_EQ(info.Width, c.Width);
        EXPECT_EQ(info.Height, c.Width == 16 ? 8 : 61);
        EXPECT_EQ(info.BitsPerPixel, c.BitsPerPixel);
        EXPECT_EQ(info.Colors.toStdString(), c.Colors);
        EXPECT_EQ(info.PictureCount, 1);
    }
    TPixelGraphic picture;
    picture.SetFormat(5, 5, 3);
    EXPECT_EQ(FailureOf([&] { Read(cmyk.Out, picture); }), JpgError("Not supported subformat"));
    EXPECT_TRUE(picture.GetEmpty());
}

TEST_F(JpegTest, Failures_RaiseTheFormatsErrorAndLeaveNoPicture) {
    SKIP_UNLESS_TOOL("cjpeg");
    const QByteArray photo = Cjpeg(GeneratedPhoto(40, 30), {});
    TPixelGraphic target;
    auto read = [&](const QByteArray& bytes, TPGWarningAction action = pgwaIgnore) {
        return [&, bytes, action] {
            target.SetReadWarningAction(action);
            Read(bytes, target);
        };
    };
    auto write = [](uint8_t bitCountNum, TPaletteIdent ident, int size = 4) {
        return [=] {
            TPixelGraphic p;
            p.SetPaletteIdent(ident);
            p.SetFormat(size, size, bitCountNum);
            Write(p);
        };
    };
    // Empties: a read that failed in the data leaves an empty picture.
    struct Case {
        const char* Name;
        std::function<void()> Action;
        std::string Expected;
        bool Empties;
    } const cases[] = {
        {"empty stream", read({}), JpgError("Empty input file"), true},
        {"PNG bytes", read(QByteArray::fromHex("89504e470d0a1a0a")),
         JpgError("Not a JPEG file: starts with 0x89 0x50"), true},
        {"cut in the scan, pgwaRaise", read(photo.left(photo.size() - 100), pgwaRaise),
         JpgError("Premature end of JPEG file"), true},
        {"failing reads",
         [&] {
             BrokenDevice device;
             TJPGFileFormatReader().Read(device, target, 0);
         },
         JpgError("Input file read error"), true},
        {"refused writes",
         [] {
             BrokenDevice device;
             TPixelGraphic p;
             p.SetFormat(8, 8, 3);
             TJPGFileFormatWriter().Write(device, p);
         },
         JpgError("Output file write error --- out of disk space?"), false},
        {"Read index 1", [&] { Read(photo, target, 1); }, JpgError("Index invalid"), false},
        {"GetInfo index 1", [&] { InfoOf(photo, 1); }, JpgError("Invalid value for Index"), false},
        {"GetInfo of a cut header", [&] { InfoOf(photo.left(100)); }, JpgError("Premature end of JPEG file"),
         false},
        {"4-bit picture", write(1, pGray16), JpgError("Invalid value for BitCount"), false},
        {"8-bit colour picture", write(2, pSpecial252), JpgError("Invalid value for BitCount"), false},
        {"empty picture", write(3, pTrueColor, 0), JpgError("Empty JPEG image (DNL not supported)"), false},
    };
    EXPECT_TRUE(TJPGFileFormatReader().IsFormat({0xFF, 0xD8}));
    EXPECT_FALSE(TJPGFileFormatReader().IsFormat({0xFF, 0xD9}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        target.SetFormat(3, 3, 3);
        EXPECT_EQ(FailureOf(c.Action), c.Expected);
        EXPECT_EQ(target.GetEmpty(), c.Empties);
    }
}

TEST_F(JpegTest, CutFile_FollowsTheWarningAction) {
    SKIP_UNLESS_TOOL("cjpeg");
    const QByteArray cut = CutPhoto();
    struct Case {
        TPGWarningAction Action;
        TModalResult Answer;
        TMsgDlgButtons Box; // 0: no box
        std::string Expected;
    } const cases[] = {
        {pgwaIgnore, mrOk, 0, "none"},
        {pgwaOKBox, mrCancel, mbOK, "none"},
        {pgwaOKCancelBox, mrOk, mbOK | mbCancel, "none"},
        {pgwaOKCancelBox, mrCancel, mbOK | mbCancel, JpgError("Operation aborted on user request")},
        {pgwaRaise, mrOk, 0, JpgError("Premature end of JPEG file")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.Action) * 10 + c.Answer);
        MessageBoxSpy spy(c.Answer);
        TPixelGraphic picture;
        picture.SetReadWarningAction(c.Action);
        EXPECT_EQ(FailureOf([&] { Read(cut, picture); }), c.Expected);
        EXPECT_EQ(picture.GetWidth(), c.Expected == "none" ? 517 : 0);
        // The codec passes on only the first warning of an image, though a cut file gives several.
        ASSERT_EQ(spy.Requests.size(), c.Box ? 1u : 0u);
        if (c.Box) {
            EXPECT_EQ(spy.Requests[0].Text, QStringLiteral("Premature end of JPEG file"));
            EXPECT_EQ(spy.Requests[0].Caption, QStringLiteral("JPG Warning"));
            EXPECT_EQ(spy.Requests[0].Type, mtWarning);
            EXPECT_EQ(spy.Requests[0].Buttons, c.Box);
        }
    }
}

TEST_F(JpegTest, Progress_EveryRowOnceAndAbortEndsReadingQuietly) {
    SKIP_UNLESS_TOOL("cjpeg");
    const QByteArray photo = Cjpeg(GeneratedPhoto(40, 30), {});
    TPixelGraphic whole;
    Read(photo, whole);

    struct Case {
        const char* Name;
        int AbortAt, ThrowAt, Steps; // 0: never
        std::string Expected;
    } const cases[] = {
        {"whole", 0, 0, 30, "none"},
        {"abort at row 1", 1, 0, 1, "none"},
        {"handler throws at row 3", 0, 3, 3, "EPixelGraphic: stop"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TPixelGraphic picture;
        int steps = 0, starts = 0, ends = 0;
        picture.SetOnProgressStart([&](TObject*) { ++starts; });
        picture.SetOnProgressEnd([&](TObject*) { ++ends; });
        picture.SetOnProgress([&](TObject* sender, int step, int max, bool& abort) {
            EXPECT_NE(dynamic_cast<TJPGFileFormatReader*>(sender), nullptr);
            EXPECT_EQ(step, ++steps);
            EXPECT_EQ(max, 30);
            EXPECT_FALSE(abort);
            abort = step == c.AbortAt;
            if (step == c.ThrowAt)
                throw EPixelGraphic(QStringLiteral("stop"));
        });
        EXPECT_EQ(FailureOf([&] { Read(photo, picture); }), c.Expected);
        EXPECT_EQ(steps, c.Steps);
        EXPECT_EQ(starts, 1);
        EXPECT_EQ(ends, 1);
        if (c.AbortAt) {
            // Full size, the top row decoded, the others as SetFormat left them.
            ASSERT_EQ(picture.GetHeight(), 30);
            EXPECT_EQ(std::memcmp(picture.GetScanLine(0), whole.GetScanLine(0), 120), 0);
            const uint8_t* rest = picture.GetScanLine(29); // the bottom-up storage's first row
            EXPECT_TRUE(
                std::all_of(rest, rest + 29 * picture.GetRowBytes(), [](uint8_t b) { return b == 0; }));
        }
    }

    // Writing reports every row and does not look at Abort.
    int rows = 0;
    whole.SetOnProgress([&](TObject* sender, int step, int max, bool& abort) {
        EXPECT_NE(dynamic_cast<TJPGFileFormatWriter*>(sender), nullptr);
        EXPECT_EQ(step, ++rows);
        EXPECT_EQ(max, 30);
        abort = true;
    });
    Write(whole);
    EXPECT_EQ(rows, 30);
}

TEST_F(JpegTest, HostileFiles_MeetTheLimitsBeforeTheWork) {
    SKIP_UNLESS_TOOL("cjpeg");
    // Width and height of the frame header made 60000: refused by the picture's limit before the codec
    // allocates anything.
    QByteArray huge = Cjpeg(GeneratedPhoto(16, 16), {});
    const qsizetype frame = huge.indexOf(QByteArray::fromHex("ffc0"));
    ASSERT_GT(frame, 0);
    huge.replace(frame + 5, 4, QByteArray::fromHex("ea60ea60"));
    TPixelGraphic picture;
    EXPECT_EQ(FailureOf([&] { Read(huge, picture); }),
              "EPixelGraphic: " + PGLangStr(31, QStringLiteral("CreateDIBSection")).toStdString());

    // Each scan is a pass over its components' blocks: far more passes than any encoder writes are refused
    // before they are made, long before the scans are too many to count.
    const QByteArray manyPasses =
        WithRepeatedLastScan(Cjpeg(GeneratedPhoto(512, 512), Args("-progressive")), 300);
    picture.SetReadWarningAction(pgwaIgnore);
    const std::string refusal = FailureOf([&] { Read(manyPasses, picture); });
    EXPECT_EQ(refusal.substr(0, JpgError("Scan number ").size()), JpgError("Scan number ")) << refusal;
    EXPECT_TRUE(refusal.ends_with(" exceeds the work of 20 passes over the image")) << refusal;
    picture.SetReadWarningAction(pgwaOKCancelBox);

    // The whole-image coefficient buffer of a progressive file (6 bytes a pixel at 1x1 sampling) is held to
    // the picture limit as well, where the picture itself (3 bytes a pixel) fits.
    PGMaxPixelMemory = 1'000'000;
    const TPnm photo = GeneratedPhoto(512, 512);
    EXPECT_EQ(FailureOf([&] { Read(Cjpeg(photo, Args("-sample 1x1 -progressive")), picture); }),
              JpgError("Backing store not supported"));
    EXPECT_EQ(FailureOf([&] { Read(Cjpeg(photo, Args("-sample 1x1")), picture); }), "none");
    // At the usual sampling the coefficients (3 bytes a pixel) fit the limit alone, but not beside the
    // picture.
    EXPECT_EQ(FailureOf([&] { Read(Cjpeg(photo, Args("-progressive")), picture); }),
              JpgError("Backing store not supported"));

    const QByteArray manyScans =
        WithRepeatedLastScan(Cjpeg(GeneratedPhoto(16, 16), Args("-progressive")), 2000);
    picture.SetReadWarningAction(pgwaIgnore);
    EXPECT_EQ(FailureOf([&] { Read(manyScans, picture); }),
              JpgError("Scan number 1001 exceeds maximum scans (1000)"));
}

TEST_F(JpegTest, LoadAndSave_ThroughTheRegistries) {
    SKIP_UNLESS_TOOL("cjpeg");
    SKIP_UNLESS_TOOL("djpeg");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const TPnm pnm = GeneratedPhoto(97, 61);
    TPixelGraphic photo;
    PictureFromPnm(pnm, photo);

    // The acquisition program's settings, by the writer that the save dialog does not offer.
    PGJPEGQuality = 100;
    PGJPEGDCTMethod = 0;
    photo.SaveToFile(dir.filePath(QStringLiteral("photo.jpeg")));
    QFile saved(dir.filePath(QStringLiteral("photo.jpeg")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_EQ(bytes, Cjpeg(pnm, Args("-quality 100 -baseline -dct int")));

    // Chosen by its signature, whatever the name says.
    ASSERT_TRUE(saved.copy(dir.filePath(QStringLiteral("photo.png"))));
    TPixelGraphic loaded;
    loaded.LoadFromFile(dir.filePath(QStringLiteral("photo.png")));
    EXPECT_TRUE(PnmFromPicture(loaded) == Djpeg(bytes, Args("-dct int")));

    // A 4-bit grey picture is saved as 256 grey levels: one component.
    TPixelGraphic gray;
    gray.SetPaletteIdent(pGray16);
    gray.SetFormat(8, 8, 1);
    gray.SetSaveColorResWarningAction(pgwaIgnore);
    gray.SaveToFile(dir.filePath(QStringLiteral("gray.jpg")));
    loaded.LoadFromFile(dir.filePath(QStringLiteral("gray.jpg")));
    EXPECT_EQ(loaded.GetPaletteIdent(), pGray256);
}

} // namespace
