#include "image-library/PGFileFormats.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGraphic.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

// A reader for tests, under extensions no format of the library uses; the hooks say what it knows.
class TTestReader : public TFileFormatReader {
public:
    TTestReader(const char* Ext, bool Signature) {
        Extension = QString::fromLatin1(Ext);
        Description = QStringLiteral("Test ") + Extension;
        HasSignature = Signature;
    }
    const char* ClassName() const override { return "TTestReader"; }
    bool IsFormat(const TFileFormatHeader& Header) const override { return Recognise && Recognise(Header); }
    void GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const override {
        TFileFormatReader::GetInfo(Stream, Index, Info);
        if (Index != 0)
            throw EPixelGraphic(QStringLiteral("only one picture"));
        if (Describe)
            Describe(Stream, Info);
    }

    std::function<bool(const TFileFormatHeader&)> Recognise;
    std::function<void(QIODevice&, TFileFormatInfo&)> Describe;
};

std::function<bool(const TFileFormatHeader&)> StartsWith(QByteArray Signature) {
    return [Signature](const TFileFormatHeader& h) {
        return std::equal(Signature.begin(), Signature.end(), h.begin(),
                          [](char a, uint8_t b) { return uint8_t(a) == b; });
    };
}

class TTestWriter : public TFileFormatWriter {
public:
    explicit TTestWriter(const char* Ext) { Extension = QString::fromLatin1(Ext); }
    const char* ClassName() const override { return "TTestWriter"; }
};

// A device that cannot seek back, like a pipe, to show that looking up does not consume what it peeked at.
class TPipe : public QIODevice {
public:
    explicit TPipe(QByteArray Data) : Data(std::move(Data)) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* To, qint64 MaxSize) override {
        const qint64 n = std::min(MaxSize, qint64(Data.size()) - At);
        std::copy_n(Data.constData() + At, n, To);
        At += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray Data;
    qint64 At = 0;
};

// "tsa" and "tsb" recognise "SIG", "tsa" only when a fourth byte "A" follows; "tst" has no signature.
std::vector<std::unique_ptr<TScopedFileFormatRegistration>> RegisterTestReaders(bool Reversed) {
    std::vector<std::unique_ptr<TTestReader>> readers;
    readers.push_back(std::make_unique<TTestReader>("tsa", true));
    readers.back()->Recognise = StartsWith("SIGA");
    readers.push_back(std::make_unique<TTestReader>("tsb", true));
    readers.back()->Recognise = StartsWith("SIG");
    readers.push_back(std::make_unique<TTestReader>("tst", false));
    readers.back()->Describe = [](QIODevice& s, TFileFormatInfo& info) {
        info.Width = int(s.read(4).size());
    };
    if (Reversed)
        std::reverse(readers.begin(), readers.end());
    std::vector<std::unique_ptr<TScopedFileFormatRegistration>> scopes;
    for (auto& r : readers)
        scopes.push_back(std::make_unique<TScopedFileFormatRegistration>(std::move(r)));
    return scopes;
}

QString FoundExtension(const QByteArray& Data, const QString& Ext) {
    QByteArray bytes = "@@" + Data; // the lookup starts at the position, not at the start of the data
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    stream.seek(2);
    const TFileFormatReader* reader = FindFileFormatReader(stream, Ext);
    EXPECT_EQ(stream.pos(), 2);
    return reader ? reader->Extension : QStringLiteral("(none)");
}

bool Sorted(const auto& Registry) {
    return std::is_sorted(Registry.begin(), Registry.end(),
                          [](const auto& a, const auto& b) { return CompareFileFormats(*a, *b) < 0; });
}

} // namespace

TEST(PGFileFormats, LookupTriesSignaturesFirstThenTheExtensionInAnyRegistrationOrder) {
    const struct {
        QByteArray Data;
        QString Ext;
        QString Expected;
    } cases[] = {
        {"SIGA picture", "", "tsa"}, // both signature readers know it; "tsa" sorts first
        {"SIGB picture", "", "tsb"}, {"SIGB picture", "tst", "tsb"}, // content wins over the name
        {"plain", ".TST", "tst"},    {"plain", "tst", "tst"},        {"plain", "", "(none)"},
        {"plain", "tsb", "(none)"}, // a signature reader is never chosen by its extension
        {"", "tst", "tst"},
    };
    for (bool reversed : {false, true}) {
        const auto scopes = RegisterTestReaders(reversed);
        EXPECT_TRUE(Sorted(FileFormatReaders()));
        for (const auto& c : cases)
            EXPECT_EQ(FoundExtension(c.Data, c.Ext), c.Expected)
                << c.Data.constData() << " / " << c.Ext.toStdString() << (reversed ? " reversed" : "");
    }
    EXPECT_EQ(FoundExtension("plain", "tst"), "(none)"); // the scopes took their readers away
}

TEST(PGFileFormats, ShortAndSequentialStreamsReachIsFormatZeroFilledAndUnconsumed) {
    TFileFormatHeader seen;
    auto reader = std::make_unique<TTestReader>("tsa", true);
    reader->Recognise = [&seen](const TFileFormatHeader& h) {
        seen = h;
        return false;
    };
    const TScopedFileFormatRegistration scope(std::move(reader));

    for (const QByteArray& data : {QByteArray("ab"), QByteArray()}) {
        seen.fill(0xEE);
        EXPECT_EQ(FoundExtension(data, ""), "(none)");
        TFileFormatHeader expected{};
        std::copy(data.begin(), data.end(), expected.begin());
        EXPECT_EQ(seen, expected) << data.size() << " bytes";
    }

    const QByteArray bytes("a stream that cannot seek back");
    TPipe pipe(bytes);
    FindFileFormatReader(pipe, "tst");
    EXPECT_EQ(seen[0], 'a');
    EXPECT_EQ(pipe.readAll(), bytes);
}

TEST(PGFileFormats, ReadersThatRaiseGiveNoReaderOrNoInfo) {
    auto raisingSignature = std::make_unique<TTestReader>("tsa", true);
    raisingSignature->Recognise = [](const TFileFormatHeader&) -> bool { throw EPixelGraphic("damaged"); };
    auto raisingInfo = std::make_unique<TTestReader>("tst", false);
    raisingInfo->Describe = [](QIODevice&, TFileFormatInfo&) { throw EPixelGraphic("damaged"); };
    const TScopedFileFormatRegistration a(std::move(raisingSignature)), b(std::move(raisingInfo));

    QByteArray bytes("plain");
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    EXPECT_EQ(FindFileFormatReader(stream, "tst"), nullptr);
    TFileFormatInfo info;
    EXPECT_FALSE(GetStreamFileFormatInfo(stream, "tst", 0, info));
}

TEST(PGFileFormats, StreamInfoDescribesAndRestoresThePosition) {
    const auto scopes = RegisterTestReaders(false);
    QByteArray bytes("@@plain data");
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    stream.seek(2);
    TFileFormatInfo info;
    info.Colors = "left over";
    ASSERT_TRUE(GetStreamFileFormatInfo(stream, "tst", 0, info));
    EXPECT_EQ(stream.pos(), 2);
    EXPECT_EQ(info.Description, "Test tst");
    EXPECT_EQ(info.Width, 4); // the reader read four bytes
    EXPECT_EQ(info.PictureCount, 1);
    EXPECT_TRUE(info.Colors.isEmpty());
}

TEST(PGFileFormats, FileInfoIsFalseForAnythingButAReadablePicture) {
    const auto scopes = RegisterTestReaders(false);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&dir](const char* name, const QByteArray& data) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
        return file.fileName();
    };
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.tst"));
    const struct {
        QString Name;
        int Index;
        bool Expected;
        QString Description;
    } cases[] = {
        {"", 0, false, ""},
        {dir.filePath("missing.tst"), 0, false, ""},
        {dir.filePath("folder.tst"), 0, false, ""},
        {write("unknown.dat", "plain"), 0, false, ""},
        {write("x.tst", "plain"), 1, false, ""}, // the reader refuses the index
        {dir.filePath("x.tst"), 0, true, "Test tst"},
        {write("y.tst", "SIGB"), 0, true, "Test tsb"},
    };
    for (const auto& c : cases) {
        TFileFormatInfo info;
        EXPECT_EQ(GetFileFormatInfo(c.Name, c.Index, info), c.Expected) << c.Name.toStdString();
        if (c.Expected) {
            EXPECT_EQ(info.Description, c.Description);
            EXPECT_EQ(info.PictureCount, 1);
        }
    }
}

TEST(PGFileFormats, WritersAreFoundByExtensionOnceAndLeaveWithTheirScope) {
    {
        const TScopedFileFormatRegistration scope(std::make_unique<TTestWriter>("tsw"));
        const TFileFormatWriter* writer = FindFileFormatWriter(".TSW");
        ASSERT_NE(writer, nullptr);
        EXPECT_EQ(writer->Extension, "tsw");
        EXPECT_THROW(RegisterFileFormatWriter(std::make_unique<TTestWriter>("TSW")), EPixelGraphic);
        EXPECT_TRUE(Sorted(FileFormatWriters()));
    }
    EXPECT_EQ(FindFileFormatWriter("tsw"), nullptr);
}

TEST(PGFileFormats, FileFormatExtensionTakesTheLastDotOfTheNamePart) {
    const std::pair<const char*, const char*> cases[] = {
        {"a/b.TIF", "tif"}, {"x.tar.gz", "gz"}, {"a.b/c", ""}, {"name.", ""}, {"", ""},
    };
    for (const auto& [name, ext] : cases)
        EXPECT_EQ(FileFormatExtension(name), ext) << name;
}

TEST(PGFileFormats, ColorResolutionFollowsDepthAndTable) {
    const struct {
        uint8_t BitCountNum;
        TPaletteIdent Ident;
        TColorResolution Expected;
    } cases[] = {
        {0, pBlackWhite, crBlackWhite}, {0, pUnknown, cr2Colors},     {1, pGray16, cr16Grays},
        {1, pSys16, cr16SystemColors},  {1, pUnknown, cr16Colors},    {2, pGray256, cr256Grays},
        {2, pUnknown, cr256Colors},     {3, pTrueColor, crTrueColor},
    };
    for (const auto& c : cases) {
        TPixelGraphic p;
        p.SetFormat(2, 2, c.BitCountNum);
        p.SetPaletteIdent(c.Ident);
        EXPECT_EQ(ColorResolutionOf(p), c.Expected) << int(c.BitCountNum) << "/" << int(c.Ident);
    }
    EXPECT_EQ(ColorResolutionText(crBlackWhite), "black and white");
    EXPECT_EQ(ColorResolutionText(crTrueColor), "16.7 million colors");
}
