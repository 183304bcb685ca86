// Table files spelled out byte by byte for the tests and the benchmark, without the code under test, the
// records viewer's field definitions, and file helpers.
#pragma once

#include "framework/Fields.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <ostream>
#include <vector>

// Lets GoogleTest print the texts it compares.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void AppendLE32(QByteArray& bytes, int32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.append(char(uint32_t(value) >> (8 * i)));
}

inline int32_t LE32At(const QByteArray& bytes, qsizetype at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | uint8_t(bytes.at(at + i));
    return int32_t(value);
}

struct TTestField {
    QByteArray Name;
    uint8_t Type;
    int32_t Width; // bytes in record
    int32_t Size;
};

struct TTestCounts {
    int32_t Live = 0;
    int32_t Deleted = 0;
    int32_t ChainHead = -1;
};

// Header and descriptors; record size and data start computed here from the widths.
inline QByteArray TableBytes(const std::vector<TTestField>& fields, TTestCounts counts = {}) {
    int32_t recordSize = 4;
    for (const TTestField& f : fields)
        recordSize += f.Width;
    QByteArray bytes("BDS\x1A", 4);
    for (int32_t value : {13, recordSize, counts.Live, int32_t(fields.size()), -1, counts.ChainHead,
                          counts.Deleted, int32_t(36 + 41 * fields.size())})
        AppendLE32(bytes, value);
    for (const TTestField& f : fields) {
        QByteArray descriptor = f.Name.leftJustified(28, '\0', true);
        descriptor.append(char(f.Type));
        AppendLE32(descriptor, f.Width);
        AppendLE32(descriptor, f.Size);
        AppendLE32(descriptor, 0);
        bytes.append(descriptor);
    }
    return bytes;
}

// A small table used throughout: NAME string 10 at offset 4, N integer at 18; records of 22 bytes.
inline const std::vector<TTestField> SmallFields = {{"NAME", 1, 14, 10}, {"N", 3, 4, 0}};
constexpr int32_t SmallRecordSize = 22;
constexpr int32_t SmallDataStart = 36 + 2 * 41;

inline QByteArray SmallRecord(int32_t link, const QByteArray& name, int32_t n) {
    QByteArray record;
    AppendLE32(record, link);
    record.append(name.leftJustified(14, '\0', true));
    AppendLE32(record, n);
    return record;
}

inline QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

// The records viewer's sixteen fields (195-byte records).
inline void AddRecordsViewerFields(TFieldDefs& defs) {
    defs.Add("FNAME", ftString, 40);
    defs.Add("PROBA", ftInteger);
    defs.Add("PROBANAME", ftString, 8);
    defs.Add("INFECT", ftString, 20);
    defs.Add("POSTAV", ftString, 20);
    defs.Add("VALUE", ftSmallint);
    defs.Add("BOLN", ftString, 20);
    defs.Add("PRIM", ftString, 30);
    for (const char* name : {"TOP", "LEFT", "BUTTOM", "RIGHT"})
        defs.Add(name, ftSmallint);
    defs.Add("DATES", ftDate);
    defs.Add("TIMES", ftTime);
    defs.Add("REACT", ftString, 1);
    defs.Add("TOLERANCE", ftSmallint);
}
