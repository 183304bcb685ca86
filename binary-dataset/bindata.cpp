// The binary dataset: cursor, record buffers and field slots over a TTableFile.
#include "binary-dataset/bindata.h"

#include "framework/MessageBox.h"
#include "framework/StreamIO.h"
#include "framework/Win1251.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace {

constexpr int32_t BookmarkSize = 4;
constexpr uint8_t BookmarkFlagCurrent = 0;

} // namespace

TBinaryDataSet::TBinaryDataSet() = default;

TBinaryDataSet::~TBinaryDataSet() {
    CloseSilently();
}

void TBinaryDataSet::SetTableName(const QString& Value) {
    CheckInactive();
    FTableName = Value;
}

void TBinaryDataSet::SetReadOnly(bool Value) {
    CheckInactive();
    FReadOnly = Value;
}

void TBinaryDataSet::CreateTable() {
    CheckInactive();
    CheckCanModify();
    // Every definition is checked before the user is asked or anything is written.
    const std::vector<TFieldDescriptor> descriptors = DescriptorsFor(FieldDefs);
    const bool exists = QFileInfo::exists(FTableName);
    if (exists && MessageBox(QStringLiteral("File %1 already exists. OK to override?").arg(FTableName),
                             QStringLiteral("Confirm"), mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    RecordSize = TTableFile::Create(FTableName, descriptors, exists);
}

int TBinaryDataSet::GetRecordCount() {
    CheckActive();
    return Stream->Header().LiveCount;
}

int TBinaryDataSet::GetRecNo() {
    CheckActive();
    UpdateCursorPos();
    return Current < 0 ? 1 : int(Current + 1);
}

void TBinaryDataSet::SetRecNo(int Value) {
    CheckBrowseMode();
    if (Value < 1 || Value > Stream->Header().LiveCount)
        return;
    Scroll([&] {
        Current = Value - 1;
        Resync(false);
    });
}

void TBinaryDataSet::Reopen() {
    if (!Active()) {
        Open();
        return;
    }
    auto file = std::make_unique<TTableFile>(FTableName, FReadOnly);
    Close();
    Reopened = std::move(file);
    Open();
}

void TBinaryDataSet::InternalOpen() {
    auto file = Reopened ? std::move(Reopened) : std::make_unique<TTableFile>(FTableName, FReadOnly);
    InternalInitFieldDefs(*file);
    CreateFields();
    Stream = std::move(file);
    Current = -1;
}

void TBinaryDataSet::InternalInitFieldDefs(const TTableFile& File) {
    FieldDefs.Clear();
    for (const TFieldDescriptor& d : File.Descriptors())
        FieldDefs.Add(DecodeWin1251(d.Name), TFieldType(d.Type), d.Size & 0xFFFF, false);
    FieldOffsets = File.Layout().FieldOffsets;
    RecordSize = File.Layout().RecordSize;
    BookmarkOffset = RecordSize;
    BufferSize = RecordSize + BookmarkSize + 4;
}

void TBinaryDataSet::InternalClose() {
    Stream.reset();
    FieldOffsets.clear();
    LastRecord = nullptr;
}

TRecordBuffer TBinaryDataSet::AllocRecordBuffer() {
    return TRecordBuffer(size_t(BufferSize), 0);
}

void TBinaryDataSet::InternalInitRecord(TRecordBuffer& Buffer) {
    std::fill(Buffer.begin(), Buffer.end(), 0);
}

TGetResult TBinaryDataSet::GetRecord(TRecordBuffer& Buffer, TGetMode GetMode, bool DoCheck) {
    if (Stream->Header().LiveCount < 1)
        return grEOF;
    const int64_t count = Stream->PhysicalCount();
    for (;;) {
        TGetResult result = grOK;
        switch (GetMode) {
        case gmCurrent:
            if (Current < 0 || Current >= count)
                result = grError;
            break;
        case gmNext:
            if (Current < count - 1)
                ++Current;
            else
                result = grEOF;
            break;
        case gmPrior:
            if (Current < 1)
                result = grBOF;
            else
                --Current;
            break;
        }
        if (result == grError && DoCheck)
            throw EBinaryDataSetError(QStringLiteral("GetRecord: Invalid record"));
        if (result != grOK)
            return result;
        Stream->ReadRecord(Current, Buffer.data());
        LastRecord = Buffer.data();
        SetBookmarkData(Buffer, Current);
        // Deleted records never reach the filter.
        if (GetLE32(Buffer.data()) == 0 && AcceptRecord(Buffer))
            return grOK;
        if (GetMode == gmCurrent)
            return grError;
    }
}

void TBinaryDataSet::InternalLast() {
    Current = Stream->PhysicalCount();
}

TBookmark TBinaryDataSet::GetBookmarkData(const TRecordBuffer& Buffer) const {
    return int32_t(GetLE32(Buffer.data() + BookmarkOffset));
}

void TBinaryDataSet::SetBookmarkData(TRecordBuffer& Buffer, TBookmark Bookmark) {
    PutLE32(Buffer.data() + BookmarkOffset, uint32_t(Bookmark));
    Buffer[size_t(BookmarkOffset + BookmarkSize)] = BookmarkFlagCurrent;
}

void TBinaryDataSet::InternalGotoBookmark(TBookmark Bookmark) {
    if (Bookmark < 0 || Bookmark >= Stream->PhysicalCount())
        throw EBinaryDataSetError(QStringLiteral("Bookmark %1 not found").arg(Bookmark));
    Current = Bookmark;
}

void TBinaryDataSet::InternalPost() {
    CheckActive();
    TRecordBuffer& buffer = ActiveRecordBuffer();
    // Each write names the record it is for (the buffer's bookmark), never the cursor, which peeks and other
    // handles' appends may have moved.
    if (State() == dsEdit) {
        Stream->Rewrite(GetBookmarkData(buffer), buffer.data());
    } else {
        PutLE32(buffer.data(), 0);
        SetBookmarkData(buffer, Stream->Append(buffer.data()));
    }
}

void TBinaryDataSet::InternalDelete() {
    CheckActive();
    Stream->MarkDeleted(GetBookmarkData(ActiveRecordBuffer()));
}

void TBinaryDataSet::InternalRefresh() {
    Stream->Refresh();
}

uint8_t* TBinaryDataSet::FieldSlot(const TField& Field) {
    uint8_t* record = ActiveBuffer();
    if (!record || Field.FieldNo() <= 0 || size_t(Field.FieldNo()) > FieldOffsets.size())
        return nullptr;
    return record + FieldOffsets[size_t(Field.FieldNo() - 1)];
}

bool TBinaryDataSet::GetFieldData(const TField& Field, void* Buffer) {
    const uint8_t* slot = FieldSlot(Field);
    if (!slot)
        return false;
    if (Buffer)
        std::memcpy(Buffer, slot, size_t(Field.DataSize()));
    else if (Field.DataType() != ftBoolean)
        throw EBinaryDataSetError(QStringLiteral("very bad error in get field data"));
    return true;
}

void TBinaryDataSet::SetFieldData(TField& Field, const void* Buffer) {
    uint8_t* slot = FieldSlot(Field);
    if (!slot)
        return;
    if (Buffer)
        std::memcpy(slot, Buffer, size_t(Field.DataSize()));
    else if (Field.DataType() == ftBoolean)
        std::memset(slot, 0, 2);
    else
        throw EBinaryDataSetError(QStringLiteral("very bad error in setfield data"));
}
