// Field definitions and field objects of the dataset layer: what a table declares, and typed access to the
// values of the record a dataset currently shows.
#pragma once

#include "framework/Exception.h"

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <vector>

class TDataSet;

// Errors of the dataset layer itself (state, field lookup, conversions); datasets raise their own kinds too.
LAB_DECLARE_EXCEPTION(EDatabaseError, Exception);

// The ordinals are stored in table files: never reorder or insert.
enum TFieldType : uint8_t {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
};

// Bytes of a value of `DataType` as fields hand it to their dataset: a string's `Size` characters and its
// NUL, else the native value; 0 for a type that has no such form (ftUnknown, ftBCD, unknown ordinals).
int FieldDataSize(int DataType, int Size);

struct TFieldDef {
    QString Name;
    TFieldType DataType = ftUnknown;
    int Size = 0; // characters of a string field
    bool Required = false;
    int FieldNo = 0; // position from 1
};

class TFieldDefs {
public:
    void Add(const QString& Name, TFieldType DataType, int Size = 0, bool Required = false);
    void Clear() { Items.clear(); }
    int Count() const { return int(Items.size()); }
    const TFieldDef& operator[](int Index) const { return Items.at(size_t(Index)); }
    auto begin() const { return Items.begin(); }
    auto end() const { return Items.end(); }

private:
    std::vector<TFieldDef> Items;
};

// A field of an open dataset. Values travel between field and dataset as the native bytes of the type
// (see DataSize); this class converts them to and from text and Qt values.
class TField {
public:
    TField(TDataSet& DataSet, const TFieldDef& Def);
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet& DataSet() const { return Owner; }
    const QString& FieldName() const { return Def.Name; }
    TFieldType DataType() const { return Def.DataType; }
    int Size() const { return Def.Size; }
    int FieldNo() const { return Def.FieldNo; }
    // Bytes the field hands to its dataset: a string's characters and its NUL, else the native value.
    int DataSize() const { return FieldDataSize(Def.DataType, Def.Size); }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value) { FReadOnly = Value; }

    // Null only when there is no record, or for a date that the slot does not hold (a fresh record's zeros).
    bool IsNull() const { return AsVariant().isNull(); }
    QVariant AsVariant() const;
    QString AsString() const;
    int32_t AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    QDate AsDate() const { return AsDateTime().date(); }
    QTime AsTime() const { return AsDateTime().time(); }
    QDateTime AsDateTime() const;

    // Setters need the dataset in edit or insert state. Text is parsed in the form AsString writes it; a
    // string longer than Size is cut to Size characters; text with a character outside Windows-1251 is
    // refused.
    void SetAsVariant(const QVariant& Value);
    void SetAsString(const QString& Value) { SetAsVariant(Value); }
    void SetAsInteger(int32_t Value) { SetAsVariant(Value); }
    void SetAsFloat(double Value) { SetAsVariant(Value); }
    void SetAsBoolean(bool Value) { SetAsVariant(Value); }
    void SetAsDate(QDate Value) { SetAsVariant(Value); }
    void SetAsTime(QTime Value) { SetAsVariant(Value); }
    void SetAsDateTime(const QDateTime& Value) { SetAsVariant(Value); }
    // The zero bytes of a fresh record.
    void Clear();

private:
    std::vector<uint8_t> NativeFromVariant(const QVariant& Value) const;
    int64_t IntegerFromVariant(const QVariant& Value, int64_t Min, int64_t Max) const;
    void WriteNative(const std::vector<uint8_t>& Bytes);

    TDataSet& Owner;
    TFieldDef Def;
    bool FReadOnly = false;
};
