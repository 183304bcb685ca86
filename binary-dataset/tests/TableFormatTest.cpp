#include "binary-dataset/TableFormat.h"
#include "binary-dataset/tests/TableBytes.h"

#include <gtest/gtest.h>

namespace {

TFieldDefs RecordsViewerDefs() {
    TFieldDefs defs;
    AddRecordsViewerFields(defs);
    return defs;
}

QString MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EBinaryDataSetError& e) {
        return e.message();
    }
    return "(nothing raised)";
}

} // namespace

TEST(TableFormat, Header_NineLittleEndianFieldsInFileOrder) {
    TTableHeader h;
    h.RecordSize = 195;
    h.LiveCount = 0x01020304;
    h.FieldCount = 16;
    h.ChainHead = 7;
    h.DeletedCount = 2;
    h.DataStart = 692;
    uint8_t bytes[36];
    EncodeHeader(h, bytes);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(bytes), 36),
              QByteArray::fromHex(
                  "4244531a 0d000000 c3000000 04030201 10000000 ffffffff 07000000 02000000 b4020000"));
    EXPECT_EQ(CheckHeader(bytes, 692), h);
}

TEST(TableFormat, Descriptor_NameOf27CharactersKeepsItsNulInByte27) {
    const QByteArray name(27, 'N');
    uint8_t bytes[41];
    std::memset(bytes, 0xEE, sizeof bytes);
    EncodeDescriptor({name, ftString, 44, 40}, bytes);
    QByteArray expected = name;
    expected.append('\0').append('\x01').append(QByteArray::fromHex("2c000000 28000000 00000000"));
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(bytes), 41), expected);
    EXPECT_EQ(DecodeDescriptor(bytes).Name, name);

    // Read back, a name never runs past its 28 bytes even without a NUL.
    std::memset(bytes, 'X', 28);
    EXPECT_EQ(DecodeDescriptor(bytes).Name, QByteArray(28, 'X'));
    EXPECT_EQ(DecodeDescriptor(bytes).Type, ftString);
}

TEST(TableFormat, SlotWidth_StorableTypesOnly) {
    const std::optional<int32_t> expected[] = {std::nullopt, 14, 2, 4, 2,           2, 8, 8,
                                               std::nullopt, 4,  4, 8, std::nullopt};
    for (int type = 0; type <= 12; ++type)
        EXPECT_EQ(SlotWidth(type, 10), expected[type]) << "type " << type;
    EXPECT_EQ(SlotWidth(255, 10), std::nullopt);
}

TEST(TableFormat, RecordsViewerLayout_RecordSize195AndItsSlotOffsets) {
    const std::vector<TFieldDescriptor> descriptors = DescriptorsFor(RecordsViewerDefs());
    const TRecordLayout layout = CheckDescriptors(descriptors);
    EXPECT_EQ(layout.RecordSize, 195);
    EXPECT_EQ(layout.FieldOffsets, (std::vector<int32_t>{4, 48, 52, 64, 88, 112, 114, 138, 172, 174, 176, 178,
                                                         180, 184, 188, 193}));
    EXPECT_EQ(NewTableHeader(16, 195).DataStart, 692);
    EXPECT_EQ(descriptors[14].Name, "REACT");
    EXPECT_EQ(descriptors[14].BytesInRecord, 5);
}

TEST(TableFormat, DescriptorsFor_RefusesWhatATableCannotHold) {
    const auto refusal = [](TFieldType type, int size, const QString& name, const QString& other = "X") {
        TFieldDefs defs;
        defs.Add(other, ftInteger);
        defs.Add(name, type, size);
        return MessageOf([&] { DescriptorsFor(defs); });
    };
    EXPECT_EQ(refusal(ftString, 5, QString(28, 'A')),
              "CreateTable: Field name longer than 27 characters: '" + QString(28, 'A') + "'.");
    EXPECT_EQ(refusal(ftString, 5, QString(27, 'A')), "(nothing raised)");
    EXPECT_EQ(refusal(ftString, 5, "Поле"), "(nothing raised)") << "Cyrillic names take one byte a letter";
    EXPECT_EQ(refusal(ftString, 5, "x"), "CreateTable: Duplicate field name: 'x'.");
    EXPECT_EQ(refusal(ftString, 5, ""), "CreateTable: Field name cannot be stored: ''.");
    EXPECT_EQ(refusal(ftString, 5, "Ω"), "CreateTable: Field name cannot be stored: 'Ω'.");
    EXPECT_EQ(refusal(ftString, 0, "S"), "CreateTable: Invalid field size: 'S'.");
    EXPECT_EQ(refusal(ftBCD, 0, "B"), "InitFieldsDefs: Unsupported field type");
    EXPECT_EQ(refusal(ftUnknown, 0, "U"), "InitFieldsDefs: Unsupported field type");
    EXPECT_EQ(refusal(ftString, 65523, "Big"), "(nothing raised)") << "4 + 4 + 65523 + 4 is 65535";
    EXPECT_EQ(refusal(ftString, 65524, "Big"),
              "CreateTable: Record larger than 65535 bytes at field: 'Big'.");
    EXPECT_EQ(MessageOf([] { DescriptorsFor(TFieldDefs()); }), "Invalid number of fields.");
}

TEST(TableFormat, CheckDescriptors_BadTypesAndWidths_Raise) {
    const auto message = [](uint8_t type, int32_t width, int32_t size) {
        return MessageOf([&] { CheckDescriptors({{"A", ftInteger, 4, 0}, {"B", type, width, size}}); });
    };
    for (uint8_t type : {0, 12, 255})
        EXPECT_EQ(message(type, 4, 0), "InitFieldsDefs: Unsupported field type") << int(type);
    EXPECT_EQ(message(ftString, 14, 11), "Internal open: Invalid field descriptor 2.");
    EXPECT_EQ(message(ftString, 14, 0x0001000A), "(nothing raised)") << "only the low 16 bits are the size";
    EXPECT_EQ(message(ftString, 65535, 65531), "Internal open: Invalid field descriptor 2.")
        << "the record would pass 65535 bytes";
}

TEST(TableFormat, CheckRecordCounts_FileMayHoldMoreButNeverLess) {
    TTableHeader h = NewTableHeader(2, SmallRecordSize);
    h.LiveCount = 2;
    h.DeletedCount = 1;
    EXPECT_EQ(CheckRecordCounts(h, SmallRecordSize, SmallDataStart + 3 * SmallRecordSize), 3);
    EXPECT_EQ(CheckRecordCounts(h, SmallRecordSize, SmallDataStart + 5 * SmallRecordSize + 7), 5)
        << "a partial last record is not counted";
    EXPECT_THROW(CheckRecordCounts(h, SmallRecordSize, SmallDataStart + 3 * SmallRecordSize - 1),
                 EBinaryDataSetError);
    h.RecordSize = 23;
    h.LiveCount = 0;
    EXPECT_EQ(MessageOf([&] { CheckRecordCounts(h, SmallRecordSize, 1000); }), "(nothing raised)")
        << "the record size only has to match while records are counted live";
    h.DeletedCount = -1;
    EXPECT_EQ(MessageOf([&] { CheckRecordCounts(h, SmallRecordSize, 1000); }),
              "Internal open: Invalid record counts.");
    h.LiveCount = h.DeletedCount = INT32_MAX;
    EXPECT_EQ(MessageOf([&] { CheckRecordCounts(h, SmallRecordSize, INT64_MAX); }),
              "Internal open: Invalid record counts.");
}
