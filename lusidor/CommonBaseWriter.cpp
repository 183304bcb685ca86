// The records of the common database as the acquisition program adds them: the checks that keep every value
// whole, the keys that keep a probe from being added twice, and the picture folder's copies.
#include "CommonBaseWriter.h"

#include "binary-dataset/CommonBase.h"
#include "binary-dataset/bindata.h"
#include "framework/TimeStamp.h"
#include "framework/Win1251.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <memory>

namespace {

// What makes a probe the same one: picture, infection, probe name, day number and milliseconds of the day.
struct TRecordKey {
    QString FileName;
    QString Infection;
    QString Name;
    int32_t Day = 0;
    int32_t MSecs = 0;
    friend bool operator==(const TRecordKey&, const TRecordKey&) = default;
};

size_t qHash(const TRecordKey& Key, size_t Seed = 0) {
    return qHashMulti(Seed, Key.FileName, Key.Infection, Key.Name, Key.Day, Key.MSecs);
}

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
    TRecordTable(const QString& Path, const std::vector<TProbeRecord>& Records) : Data(Opened(Path)) {
        for (size_t i = 0; i < TextFieldCount; ++i)
            Texts[i] = &Data->FieldByName(TextFields[i].Field);
        QSet<TRecordKey> wanted;
        for (const TProbeRecord& record : Records)
            wanted.insert(KeyOf(record));
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

    // Why the table cannot hold the record as it is; nothing when it can.
    QStringList Unstorable(const TProbeRecord& Record) const {
        QStringList reasons;
        for (size_t i = 0; i < TextFieldCount; ++i) {
            const QString& value = Record.*TextFields[i].Text;
            const QString label = QString::fromUtf8(TextFields[i].Label);
            qsizetype bad = -1;
            if (!EncodeWin1251(value, &bad))
                reasons << QStringLiteral("%1: знак «%2» не записывается в кодировке Windows-1251")
                               .arg(label, value.mid(bad, 1));
            else if (value.size() > Texts[i]->Size())
                reasons << QStringLiteral("%1 длиннее %2 знаков").arg(label).arg(Texts[i]->Size());
        }
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
        Present.insert(KeyOf(Record));
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
        source.close();
        const QString target = Folder + FileName;
        // QFile::copy never replaces a file: when another copy comes first, the comparison below judges it.
        if (!QFileInfo::exists(target) && QDir().mkpath(Folder) && source.copy(target))
            return {};
        if (!QFileInfo::exists(target))
            return QStringLiteral("изображение не копируется в папку %1: %2")
                .arg(Folder, source.errorString());
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
    const QString path = Folder + TableFileName;
    std::unique_ptr<TRecordTable> table;
    try {
        if (!QFileInfo(Folder).isDir())
            throw ECommonBaseError(QStringLiteral("Папка \"%1\" не найдена.").arg(Folder));
        table = std::make_unique<TRecordTable>(path, Records);
    } catch (const Exception& e) {
        throw ECommonBaseError(
            QStringLiteral("Ошибка открытия файла Базы Данных \"%1\".\n%2").arg(path, e.message()));
    }
    TPictureFolder pictures(Folder + PictureFolderName, ImageFolder);
    for (const TProbeRecord& record : Records) {
        QStringList reasons = table->Unstorable(record);
        if (reasons.isEmpty() && table->Contains(record)) {
            ++AlreadyThere;
            continue;
        }
        if (reasons.isEmpty())
            if (const QString reason = pictures.Place(record.FileName); !reason.isEmpty())
                reasons << reason;
        if (!reasons.isEmpty()) {
            Refused << QStringLiteral("%1 / %2 / %3: %4")
                           .arg(record.FileName, record.Infection, record.Name,
                                reasons.join(QStringLiteral("; ")));
            continue;
        }
        try {
            table->Append(record);
        } catch (const Exception& e) {
            throw ECommonBaseError(
                QStringLiteral("Ошибка записи в файл Базы Данных \"%1\".\n%2").arg(path, e.message()));
        }
        ++Added;
    }
}
