// TBinaryDataSet: a dataset over one table file of fixed-size records (TableFormat.h, TableFile.h).
#pragma once

#include "binary-dataset/TableFile.h"
#include "framework/DataSet.h"

#include <memory>

class TBinaryDataSet : public TDataSet {
public:
    TBinaryDataSet();
    ~TBinaryDataSet() override;

    // The path of the table file; both properties can only change while the dataset is closed.
    const QString& GetTableName() const { return FTableName; }
    void SetTableName(const QString& Value);
    // Opens the file for reading only and refuses every change.
    bool GetReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);

    // Writes a new table file with no records for FieldDefs. An existing file is replaced only when the user
    // confirms, and only once the new one is complete; a file another program makes meanwhile is never
    // replaced.
    void CreateTable();

    // The record GetRecord read last, link word first: what a record filter looks at. Record size bytes.
    const uint8_t* LastRecordBuffer() const { return LastRecord; }
    int GetRecordSize() const { return RecordSize; }

    // The live records; with the filter on, fewer may be visible.
    int GetRecordCount() override;
    // The physical number from 1, so it can exceed GetRecordCount when deleted records lie before.
    int GetRecNo() override;
    // Moves to physical record Value - 1 for 1 <= Value <= GetRecordCount and ignores other values.
    void SetRecNo(int Value) override;
    bool CanModify() const override { return !FReadOnly; }
    // Opens and checks the file anew before the open one is let go: a table that cannot be opened now (held
    // by another program, damaged) leaves the dataset open on what it showed, and raises why.
    void Reopen() override;

protected:
    void InternalOpen() override;
    void InternalClose() override;
    TRecordBuffer AllocRecordBuffer() override;
    void InternalInitRecord(TRecordBuffer& Buffer) override;
    TGetResult GetRecord(TRecordBuffer& Buffer, TGetMode GetMode, bool DoCheck) override;
    void InternalFirst() override { Current = -1; }
    void InternalLast() override;
    TBookmark GetBookmarkData(const TRecordBuffer& Buffer) const override;
    void SetBookmarkData(TRecordBuffer& Buffer, TBookmark Bookmark) override;
    void InternalGotoBookmark(TBookmark Bookmark) override;
    void InternalPost() override;
    void InternalDelete() override;
    void InternalRefresh() override;
    bool GetFieldData(const TField& Field, void* Buffer) override;
    void SetFieldData(TField& Field, const void* Buffer) override;

private:
    void InternalInitFieldDefs(const TTableFile& File);
    // The field's slot in the buffer the fields work on; nothing without a record or for a field of no slot.
    uint8_t* FieldSlot(const TField& Field);

    QString FTableName;
    bool FReadOnly = false;
    std::unique_ptr<TTableFile> Stream;   // owned while the dataset is open
    std::unique_ptr<TTableFile> Reopened; // opened by Reopen for the next InternalOpen
    std::vector<int32_t> FieldOffsets;    // by field number - 1
    int32_t RecordSize = 0;
    int32_t BufferSize = 0;     // a buffer is the record, then its bookmark, bookmark flag and 3 spare bytes
    int32_t BookmarkOffset = 0; // = RecordSize
    int64_t Current = -1;       // physical number of the cursor's record; -1 before the first
    const uint8_t* LastRecord = nullptr;
};
