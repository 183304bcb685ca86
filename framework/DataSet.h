// TDataSet: the dataset of the framework's database layer, as far as the system uses it. It keeps the state,
// the current record's buffer, the fields, the filter hook and the events; a subclass supplies the cursor,
// the record buffers' contents and the storage.
#pragma once

#include "framework/Fields.h"
#include "framework/Object.h"

#include <functional>
#include <memory>
#include <vector>

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsFilter };
enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };

// What a data link hears. deRecordAppended and deRecordDeleted carry the bookmark of that record;
// deRecordDeleted also tells of a record that an edit made the filter reject. Both come when the dataset's
// current record is already where it stays.
enum TDataEvent { deDataSetChange, deDataSetScroll, deRecordChange, deRecordAppended, deRecordDeleted };

// A bookmark names one record of an open dataset; browsing meets records in increasing bookmark order.
using TBookmark = int64_t;
constexpr TBookmark NoBookmark = -1;

using TRecordBuffer = std::vector<uint8_t>;

class TDataSet;
using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;

// Hears a dataset's data events, as grids and data sources do. It joins its dataset on construction and
// leaves on destruction; a dataset destroyed first leaves its links with no dataset.
class TDataLink {
public:
    explicit TDataLink(TDataSet& DataSet);
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSet* DataSet() const { return Linked; }

protected:
    virtual void DataEvent(TDataEvent Event, TBookmark Info) = 0;

private:
    friend class TDataSet;
    TDataSet* Linked;
};

// The framework's data source as forms use it: OnDataChange hears every data event of its dataset (the
// current record changed, edited or read anew).
class TDataSource : public TDataLink {
public:
    using TDataLink::TDataLink;
    std::function<void()> OnDataChange;

protected:
    void DataEvent(TDataEvent, TBookmark) override {
        if (OnDataChange)
            OnDataChange();
    }
};

class TDataSet : public TObject {
public:
    TDataSet();
    // A subclass closes itself in its own destructor: closing needs its overrides.
    ~TDataSet() override;
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    // The definitions a closed dataset creates a table from; an open one shows those of its table.
    TFieldDefs FieldDefs;

    void Open();
    void Close();
    bool Active() const { return FState != dsInactive; }
    TDataSetState State() const { return FState; }

    int FieldCount() const { return int(FFields.size()); }
    TField& Fields(int Index) const { return *FFields.at(size_t(Index)); }
    // Names compare without regard to case.
    TField* FindField(const QString& FieldName) const;
    TField& FieldByName(const QString& FieldName) const;

    void First();
    void Last();
    void Next();
    void Prior();
    bool Bof() const { return FBof; }
    bool Eof() const { return FEof; }
    bool IsEmpty() const { return !HasRecord; }
    virtual int GetRecordCount() = 0;
    virtual int GetRecNo() = 0;
    virtual void SetRecNo(int Value) = 0;

    TBookmark GetBookmark() const;
    // Raises when the record is gone or the filter rejects it.
    void GotoBookmark(TBookmark Bookmark);
    bool BookmarkValid(TBookmark Bookmark);

    virtual bool CanModify() const { return true; }
    bool Modified() const { return FModified; }
    // New records go where the subclass puts them; Post sends deRecordAppended with their bookmark.
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Reads the storage anew and keeps the current record where it still exists.
    void Refresh();
    // Closes and opens again, so that the storage is read anew. A subclass that can tell beforehand that it
    // will not open keeps the dataset open as it was and raises that reason.
    virtual void Reopen();
    // Between DisableControls and its EnableControls (they nest) the links hear nothing; the last
    // EnableControls tells them of one data set change when any event was held back, so that several steps
    // look like one to a grid or a data source.
    void DisableControls() { ++FDisableCount; }
    void EnableControls();

    bool Filtered() const { return FFiltered; }
    void SetFiltered(bool Value);
    // Called for every record read while Filtered; the fields read the record under test.
    TFilterRecordEvent OnFilterRecord;

    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit, BeforePost, AfterPost;
    TDataSetNotifyEvent BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord;

    // For grids: the records in browse order, read without moving the current record or firing events.
    std::vector<TBookmark> VisibleBookmarks();

    // Lets the fields read another record than the current one while it lives, as a grid does when it paints
    // a row. It neither moves the current record nor fires events; it is for browsing only.
    class TRecordPeek {
    public:
        TRecordPeek(TDataSet& DataSet, TBookmark Bookmark);
        ~TRecordPeek();
        TRecordPeek(const TRecordPeek&) = delete;
        TRecordPeek& operator=(const TRecordPeek&) = delete;
        // False when the record is gone, rejected by the filter or could not be read; the fields then read
        // nothing.
        bool Found() const { return FFound; }
        // Why the record could not be read (the storage held by another program, a read error); empty when
        // it was read or is gone.
        const QString& Error() const { return FError; }

    private:
        TDataSet& Owner;
        bool FFound = false;
        QString FError;
    };

protected:
    // The storage's part. InternalOpen defines FieldDefs and calls CreateFields; on failure it leaves
    // nothing open.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void InternalInitRecord(TRecordBuffer& Buffer) = 0;
    // Reads the record the mode names into Buffer; runs AcceptRecord itself when filtering applies.
    virtual TGetResult GetRecord(TRecordBuffer& Buffer, TGetMode GetMode, bool DoCheck) = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual TBookmark GetBookmarkData(const TRecordBuffer& Buffer) const = 0;
    virtual void SetBookmarkData(TRecordBuffer& Buffer, TBookmark Bookmark) = 0;
    virtual void InternalGotoBookmark(TBookmark Bookmark) = 0;
    void InternalSetToRecord(const TRecordBuffer& Buffer) { InternalGotoBookmark(GetBookmarkData(Buffer)); }
    // Writes the active buffer: over its record when editing; as a new record when inserting, giving the
    // buffer the new record's bookmark.
    virtual void InternalPost() = 0;
    virtual void InternalDelete() = 0;
    virtual void InternalRefresh() = 0;
    virtual bool GetFieldData(const TField& Field, void* Buffer) = 0;
    virtual void SetFieldData(TField& Field, const void* Buffer) = 0;

    // The buffer the fields work on: the record under the filter, a peeked record, or the current one;
    // nothing when there is no record.
    uint8_t* ActiveBuffer();
    // The current record itself, whatever the state; what Post and Delete write.
    TRecordBuffer& ActiveRecordBuffer() { return Buffer; }
    void CreateFields();
    // Close without BeforeClose and AfterClose, for destructors: the handlers' owners may be gone already.
    void CloseSilently();
    bool AcceptRecord(TRecordBuffer& Buffer);
    // Puts the subclass's cursor back on the current record after peeks and failed reads moved it.
    void UpdateCursorPos();
    // Makes the record under the cursor current; without Exact a vanished one gives way to its neighbour.
    void Resync(bool Exact);
    void CheckActive() const;
    void CheckInactive() const;
    void CheckBrowseMode();
    void CheckCanModify() const;
    // Runs the scroll events around a move of the current record.
    void Scroll(const std::function<void()>& Move);

private:
    friend class TField;
    friend class TDataLink;

    void StoreFieldData(TField& Field, const void* Data);
    void ReadFirst();
    void ReadLast();
    // Reads into the scratch buffer and makes it current when the read succeeds.
    bool ReadInto(TGetMode Mode, bool DoCheck);
    void EndEditing();
    void DataEvent(TDataEvent Event, TBookmark Info = NoBookmark);
    void Notify(const TDataSetNotifyEvent& Event) {
        if (Event)
            Event(this);
    }

    TDataSetState FState = dsInactive;
    bool FFiltered = false;
    bool FModified = false;
    bool FBof = true;
    bool FEof = true;
    bool HasRecord = false;
    bool CursorPosChanged = false;
    TRecordBuffer Buffer;  // the current record
    TRecordBuffer Scratch; // reads land here and become current only when they succeed
    TRecordBuffer Saved;   // the current record as it was before Edit or Append, for Cancel
    bool SavedHasRecord = false;
    TRecordBuffer PeekBuffer;
    bool Peeking = false;
    TRecordBuffer* PeekSource = nullptr; // what a peek shows: the peeked record, the current one, or nothing
    TRecordBuffer* FilterBuffer = nullptr;
    std::vector<std::unique_ptr<TField>> FFields;
    std::vector<TDataLink*> Links;
    int FDisableCount = 0;
    bool FEventHeld = false;
};
