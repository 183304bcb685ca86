// The records of the common database as the acquisition program adds them: the checks that keep every value
// whole, the keys that keep a probe from being added twice, and the picture folder's copies.
#include "CommonBaseWriter.h"

#include "binary-dataset/CommonBase.h"
#include "binary-dataset/bindata.h"
#include "framework/FileStreams.h"
#include "framework/StreamIO.h"
#include "framework/TimeStamp.h"
#include "framework/Win1251.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TRecordKey = TCommonBaseWriter::TRecordKey;

QDate DateOf(const TProbeRecord& Record) {
    return MSecsToDateTime(Record.Date).date();
}

QTime TimeOf(const TProbeRecord& Record) {
    return MSecsToDateTime(Record.Time).time();
}

TRecordKey KeyOf(const TProbeRecord& Record) {
    return {Record.FileName, Record.Infection, Record.Name, DateToDayNumber(DateOf(Record)),
            TimeToMSecs(TimeOf(Record))};
}

// Each text of a probe, its field and the name the user knows it by in the reasons for a refusal; the first
// three are the texts of the key.
struct TTextField {
    const char* Field;
    QString TProbeRecord::*Text;
    const char* Label;
};
constexpr size_t TextFieldCount = 7;
const std::array<TTextField, TextFieldCount> TextFields = {{
    {"FNAME", &TProbeRecord::FileName, "имя файла"},
    {"INFECT", &TProbeRecord::Infection, "инфекция"},
    {"PROBANAME", &TProbeRecord::Name, "имя пробы"},
    {"POSTAV", &TProbeRecord::Supplier, "поставщик"},
    {"BOLN", &TProbeRecord::Patient, "пациент"},
    {"PRIM", &TProbeRecord::Note, "примечание"},
    {"REACT", &TProbeRecord::Reaction, "реакция"},
}};

// The records table, open for appending. Its fields are found once: a table without one of them is not a
// records table.
class TRecordTable {
public:
    // Reads the table once for which of Records it holds already.
    TRecordTable(const QString& Path, const std::vector<const TProbeRecord*>& Records) : Data(Opened(Path)) {
        for (size_t i = 0; i < TextFieldCount; ++i)
            Texts[i] = &Data->FieldByName(TextFields[i].Field);
        QSet<TRecordKey> wanted;
        for (const TProbeRecord* record : Records)
            wanted.insert(KeyOf(*record));
        TField& name = *Texts[0];
        TField& infection = *Texts[1];
        TField& probe = *Texts[2];
        for (Data->First(); !Data->Eof(); Data->Next()) {
            TRecordKey key = {name.AsString(), infection.AsString(), probe.AsString(),
                              DateToDayNumber(Dates.AsDate()), TimeToMSecs(Times.AsTime())};
            if (wanted.contains(key))
                Present.insert(std::move(key));
        }
    }

    // Why the table cannot hold the record as it is, or the records viewer would not find its picture;
    // nothing when it can.
    QStringList Unstorable(const TProbeRecord& Record) const {
        QStringList reasons;
        for (size_t i = 0; i < TextFieldCount; ++i) {
            const QString& value = Record.*TextFields[i].Text;
            const QString label = QString::fromUtf8(TextFields[i].Label);
            if (const qsizetype bad = FirstUnstorableCharacter(value); bad >= 0)
                reasons << QStringLiteral("%1: знак %2 %3")
                               .arg(label, DescribeCharacter(value, bad),
                                    value[bad].isNull()
                                        ? QStringLiteral("не записывается в поле таблицы")
                                        : QStringLiteral("не записывается в кодировке Windows-1251"));
            else if (value.size() > Texts[i]->Size())
                reasons << QStringLiteral("%1 длиннее %2 знаков").arg(label).arg(Texts[i]->Size());
        }
        // The records viewer reads "\" as a folder's separator and trims the name.
        if (Record.FileName.contains(u'\\'))
            reasons << QStringLiteral("имя файла: знак «\\» читается как разделитель папок");
        if (Record.FileName != Record.FileName.trimmed())
            reasons << QStringLiteral("имя файла начинается или кончается пробелом");
        using Int32 = std::numeric_limits<int32_t>;
        if (Record.Value < Int32::min() || Record.Value > Int32::max())
            reasons << QStringLiteral("значение %1 не умещается в поле записи").arg(Record.Value);
        using Int16 = std::numeric_limits<int16_t>;
        const TRect& r = Record.Rect;
        if (std::min({r.Left, r.Top, r.Right, r.Bottom}) < Int16::min() ||
            std::max({r.Left, r.Top, r.Right, r.Bottom}) > Int16::max())
            reasons << QStringLiteral("координаты области вне пределов от %1 до %2")
                           .arg(Int16::min())
                           .arg(Int16::max());
        return reasons;
    }

    bool Contains(const TProbeRecord& Record) const { return Present.contains(KeyOf(Record)); }

    // Only for a record Unstorable passed.
    void Append(const TProbeRecord& Record) {
        Data->Append();
        for (size_t i = 0; i < TextFieldCount; ++i)
            Texts[i]->SetAsString(Record.*TextFields[i].Text);
        Proba.SetAsInteger(int32_t(Record.Value));
        Value.SetAsInteger(Record.Luminosity);
        Top.SetAsInteger(Record.Rect.Top);
        Left.SetAsInteger(Record.Rect.Left);
        Bottom.SetAsInteger(Record.Rect.Bottom);
        Right.SetAsInteger(Record.Rect.Right);
        Dates.SetAsDate(DateOf(Record));
        Times.SetAsTime(TimeOf(Record));
        Tolerance.SetAsInteger(Record.Threshold);
        Data->Post();
    }

private:
    static std::unique_ptr<TBinaryDataSet> Opened(const QString& Path) {
        CreateRecordTableWhenMissing(Path);
        auto data = std::make_unique<TBinaryDataSet>();
        data->SetTableName(Path);
        data->Open();
        return data;
    }

    const std::unique_ptr<TBinaryDataSet> Data;
    std::array<TField*, TextFieldCount> Texts{};
    TField& Proba = Data->FieldByName("PROBA");
    TField& Value = Data->FieldByName("VALUE");
    TField& Top = Data->FieldByName("TOP");
    TField& Left = Data->FieldByName("LEFT");
    TField& Bottom = Data->FieldByName("BUTTOM");
    TField& Right = Data->FieldByName("RIGHT");
    TField& Dates = Data->FieldByName("DATES");
    TField& Times = Data->FieldByName("TIMES");
    TField& Tolerance = Data->FieldByName("TOLERANCE");
    QSet<TRecordKey> Present; // the keys of those given records that the table holds
};

bool SameContent(const QString& PathA, const QString& PathB) {
    QFile a(PathA);
    QFile b(PathB);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    constexpr qint64 Chunk = 1 << 16;
    while (!a.atEnd())
        if (a.read(Chunk) != b.read(Chunk))
            return false;
    return b.atEnd();
}

// Why a picture could not be copied into Folder, in the user's words.
QString CopyFailure(int Error, const QString& Folder) {
    switch (Error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("на диске нет места для копии изображения в папке %1").arg(Folder);
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("нет прав на запись в папку %1").arg(Folder);
    case ENOTDIR:
        return QStringLiteral("на месте папки %1 стоит файл").arg(Folder);
    default:
        return QStringLiteral("изображение не копируется в папку %1: %2")
            .arg(Folder, QString::fromLocal8Bit(strerror(Error)));
    }
}

// Copies Source under the name Target unless something has that name: the copy is written beside it and
// takes the name only whole, so that the records viewer never shows half a picture. False with errno set
// (EEXIST when Target is there).
bool CopyNoReplace(QFile& Source, const QString& Target) {
    int fd = -1;
    QString temporary;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = QStringLiteral("%1.%2.%3.tmp").arg(Target).arg(getpid()).arg(attempt);
        fd = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    bool written = true;
    std::vector<char> buffer(1 << 16);
    int64_t offset = 0;
    for (qint64 got; written && (got = Source.read(buffer.data(), qint64(buffer.size()))) != 0; offset += got)
        written = got > 0 ? WriteExactAt(fd, buffer.data(), got, offset) : (errno = EIO, false);
    written = written && fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && RenameNoReplace(temporary, Target))
        return true;
    if (written)
        error = errno;
    ::unlink(QFile::encodeName(temporary).constData());
    errno = error;
    return false;
}

// The picture folder of the records added so far: each picture is placed there once, and a different file
// that already has its name is never replaced.
class TPictureFolder {
public:
    TPictureFolder(const QString& Folder, const QString& ImageFolder)
        : Folder(Folder), ImageFolder(ImageFolder) {}

    // Nothing when the picture is in the folder; else why it cannot be.
    QString Place(const QString& FileName) {
        const auto [known, isNew] = Outcomes.try_emplace(FileName);
        if (isNew)
            known->second = Copy(FileName);
        return known->second;
    }

private:
    QString Copy(const QString& FileName) const {
        QFile source(ImageFolder + FileName);
        if (!source.open(QIODevice::ReadOnly))
            return QStringLiteral("файл изображения не открывается: %1").arg(source.errorString());
        const QString folder = QDir::cleanPath(Folder);
        if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0) {
            const int error = errno;
            if (error != EEXIST)
                return CopyFailure(error, Folder);
            if (!QFileInfo(folder).isDir())
                return CopyFailure(ENOTDIR, Folder);
        }
        const QString target = Folder + FileName;
        if (!QFileInfo::exists(target)) {
            if (CopyNoReplace(source, target))
                return {};
            if (errno != EEXIST)
                return CopyFailure(errno, Folder);
        }
        // Another copy came first, now or in an earlier session: the comparison judges it.
        return SameContent(source.fileName(), target)
                   ? QString()
                   : QStringLiteral("в папке %1 уже есть другой файл с этим именем").arg(Folder);
    }

    const QString Folder;
    const QString ImageFolder;
    std::map<QString, QString> Outcomes; // by file name
};

} // namespace

TCommonBaseWriter::TCommonBaseWriter(const QString& Folder, const QString& ImageFolder)
    : Folder(Folder), ImageFolder(ImageFolder) {}

void TCommonBaseWriter::Add(const std::vector<TProbeRecord>& Records) {
    Added = 0;
    AlreadyThere = 0;
    Refused.clear();
    std::vector<const TProbeRecord*> fresh;
    for (const TProbeRecord& record : Records)
        if (Stored.contains(KeyOf(record)))
            ++AlreadyThere;
        else
            fresh.push_back(&record);
    if (fresh.empty())
        return;
    const QString path = Folder + TableFileName;
    std::unique_ptr<TRecordTable> table;
    try {
        if (!QFileInfo(Folder).isDir())
            throw ECommonBaseError(QStringLiteral("Папка \"%1\" не найдена.").arg(Folder));
        table = std::make_unique<TRecordTable>(path, fresh);
    } catch (const Exception& e) {
        throw ECommonBaseError(
            QStringLiteral("Ошибка открытия файла Базы Данных \"%1\".\n%2").arg(path, e.message()));
    }
    TPictureFolder pictures(Folder + PictureFolderName, ImageFolder);
    for (const TProbeRecord* record : fresh) {
        const TRecordKey key = KeyOf(*record);
        QStringList reasons = table->Unstorable(*record);
        if (reasons.isEmpty() && (Stored.contains(key) || table->Contains(*record))) {
            ++AlreadyThere;
            Stored.insert(key);
            continue;
        }
        if (reasons.isEmpty())
            if (const QString reason = pictures.Place(record->FileName); !reason.isEmpty())
                reasons << reason;
        if (!reasons.isEmpty()) {
            Refused << QStringLiteral("%1 / %2 / %3: %4")
                           .arg(record->FileName, record->Infection, record->Name,
                                reasons.join(QStringLiteral("; ")));
            continue;
        }
        try {
            table->Append(*record);
        } catch (const Exception& e) {
            throw ECommonBaseError(
                QStringLiteral("Ошибка записи в файл Базы Данных \"%1\".\n%2").arg(path, e.message()));
        }
        Stored.insert(key);
        ++Added;
    }
}
