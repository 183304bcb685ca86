// BMP files of other programs read to the colours their decoders give, and our files read back by them:
// ppmtobmp and the fixture script's files against bmptopnm and PIL.
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/Oracles.h"
#include "image-library/tests/BMPTestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

namespace {

const QString FixtureDir = QStringLiteral(BMP_FIXTURE_DIR);

// Gray output of a decoder as RGB, so every comparison is between RGB samples of maxval 255.
TPnm AsRgb(const TPnm& pnm) {
    if (pnm.Channels == 3)
        return pnm;
    TPnm rgb{pnm.Width, pnm.Height, 3, pnm.MaxVal, {}};
    for (uint16_t s : pnm.Samples)
        rgb.Samples.insert(rgb.Samples.end(), 3, s);
    return rgb;
}

TPnm Bmptopnm(const QByteArray& bmp) {
    const TToolResult r = RunTool(QStringLiteral("bmptopnm"), {}, bmp);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    const std::optional<TPnm> pnm = DecodePnm(r.Out);
    EXPECT_TRUE(pnm.has_value());
    return pnm ? AsRgb(*pnm) : TPnm{};
}

TPnm Pil(const QByteArray& bmp) {
    const TToolResult r = RunPython(
        QStringLiteral("import io, sys\n"
                       "from PIL import Image\n"
                       "im = Image.open(io.BytesIO(sys.stdin.buffer.read())).convert('RGB')\n"
                       "sys.stdout.buffer.write(b'P6\\n%d %d\\n255\\n' % im.size + im.tobytes())\n"),
        {}, bmp);
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    const std::optional<TPnm> pnm = DecodePnm(r.Out);
    EXPECT_TRUE(pnm.has_value());
    return pnm ? *pnm : TPnm{};
}

TPnm Loaded(const QByteArray& bmp) {
    QBuffer buffer;
    buffer.setData(bmp);
    buffer.open(QIODevice::ReadOnly);
    TPixelGraphic picture;
    picture.LoadFromStream(buffer);
    return PnmFromPicture(picture);
}

QByteArray Fixture(const char* name) {
    QFile f(FixtureDir + QLatin1Char('/') + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

// Colours of no gray, so that every decoder answers with RGB.
TColor PaletteColor(int i) {
    return RGB(uint8_t(i * 37 + 11), uint8_t(i * 91 + 3), uint8_t(255 - i));
}

TEST(BMPOracle, PpmtobmpFilesLoadToTheColoursOfBmptopnm) {
    SKIP_UNLESS_TOOL("ppmtobmp");
    SKIP_UNLESS_TOOL("bmptopnm");
    for (int bpp : {1, 4, 8, 24})
        for (const char* kind : {"-windows", "-os2"})
            for (int width = 1; width <= 9; ++width) {
                SCOPED_TRACE(testing::Message() << bpp << " bits " << kind << " width " << width);
                TPnm pnm = GeneratedPhoto(width, 3, uint32_t(width));
                if (bpp < 24)
                    for (int y = 0; y < 3; ++y)
                        for (int x = 0; x < width; ++x) {
                            const TColor c = PaletteColor((x * 5 + y * 3) % (1 << bpp));
                            pnm.At(x, y, 0) = GetRValue(c);
                            pnm.At(x, y, 1) = GetGValue(c);
                            pnm.At(x, y, 2) = GetBValue(c);
                        }
                const TToolResult bmp =
                    RunTool(QStringLiteral("ppmtobmp"),
                            {QString::fromLatin1(kind), QStringLiteral("-bpp"), QString::number(bpp)},
                            EncodePnm(pnm));
                ASSERT_EQ(bmp.ExitCode, 0) << bmp.Err.toStdString();
                EXPECT_EQ(Loaded(bmp.Out), Bmptopnm(bmp.Out));
            }
}

TEST(BMPOracle, FixturesLoadToTheColoursOfBmptopnmOrPil) {
    SKIP_UNLESS_TOOL("bmptopnm");
    for (const char* name : {"rle8.bmp", "rle4.bmp", "topdown24.bmp", "topdown8.bmp", "rgb32.bmp"}) {
        SCOPED_TRACE(name);
        const QByteArray bmp = Fixture(name);
        EXPECT_EQ(Loaded(bmp), Bmptopnm(bmp));
    }

    // bmptopnm ignores masks behind a 40-byte header. PIL scales each W-bit field x to 8 bits; the field is
    // recovered from its value and put through the reader's own rule: 0 stays 0, else 2^(8-W) (x + 1),
    // at most 255.
    SKIP_UNLESS_PIL();
    ASSERT_TRUE(PGRound16BitColors);
    for (const auto& [name, widths] : {std::pair{"bitfields555.bmp", std::array{5, 5, 5}},
                                       std::pair{"bitfields565.bmp", std::array{5, 6, 5}}}) {
        SCOPED_TRACE(name);
        const QByteArray bmp = Fixture(name);
        TPnm expected = Pil(bmp);
        ASSERT_EQ(expected.Width, 9);
        for (size_t i = 0; i < expected.Samples.size(); ++i) {
            const int w = widths[i % 3];
            const int x = int(std::nearbyint(expected.Samples[i] * ((1 << w) - 1) / 255.0));
            expected.Samples[i] = uint16_t(x == 0 ? 0 : std::min((x + 1) << (8 - w), 255));
        }
        EXPECT_EQ(Loaded(bmp), expected);
    }
}

TEST(BMPOracle, WrittenFilesReadBackByBmptopnmAndPil) {
    SKIP_UNLESS_TOOL("bmptopnm");
    SKIP_UNLESS_PIL();
    for (uint8_t format : {0, 1, 2, 3})
        for (int width : {1, 3, 7, 9}) {
            SCOPED_TRACE(testing::Message() << "format " << int(format) << " width " << width);
            TPixelGraphic picture;
            if (format == 3) {
                PictureFromPnm(GeneratedPhoto(width, 4, 7), picture);
            } else {
                picture.SetFormat(width, 4, format);
                picture.SetColorCount(picture.GetMaxColorCount());
                for (int i = 0; i < picture.GetColorCount(); ++i)
                    picture.SetPaletteColor(i, PaletteColor(i));
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < width; ++x)
                        picture.SetPixelValue(x, y,
                                              uint32_t(x * 7 + y * 5) % uint32_t(picture.GetColorCount()));
            }
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            picture.SaveToStream(buffer);
            const TPnm ours = PnmFromPicture(picture);
            EXPECT_EQ(Bmptopnm(buffer.data()), ours);
            EXPECT_EQ(Pil(buffer.data()), ours);
        }
}

} // namespace
