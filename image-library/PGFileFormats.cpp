// The format registries and their lookups. Registration keeps both lists sorted by extension, so the lookups
// that the GUI thread and a preview worker run at once never write to them.
#include "image-library/PGFileFormats.h"

#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGraphic.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <exception>

namespace {

TFileFormatReaders Readers;
TFileFormatWriters Writers;

template <class T> void InsertSorted(std::vector<std::unique_ptr<T>>& list, std::unique_ptr<T> entry) {
    if (!entry)
        return;
    auto pos = std::lower_bound(list.begin(), list.end(), entry,
                                [](const auto& a, const auto& b) { return CompareFileFormats(*a, *b) < 0; });
    if (pos != list.end() && CompareFileFormats(**pos, *entry) == 0)
        throw EPixelGraphic(QStringLiteral("A file format for the extension \"%1\" is registered already")
                                .arg(entry->Extension));
    list.insert(pos, std::move(entry));
}

template <class T> bool RemoveEntry(std::vector<std::unique_ptr<T>>& list, const void* entry) {
    auto pos = std::find_if(list.begin(), list.end(), [entry](const auto& e) { return e.get() == entry; });
    if (pos == list.end())
        return false;
    list.erase(pos);
    return true;
}

QString WithoutDot(QString ext) {
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    return ext.toLower();
}

// The reader without a signature registered under Ext (without its dot), or nullptr.
const TFileFormatReader* ExtensionReader(const QString& Ext) {
    if (Ext.isEmpty())
        return nullptr;
    for (const auto& r : Readers)
        if (!r->HasSignature && r->Extension.toLower() == Ext)
            return r.get();
    return nullptr;
}

// The header bytes at the stream's position, which stays where it is, also on sequential devices. Bytes
// beyond what peek gave are zero, whatever a short or failed peek left there; a failed peek counts as no
// bytes.
TFileFormatHeader PeekHeader(QIODevice& Stream) {
    TFileFormatHeader header;
    const qint64 got = Stream.peek(reinterpret_cast<char*>(header.data()), FileFormatHeaderSize);
    std::fill(header.begin() + std::clamp<qint64>(got, 0, FileFormatHeaderSize), header.end(), 0);
    return header;
}

} // namespace

bool TFileFormatReader::IsFormat(const TFileFormatHeader&) const {
    return false;
}
bool TFileFormatReader::MayTakeOver(const TFileFormatHeader&) const {
    return true;
}
void TFileFormatReader::Read(QIODevice&, TPixelGraphic&, int) const {}
void TFileFormatReader::GetInfo(QIODevice&, int, TFileFormatInfo& Info) const {
    const QString description = Info.Description;
    Info = TFileFormatInfo();
    Info.Description = description;
    Info.PictureCount = 1;
}

void TFileFormatWriter::Write(QIODevice&, TPixelGraphic&) const {}
void TFileFormatWriter::WriteHeader(QIODevice&) const {}
void TFileFormatWriter::WriteImage(QIODevice&, TPixelGraphic&) const {}
void TFileFormatWriter::WriteEnd(QIODevice&) const {}

TColorResolution ColorResolutionOf(const TPixelGraphic& Picture) {
    const TPaletteIdent ident = Picture.GetPaletteIdent();
    switch (Picture.GetBitCountNum()) {
    case 0:
        return ident == pBlackWhite ? crBlackWhite : cr2Colors;
    case 1:
        return ident == pGray16 ? cr16Grays : ident == pSys16 ? cr16SystemColors : cr16Colors;
    case 2:
        return ident == pGray256 ? cr256Grays : cr256Colors;
    default:
        return crTrueColor;
    }
}

QString ColorResolutionText(TColorResolution Resolution) {
    return PGLangStr(uint8_t(8 + Resolution));
}

const TFileFormatReaders& FileFormatReaders() {
    return Readers;
}
const TFileFormatWriters& FileFormatWriters() {
    return Writers;
}

void RegisterFileFormatReader(std::unique_ptr<TFileFormatReader> Reader) {
    InsertSorted(Readers, std::move(Reader));
}
void RegisterFileFormatWriter(std::unique_ptr<TFileFormatWriter> Writer) {
    InsertSorted(Writers, std::move(Writer));
}

void ClearFileFormatRegistries() {
    // Freed in list order, each entry before its list.
    for (auto& r : Readers)
        r.reset();
    Readers.clear();
    for (auto& w : Writers)
        w.reset();
    Writers.clear();
}

TScopedFileFormatRegistration::TScopedFileFormatRegistration(std::unique_ptr<TFileFormatReader> Reader)
    : Entry(Reader.get()) {
    RegisterFileFormatReader(std::move(Reader));
}

TScopedFileFormatRegistration::TScopedFileFormatRegistration(std::unique_ptr<TFileFormatWriter> Writer)
    : Entry(Writer.get()) {
    RegisterFileFormatWriter(std::move(Writer));
}

TScopedFileFormatRegistration::~TScopedFileFormatRegistration() {
    if (!RemoveEntry(Readers, Entry))
        RemoveEntry(Writers, Entry);
}

int CompareFileFormats(const TFileFormatReaderWriter& A, const TFileFormatReaderWriter& B) {
    const int c = QString::compare(A.Extension.toLower(), B.Extension.toLower(), Qt::CaseSensitive);
    return (c > 0) - (c < 0);
}

QString FileFormatExtension(const QString& FileName) {
    const QString name = FileName.mid(FileName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

const TFileFormatReader* FindFileFormatReader(QIODevice& Stream, QString Ext) {
    try {
        Ext = WithoutDot(Ext);
        const TFileFormatHeader header = PeekHeader(Stream);
        for (const auto& r : Readers)
            if (r->HasSignature && r->IsFormat(header))
                return r.get();
        return ExtensionReader(Ext);
    } catch (...) {
    }
    return nullptr;
}

bool UseFileFormatReader(QIODevice& Stream, const QString& Ext,
                         const std::function<void(const TFileFormatReader&)>& Use) {
    const TFileFormatReader* reader = FindFileFormatReader(Stream, Ext);
    if (!reader)
        return false;
    const qint64 start = Stream.pos();
    try {
        Use(*reader);
    } catch (const Exception& e) {
        const TFileFormatReader* named = ExtensionReader(WithoutDot(Ext));
        if (dynamic_cast<const TUserAbort*>(&e) || !named || named == reader || Stream.isSequential() ||
            !Stream.seek(start) || !named->MayTakeOver(PeekHeader(Stream)))
            throw;
        const std::exception_ptr refusal = std::current_exception();
        try {
            Use(*named);
        } catch (const Exception&) {
            std::rethrow_exception(refusal);
        }
    }
    return true;
}

const TFileFormatWriter* FindFileFormatWriter(QString Ext) {
    Ext = WithoutDot(Ext);
    for (const auto& w : Writers)
        if (w->Extension.toLower() == Ext)
            return w.get();
    return nullptr;
}

bool GetStreamFileFormatInfo(QIODevice& Stream, const QString& Ext, int Index, TFileFormatInfo& Info) {
    Info = TFileFormatInfo();
    try {
        const qint64 position = Stream.pos();
        struct Restore {
            QIODevice& s;
            qint64 p;
            ~Restore() {
                if (!s.isSequential())
                    s.seek(p);
            }
        } restore{Stream, position};
        return UseFileFormatReader(Stream, Ext, [&](const TFileFormatReader& Reader) {
            Info = TFileFormatInfo();
            Info.Description = Reader.Description;
            Reader.GetInfo(Stream, Index, Info);
        });
    } catch (...) {
        return false;
    }
}

bool GetFileFormatInfo(const QString& FileName, int Index, TFileFormatInfo& Info) {
    const QFileInfo fileInfo(FileName);
    if (fileInfo.fileName().isEmpty() || !fileInfo.isFile())
        return false;
    try {
        QFile file(FileName);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        return GetStreamFileFormatInfo(file, FileFormatExtension(FileName), Index, Info);
    } catch (...) {
        return false;
    }
}
