// Encoding, decoding and checking the header, the field descriptors and the record layout of a table file.
#include "binary-dataset/TableFormat.h"

#include "framework/StreamIO.h"
#include "framework/Win1251.h"

#include <QSet>
#include <cstring>

namespace {

constexpr int NameBytes = 28;
constexpr int TypeOffset = 28;
constexpr int BytesInRecordOffset = 29;
constexpr int SizeOffset = 33;

[[noreturn]] void Raise(const QString& message) {
    throw EBinaryDataSetError(message);
}
[[noreturn]] void RaiseNotATable() {
    Raise(QStringLiteral("Not a binary data set file."));
}
[[noreturn]] void RaiseFieldCount() {
    Raise(QStringLiteral("Invalid number of fields."));
}
[[noreturn]] void RaiseUnsupportedType() {
    Raise(QStringLiteral("InitFieldsDefs: Unsupported field type"));
}
[[noreturn]] void RaiseBadCounts() {
    Raise(QStringLiteral("Internal open: Invalid record counts."));
}

[[noreturn]] void RaiseDescriptor(size_t index) {
    Raise(QStringLiteral("Internal open: Invalid field descriptor %1.").arg(index + 1));
}

[[noreturn]] void RaiseDefinition(const char* fault, const QString& name) {
    Raise(QStringLiteral("CreateTable: %1: '%2'.").arg(QLatin1String(fault), name));
}

int64_t DataStartFor(int64_t fieldCount) {
    return TableHeaderSize + FieldDescriptorSize * fieldCount;
}

} // namespace

void EncodeHeader(const TTableHeader& h, uint8_t* bytes) {
    const int32_t fields[] = {h.Magic,    h.Version,   h.RecordSize,   h.LiveCount, h.FieldCount,
                              h.Reserved, h.ChainHead, h.DeletedCount, h.DataStart};
    for (int32_t field : fields) {
        PutLE32(bytes, uint32_t(field));
        bytes += 4;
    }
}

void EncodeDescriptor(const TFieldDescriptor& d, uint8_t* bytes) {
    std::memset(bytes, 0, FieldDescriptorSize);
    std::memcpy(bytes, d.Name.constData(), size_t(std::min<qsizetype>(d.Name.size(), NameBytes)));
    bytes[TypeOffset] = d.Type;
    PutLE32(bytes + BytesInRecordOffset, uint32_t(d.BytesInRecord));
    PutLE32(bytes + SizeOffset, uint32_t(d.Size));
}

TFieldDescriptor DecodeDescriptor(const uint8_t* bytes) {
    const char* name = reinterpret_cast<const char*>(bytes);
    return {QByteArray(name, qsizetype(strnlen(name, NameBytes))), bytes[TypeOffset],
            int32_t(GetLE32(bytes + BytesInRecordOffset)), int32_t(GetLE32(bytes + SizeOffset))};
}

std::optional<int32_t> SlotWidth(int type, int size) {
    const int bytes = FieldDataSize(type, size);
    if (bytes == 0)
        return std::nullopt;
    // A string slot holds the characters, their NUL and three bytes nobody reads.
    return type == ftString ? bytes + 3 : bytes;
}

std::vector<TFieldDescriptor> DescriptorsFor(const TFieldDefs& defs) {
    if (defs.Count() <= 0 || defs.Count() > MaxFieldCount)
        RaiseFieldCount();
    std::vector<TFieldDescriptor> descriptors;
    QSet<QString> names;
    int64_t recordSize = LinkWordSize;
    for (const TFieldDef& def : defs) {
        const std::optional<QByteArray> name = EncodeWin1251(def.Name);
        if (!name || name->isEmpty() || name->contains('\0'))
            RaiseDefinition("Field name cannot be stored", def.Name);
        if (name->size() > MaxFieldNameLength)
            RaiseDefinition("Field name longer than 27 characters", def.Name);
        if (names.contains(def.Name.toUpper()))
            RaiseDefinition("Duplicate field name", def.Name);
        names.insert(def.Name.toUpper());
        if (def.Size < 0 || def.Size > 0xFFFF || (def.DataType == ftString && def.Size < 1))
            RaiseDefinition("Invalid field size", def.Name);
        const std::optional<int32_t> width = SlotWidth(def.DataType, def.Size);
        if (!width)
            RaiseUnsupportedType();
        recordSize += *width;
        if (recordSize > MaxRecordSize)
            RaiseDefinition("Record larger than 65535 bytes at field", def.Name);
        descriptors.push_back({*name, def.DataType, *width, def.Size});
    }
    return descriptors;
}

TTableHeader NewTableHeader(int32_t fieldCount, int32_t recordSize) {
    TTableHeader header;
    header.RecordSize = recordSize;
    header.FieldCount = fieldCount;
    header.DataStart = int32_t(DataStartFor(fieldCount));
    return header;
}

TTableHeader CheckHeader(const uint8_t* bytes, int64_t fileSize) {
    if (fileSize < TableHeaderSize)
        RaiseNotATable();
    TTableHeader h;
    int32_t* fields[] = {&h.Magic,    &h.Version,   &h.RecordSize,   &h.LiveCount, &h.FieldCount,
                         &h.Reserved, &h.ChainHead, &h.DeletedCount, &h.DataStart};
    for (int32_t* field : fields) {
        *field = int32_t(GetLE32(bytes));
        bytes += 4;
    }
    if (h.Magic != TableMagic)
        RaiseNotATable();
    if (h.Version != TableVersion)
        Raise(QStringLiteral("Invalid data file version."));
    if (h.FieldCount <= 0 || h.FieldCount > MaxFieldCount)
        RaiseFieldCount();
    if (DataStartFor(h.FieldCount) > fileSize)
        Raise(QStringLiteral("Internal open: File ends inside the field descriptors."));
    // A data start of its own is the size check's to report (CheckRecordCounts), as the format has it.
    return h;
}

TRecordLayout LayoutOf(const std::vector<TFieldDescriptor>& descriptors) {
    TRecordLayout layout;
    int64_t offset = LinkWordSize;
    for (size_t i = 0; i < descriptors.size(); ++i) {
        const TFieldDescriptor& d = descriptors[i];
        if (!SlotWidth(d.Type, d.Size & 0xFFFF))
            RaiseUnsupportedType();
        if (d.BytesInRecord < 1 || offset + d.BytesInRecord > MaxRecordSize)
            RaiseDescriptor(i);
        layout.FieldOffsets.push_back(int32_t(offset));
        offset += d.BytesInRecord;
    }
    layout.RecordSize = int32_t(offset);
    return layout;
}

void CheckSlotWidths(const std::vector<TFieldDescriptor>& descriptors) {
    for (size_t i = 0; i < descriptors.size(); ++i)
        if (descriptors[i].BytesInRecord != SlotWidth(descriptors[i].Type, descriptors[i].Size & 0xFFFF))
            RaiseDescriptor(i);
}

TRecordLayout CheckDescriptors(const std::vector<TFieldDescriptor>& descriptors) {
    TRecordLayout layout = LayoutOf(descriptors);
    CheckSlotWidths(descriptors);
    return layout;
}

int64_t CheckRecordCounts(const TTableHeader& header, int32_t recordSize, int64_t fileSize) {
    if (header.LiveCount < 0 || header.DeletedCount < 0 || header.PhysicalCount() > INT32_MAX)
        RaiseBadCounts();
    if (header.LiveCount > 0 && header.RecordSize != recordSize)
        Raise(QStringLiteral("Internal open: File record size mismatch."));
    if (header.DataStart != DataStartFor(header.FieldCount) ||
        header.DataStart + header.PhysicalCount() * recordSize > fileSize)
        Raise(QStringLiteral("Internal open: Invalid record size.\rStartData   : %1\rfRecordCount: %2\r"
                             "fRecordSize : %3\rfStream.SIze: %4")
                  .arg(header.DataStart)
                  .arg(header.LiveCount)
                  .arg(recordSize)
                  .arg(fileSize));
    return (fileSize - header.DataStart) / recordSize;
}

void CheckAdoptedCounts(int64_t liveCount, int64_t deletedCount) {
    if (liveCount + deletedCount > INT32_MAX)
        RaiseBadCounts();
}
