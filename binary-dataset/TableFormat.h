// The bytes of a table file: the 36-byte header, the 41-byte field descriptors and the record layout, and
// every check a file must pass before anything it says is used or allocated.
#pragma once

#include "framework/Exception.h"
#include "framework/Fields.h"

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

// Every error the binary dataset raises itself.
LAB_DECLARE_EXCEPTION(EBinaryDataSetError, Exception);

constexpr int32_t TableMagic = 0x1A534442; // the bytes 'B', 'D', 'S', 0x1A
constexpr int32_t TableVersion = 13;
constexpr int64_t TableHeaderSize = 36;
constexpr int64_t FieldDescriptorSize = 41;
constexpr int32_t LinkWordSize = 4;    // every record starts with its link word; the slots follow
constexpr int MaxFieldNameLength = 27; // the name and its NUL fill the 28 bytes before the type byte
// The framework hands record sizes around as 16-bit values, and every slot takes at least 2 bytes.
constexpr int64_t MaxRecordSize = 65535;
constexpr int64_t MaxFieldCount = (MaxRecordSize - LinkWordSize) / 2;

// The header's nine 32-bit fields in file order.
struct TTableHeader {
    int32_t Magic = TableMagic;
    int32_t Version = TableVersion;
    int32_t RecordSize = 0;
    int32_t LiveCount = 0;
    int32_t FieldCount = 0;
    int32_t Reserved = -1;
    int32_t ChainHead = -1; // 1-based physical number of the record deleted last; -1 before any deletion
    int32_t DeletedCount = 0;
    int32_t DataStart = 0;

    // Live and deleted records alike keep their place in the file.
    int64_t PhysicalCount() const { return int64_t(LiveCount) + DeletedCount; }
    friend bool operator==(const TTableHeader&, const TTableHeader&) = default;
};

void EncodeHeader(const TTableHeader& header, uint8_t* bytes); // TableHeaderSize bytes

struct TFieldDescriptor {
    QByteArray Name; // Windows-1251, without its NUL
    uint8_t Type = ftUnknown;
    int32_t BytesInRecord = 0;
    int32_t Size = 0; // a 16-bit value in a 32-bit field: only the low half counts
};

void EncodeDescriptor(const TFieldDescriptor& descriptor, uint8_t* bytes); // FieldDescriptorSize bytes
TFieldDescriptor DecodeDescriptor(const uint8_t* bytes);

// The slot a field of this type and size takes in a record; nothing for a type the format cannot store.
std::optional<int32_t> SlotWidth(int type, int size);

// Where each field's slot starts in a record, and the record size with the link word.
struct TRecordLayout {
    std::vector<int32_t> FieldOffsets;
    int32_t RecordSize = 0;
};

// The descriptors of a new table with these definitions; raises for anything a table cannot hold.
std::vector<TFieldDescriptor> DescriptorsFor(const TFieldDefs& defs);
TTableHeader NewTableHeader(int32_t fieldCount, int32_t recordSize);

// The checks of what a file says, in the order an open makes them; each raises EBinaryDataSetError.
// `bytes` holds the file's first TableHeaderSize bytes (as many as it has).
TTableHeader CheckHeader(const uint8_t* bytes, int64_t fileSize);
// The layout the descriptors' slot widths give, as the format reads it; it only refuses what no record
// could hold.
TRecordLayout LayoutOf(const std::vector<TFieldDescriptor>& descriptors);
// The counts and the data start against the record size and the file: returns how many whole records the
// file holds, which may be more than the counts (appends whose header never got written). Raises the
// format's own record-size texts.
int64_t CheckRecordCounts(const TTableHeader& header, int32_t recordSize, int64_t fileSize);
// Each slot as wide as its type needs: checked after the format's own checks, so that a wrong width that
// makes the record size disagree is reported as they report it.
void CheckSlotWidths(const std::vector<TFieldDescriptor>& descriptors);
// LayoutOf and CheckSlotWidths, for a new table.
TRecordLayout CheckDescriptors(const std::vector<TFieldDescriptor>& descriptors);
// Records found beyond the header's counts are taken in only while the numbers stay 32-bit.
void CheckAdoptedCounts(int64_t liveCount, int64_t deletedCount);
