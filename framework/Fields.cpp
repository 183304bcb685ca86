// Field definitions and the conversions of field values between native bytes, text and Qt values.
#include "framework/Fields.h"

#include "framework/DataSet.h"
#include "framework/StreamIO.h"
#include "framework/TimeStamp.h"
#include "framework/Win1251.h"

#include <QVarLengthArray>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

// The display forms of the Russian workstations the tables come from; text is parsed in the same forms.
const QString DateFormat = QStringLiteral("dd.MM.yyyy");
const QString TimeFormat = QStringLiteral("H:mm:ss");
const QString DateParseFormat = QStringLiteral("d.M.yyyy");
const QString TimeParseFormats[] = {QStringLiteral("H:m:s"), QStringLiteral("H:m")};

// What a Boolean slot holds for True: the framework's word-sized Boolean is all ones.
constexpr uint16_t WordBoolTrue = 0xFFFF;

double GetLEDouble(const uint8_t* p) {
    return std::bit_cast<double>(uint64_t(GetLE32(p)) | uint64_t(GetLE32(p + 4)) << 32);
}

void PutLEDouble(uint8_t* p, double value) {
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    PutLE32(p, uint32_t(bits));
    PutLE32(p + 4, uint32_t(bits >> 32));
}

[[noreturn]] void RaiseNotValid(const QVariant& value, const char* what) {
    throw EDatabaseError(QStringLiteral("'%1' is not a valid %2").arg(value.toString(), QLatin1String(what)));
}

bool IsText(const QVariant& value) {
    return value.typeId() == QMetaType::QString;
}

// Empty text clears a date or time, as an emptied cell of a grid does.
bool IsEmptyText(const QVariant& value) {
    return IsText(value) && value.toString().trimmed().isEmpty();
}

QDate DateFromVariant(const QVariant& value) {
    if (IsText(value))
        return QDate::fromString(value.toString().trimmed(), DateParseFormat);
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime().date() : value.toDate();
}

QTime TimeFromVariant(const QVariant& value) {
    if (!IsText(value))
        return value.typeId() == QMetaType::QDateTime ? value.toDateTime().time() : value.toTime();
    for (const QString& format : TimeParseFormats) {
        const QTime time = QTime::fromString(value.toString().trimmed(), format);
        if (time.isValid())
            return time;
    }
    return {};
}

QDateTime DateTimeFromVariant(const QVariant& value) {
    if (IsText(value)) {
        const QString text = value.toString().simplified();
        const qsizetype blank = text.indexOf(u' ');
        const QDate date = DateFromVariant(text.left(blank < 0 ? text.size() : blank));
        const QTime time = blank < 0 ? QTime(0, 0) : TimeFromVariant(text.mid(blank + 1));
        return QDateTime(date, time, Qt::UTC);
    }
    if (value.typeId() == QMetaType::QDate)
        return QDateTime(value.toDate(), QTime(0, 0), Qt::UTC);
    return value.toDateTime();
}

double FloatFromVariant(const QVariant& value) {
    bool ok = false;
    const double result =
        IsText(value) ? value.toString().trimmed().replace(u',', u'.').toDouble(&ok) : value.toDouble(&ok);
    if (!ok)
        RaiseNotValid(value, "floating point value");
    return result;
}

bool BooleanFromVariant(const QVariant& value) {
    if (!IsText(value))
        return value.toBool();
    const QString text = value.toString().trimmed();
    if (text.compare(u"True", Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(u"False", Qt::CaseInsensitive) != 0)
        RaiseNotValid(value, "boolean value");
    return false;
}

} // namespace

void TFieldDefs::Add(const QString& Name, TFieldType DataType, int Size, bool Required) {
    Items.push_back({Name, DataType, Size, Required, Count() + 1});
}

TField::TField(TDataSet& DataSet, const TFieldDef& Def) : Owner(DataSet), Def(Def) {}

int FieldDataSize(int DataType, int Size) {
    switch (DataType) {
    case ftString:
        return Size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
        return 2;
    case ftInteger:
    case ftDate:
    case ftTime:
        return 4;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
        return 8;
    default:
        return 0;
    }
}

QVariant TField::AsVariant() const {
    QVarLengthArray<uint8_t, 64> bytes(DataSize());
    if (bytes.isEmpty() || !Owner.GetFieldData(*this, bytes.data()))
        return {};
    const uint8_t* p = bytes.data();
    switch (Def.DataType) {
    case ftString: {
        // A slot whose text fills it has no NUL of its own: never read past the field's size.
        const char* text = reinterpret_cast<const char*>(p);
        return DecodeWin1251(text, qsizetype(strnlen(text, size_t(Def.Size))));
    }
    case ftSmallint:
        return int(int16_t(GetLE16(p)));
    case ftWord:
        return int(GetLE16(p));
    case ftBoolean:
        return GetLE16(p) != 0;
    case ftInteger:
        return int(int32_t(GetLE32(p)));
    case ftFloat:
    case ftCurrency:
        return GetLEDouble(p);
    case ftDate: {
        const QDate date = DayNumberToDate(int32_t(GetLE32(p)));
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case ftTime: {
        const QTime time = MSecsToTime(int32_t(GetLE32(p)));
        return time.isValid() ? QVariant(time) : QVariant();
    }
    case ftDateTime: {
        const QDateTime dateTime = MSecsToDateTime(GetLEDouble(p));
        return dateTime.isValid() ? QVariant(dateTime) : QVariant();
    }
    default:
        return {};
    }
}

QString TField::AsString() const {
    const QVariant value = AsVariant();
    if (!value.isValid())
        return {};
    switch (Def.DataType) {
    case ftBoolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case ftFloat:
    case ftCurrency:
        return QString::number(value.toDouble(), 'g', 15);
    case ftDate:
        return value.toDate().toString(DateFormat);
    case ftTime:
        return value.toTime().toString(TimeFormat);
    case ftDateTime:
        return value.toDateTime().toString(DateFormat + u' ' + TimeFormat);
    default:
        return value.toString();
    }
}

int32_t TField::AsInteger() const {
    const QVariant value = AsVariant();
    return value.isValid() ? int32_t(IntegerFromVariant(value, INT32_MIN, INT32_MAX)) : 0;
}

double TField::AsFloat() const {
    const QVariant value = AsVariant();
    return value.isValid() ? FloatFromVariant(value) : 0.0;
}

bool TField::AsBoolean() const {
    const QVariant value = AsVariant();
    return value.isValid() && BooleanFromVariant(value);
}

QDateTime TField::AsDateTime() const {
    const QVariant value = AsVariant();
    switch (Def.DataType) {
    case ftDate:
        return value.isValid() ? QDateTime(value.toDate(), QTime(0, 0), Qt::UTC) : QDateTime();
    case ftTime:
        // A time of day alone belongs to no date; QDateTime keeps the time even so.
        return value.isValid() ? QDateTime(QDate(), value.toTime(), Qt::UTC) : QDateTime();
    default:
        return value.toDateTime();
    }
}

void TField::SetAsVariant(const QVariant& Value) {
    WriteNative(NativeFromVariant(Value));
}

void TField::Clear() {
    WriteNative(std::vector<uint8_t>(size_t(DataSize()), 0));
}

int64_t TField::IntegerFromVariant(const QVariant& Value, int64_t Min, int64_t Max) const {
    bool ok = false;
    const int64_t result = IsText(Value) ? Value.toString().trimmed().toLongLong(&ok) : Value.toLongLong(&ok);
    if (!ok)
        RaiseNotValid(Value, "integer value");
    if (result < Min || result > Max)
        throw EDatabaseError(
            QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                .arg(result)
                .arg(Def.Name)
                .arg(Min)
                .arg(Max));
    return result;
}

std::vector<uint8_t> TField::NativeFromVariant(const QVariant& Value) const {
    std::vector<uint8_t> bytes(size_t(DataSize()), 0);
    if (!Value.isValid())
        return bytes;
    uint8_t* p = bytes.data();
    switch (Def.DataType) {
    case ftString: {
        const QString text = Value.toString().left(Def.Size);
        if (const qsizetype bad = FirstUnstorableCharacter(text); bad >= 0)
            throw EDatabaseError(QStringLiteral("Поле «%1» не может хранить знак %2")
                                     .arg(Def.Name, DescribeCharacter(text, bad)));
        const QByteArray encoded = *EncodeWin1251(text);
        std::memcpy(p, encoded.constData(), size_t(encoded.size()));
        break;
    }
    case ftSmallint:
        PutLE16(p, uint16_t(IntegerFromVariant(Value, INT16_MIN, INT16_MAX)));
        break;
    case ftWord:
        PutLE16(p, uint16_t(IntegerFromVariant(Value, 0, UINT16_MAX)));
        break;
    case ftInteger:
        PutLE32(p, uint32_t(IntegerFromVariant(Value, INT32_MIN, INT32_MAX)));
        break;
    case ftBoolean:
        PutLE16(p, BooleanFromVariant(Value) ? WordBoolTrue : 0);
        break;
    case ftFloat:
    case ftCurrency:
        PutLEDouble(p, FloatFromVariant(Value));
        break;
    case ftDate:
        if (!IsEmptyText(Value)) {
            const int32_t day = DateToDayNumber(DateFromVariant(Value));
            if (day == 0)
                RaiseNotValid(Value, "date");
            PutLE32(p, uint32_t(day));
        }
        break;
    case ftTime:
        if (!IsEmptyText(Value)) {
            const QTime time = TimeFromVariant(Value);
            if (!time.isValid())
                RaiseNotValid(Value, "time");
            PutLE32(p, uint32_t(TimeToMSecs(time)));
        }
        break;
    case ftDateTime:
        if (!IsEmptyText(Value)) {
            const double msecs = DateTimeToMSecs(DateTimeFromVariant(Value));
            if (msecs == 0)
                RaiseNotValid(Value, "date and time");
            PutLEDouble(p, msecs);
        }
        break;
    default:
        throw EDatabaseError(QStringLiteral("Field '%1' is of an unsupported type").arg(Def.Name));
    }
    return bytes;
}

void TField::WriteNative(const std::vector<uint8_t>& Bytes) {
    if (FReadOnly)
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(Def.Name));
    Owner.StoreFieldData(*this, Bytes.data());
}
