// The dataset's state machine: opening and closing, moving the current record, editing, filtering, and
// telling the data links.
#include "framework/DataSet.h"

#include <algorithm>

namespace {

const QString ClosedDataSet = QStringLiteral("Cannot perform this operation on a closed dataset");
const QString EmptyDataSet = QStringLiteral("Cannot perform this operation on an empty dataset");
const QString NotEditing = QStringLiteral("Dataset not in edit or insert mode");

} // namespace

TDataLink::TDataLink(TDataSet& DataSet) : Linked(&DataSet) {
    DataSet.Links.push_back(this);
}

TDataLink::~TDataLink() {
    if (Linked)
        std::erase(Linked->Links, this);
}

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
    for (TDataLink* link : Links)
        link->Linked = nullptr;
}

void TDataSet::Open() {
    if (Active())
        return;
    Notify(BeforeOpen);
    bool cursorOpen = false;
    try {
        InternalOpen();
        cursorOpen = true;
        Buffer = AllocRecordBuffer();
        Scratch = AllocRecordBuffer();
        PeekBuffer = AllocRecordBuffer();
        FState = dsBrowse;
        ReadFirst();
    } catch (...) {
        FState = dsInactive;
        HasRecord = false;
        if (cursorOpen)
            InternalClose();
        FFields.clear();
        throw;
    }
    DataEvent(deDataSetChange);
    Notify(AfterOpen);
}

void TDataSet::Close() {
    if (!Active())
        return;
    Notify(BeforeClose);
    CloseSilently();
    Notify(AfterClose);
}

void TDataSet::CloseSilently() {
    if (!Active())
        return;
    InternalClose();
    FFields.clear();
    Buffer.clear();
    Scratch.clear();
    Saved.clear();
    PeekBuffer.clear();
    HasRecord = false;
    FModified = false;
    FBof = FEof = true;
    FState = dsInactive;
    DataEvent(deDataSetChange);
}

TField* TDataSet::FindField(const QString& FieldName) const {
    for (const auto& field : FFields)
        if (field->FieldName().compare(FieldName, Qt::CaseInsensitive) == 0)
            return field.get();
    return nullptr;
}

TField& TDataSet::FieldByName(const QString& FieldName) const {
    TField* field = FindField(FieldName);
    if (!field)
        throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(FieldName));
    return *field;
}

void TDataSet::First() {
    CheckBrowseMode();
    Scroll([this] { ReadFirst(); });
}

void TDataSet::Last() {
    CheckBrowseMode();
    Scroll([this] { ReadLast(); });
}

void TDataSet::Next() {
    CheckBrowseMode();
    if (FEof)
        return;
    Scroll([this] {
        UpdateCursorPos();
        if (ReadInto(gmNext, true))
            FBof = false;
        else
            FEof = true;
    });
}

void TDataSet::Prior() {
    CheckBrowseMode();
    if (FBof)
        return;
    Scroll([this] {
        UpdateCursorPos();
        if (ReadInto(gmPrior, true))
            FEof = false;
        else
            FBof = true;
    });
}

TBookmark TDataSet::GetBookmark() const {
    return HasRecord ? GetBookmarkData(Buffer) : NoBookmark;
}

void TDataSet::GotoBookmark(TBookmark Bookmark) {
    CheckBrowseMode();
    Scroll([&] {
        InternalGotoBookmark(Bookmark);
        Resync(true);
    });
}

bool TDataSet::BookmarkValid(TBookmark Bookmark) {
    return TRecordPeek(*this, Bookmark).Found();
}

void TDataSet::Append() {
    CheckBrowseMode();
    CheckCanModify();
    Notify(BeforeInsert);
    Saved = Buffer;
    SavedHasRecord = HasRecord;
    InternalInitRecord(Buffer);
    SetBookmarkData(Buffer, NoBookmark);
    HasRecord = true;
    FState = dsInsert;
    FModified = false;
    Notify(OnNewRecord);
    Notify(AfterInsert);
}

void TDataSet::Edit() {
    CheckActive();
    if (FState == dsEdit || FState == dsInsert)
        return;
    CheckCanModify();
    if (!HasRecord)
        throw EDatabaseError(EmptyDataSet);
    Notify(BeforeEdit);
    Saved = Buffer;
    SavedHasRecord = true;
    FState = dsEdit;
    FModified = false;
    Notify(AfterEdit);
}

void TDataSet::Post() {
    CheckActive();
    if (FState != dsEdit && FState != dsInsert)
        throw EDatabaseError(NotEditing);
    Notify(BeforePost);
    const bool appending = FState == dsInsert;
    InternalPost();
    FState = dsBrowse;
    FModified = false;
    if (appending) {
        // Read back like any record, so that the filter has its say before anyone is told.
        const TBookmark added = GetBookmarkData(Buffer);
        InternalGotoBookmark(added);
        Resync(false);
        DataEvent(deRecordAppended, added);
        DataEvent(deDataSetScroll);
    } else if (FFiltered && OnFilterRecord) {
        // The edit may have made the filter reject the record: then it leaves the view like a deleted one.
        const TBookmark edited = GetBookmarkData(Buffer);
        InternalGotoBookmark(edited);
        Resync(false);
        if (HasRecord && GetBookmarkData(Buffer) == edited) {
            DataEvent(deRecordChange);
        } else {
            DataEvent(deRecordDeleted, edited);
            DataEvent(deDataSetScroll);
        }
    } else {
        DataEvent(deRecordChange);
    }
    Notify(AfterPost);
}

void TDataSet::Cancel() {
    if (FState != dsEdit && FState != dsInsert)
        return;
    Notify(BeforeCancel);
    EndEditing();
    DataEvent(deRecordChange);
    Notify(AfterCancel);
}

void TDataSet::Delete() {
    CheckActive();
    if (FState == dsInsert) {
        Cancel();
        return;
    }
    if (!HasRecord)
        throw EDatabaseError(EmptyDataSet);
    CheckCanModify();
    Notify(BeforeDelete);
    Scroll([this] {
        if (FState == dsEdit)
            EndEditing(); // the pending changes go with the record
        const TBookmark gone = GetBookmarkData(Buffer);
        UpdateCursorPos();
        InternalDelete();
        // The neighbour is current before anyone hears of the deletion: a listener that reads records moves
        // the cursor, and the resync must not start from where it left it.
        Resync(false);
        DataEvent(deRecordDeleted, gone);
    });
    Notify(AfterDelete);
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    UpdateCursorPos();
    InternalRefresh();
    if (HasRecord)
        Resync(false);
    else
        ReadFirst();
    DataEvent(deDataSetChange);
}

void TDataSet::Reopen() {
    Close();
    Open();
}

void TDataSet::SetFiltered(bool Value) {
    if (Value == FFiltered)
        return;
    if (Active())
        CheckBrowseMode();
    FFiltered = Value;
    if (Active()) {
        ReadFirst();
        DataEvent(deDataSetChange);
    }
}

std::vector<TBookmark> TDataSet::VisibleBookmarks() {
    CheckActive();
    std::vector<TBookmark> bookmarks;
    bookmarks.reserve(size_t(std::max(0, GetRecordCount())));
    CursorPosChanged = true;
    InternalFirst();
    while (GetRecord(PeekBuffer, gmNext, false) == grOK)
        bookmarks.push_back(GetBookmarkData(PeekBuffer));
    return bookmarks;
}

TDataSet::TRecordPeek::TRecordPeek(TDataSet& DataSet, TBookmark Bookmark) : Owner(DataSet) {
    Owner.CheckActive();
    TRecordBuffer* source = nullptr;
    if (Owner.HasRecord && Owner.GetBookmarkData(Owner.Buffer) == Bookmark) {
        source = &Owner.Buffer;
    } else {
        Owner.CursorPosChanged = true;
        bool known = true;
        try {
            Owner.InternalGotoBookmark(Bookmark);
        } catch (const Exception&) {
            // A bookmark the storage no longer knows is a record that is gone.
            known = false;
        }
        try {
            if (known && Owner.GetRecord(Owner.PeekBuffer, gmCurrent, false) == grOK)
                source = &Owner.PeekBuffer;
        } catch (const Exception& error) {
            FError = error.message();
        }
    }
    Owner.Peeking = true;
    Owner.PeekSource = source;
    FFound = source != nullptr;
}

TDataSet::TRecordPeek::~TRecordPeek() {
    Owner.Peeking = false;
}

uint8_t* TDataSet::ActiveBuffer() {
    if (FState == dsFilter)
        return FilterBuffer->data();
    if (Peeking)
        return PeekSource ? PeekSource->data() : nullptr;
    return HasRecord ? Buffer.data() : nullptr;
}

void TDataSet::CreateFields() {
    FFields.clear();
    for (const TFieldDef& def : FieldDefs)
        FFields.push_back(std::make_unique<TField>(*this, def));
}

bool TDataSet::AcceptRecord(TRecordBuffer& Record) {
    if (!FFiltered || !OnFilterRecord)
        return true;
    // The handler may raise: the state and the buffer under test are put back in any case.
    struct Restore {
        TDataSet& DataSet;
        TDataSetState State;
        TRecordBuffer* Buffer;
        ~Restore() {
            DataSet.FState = State;
            DataSet.FilterBuffer = Buffer;
        }
    } restore{*this, FState, FilterBuffer};
    FilterBuffer = &Record;
    FState = dsFilter;
    bool accept = true;
    OnFilterRecord(this, accept);
    return accept;
}

void TDataSet::UpdateCursorPos() {
    // A record being inserted has no place in the storage yet.
    if (CursorPosChanged && HasRecord && FState != dsInsert)
        InternalSetToRecord(Buffer);
    CursorPosChanged = false;
}

void TDataSet::Resync(bool Exact) {
    bool found = ReadInto(gmCurrent, Exact);
    if (!found && Exact)
        throw EDatabaseError(QStringLiteral("Record not found"));
    if (!found)
        found = ReadInto(gmNext, false) || ReadInto(gmPrior, false);
    HasRecord = found;
    FBof = FEof = !found;
}

void TDataSet::CheckActive() const {
    if (!Active())
        throw EDatabaseError(ClosedDataSet);
}

void TDataSet::CheckInactive() const {
    if (Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    if (FState != dsEdit && FState != dsInsert)
        return;
    if (FModified)
        Post();
    else
        Cancel();
}

void TDataSet::CheckCanModify() const {
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
}

void TDataSet::Scroll(const std::function<void()>& Move) {
    Notify(BeforeScroll);
    Move();
    DataEvent(deDataSetScroll);
    Notify(AfterScroll);
}

void TDataSet::StoreFieldData(TField& Field, const void* Data) {
    if (Peeking || (FState != dsEdit && FState != dsInsert))
        throw EDatabaseError(NotEditing);
    SetFieldData(Field, Data);
    FModified = true;
}

void TDataSet::ReadFirst() {
    InternalFirst();
    HasRecord = ReadInto(gmNext, true);
    FBof = true;
    FEof = !HasRecord;
}

void TDataSet::ReadLast() {
    InternalLast();
    HasRecord = ReadInto(gmPrior, true);
    FEof = true;
    FBof = !HasRecord;
}

bool TDataSet::ReadInto(TGetMode Mode, bool DoCheck) {
    const bool found = GetRecord(Scratch, Mode, DoCheck) == grOK;
    if (found)
        std::swap(Buffer, Scratch);
    // A failed read may leave the subclass's cursor anywhere.
    CursorPosChanged = !found;
    return found;
}

void TDataSet::EndEditing() {
    Buffer = Saved;
    HasRecord = SavedHasRecord;
    FState = dsBrowse;
    FModified = false;
    CursorPosChanged = true;
}

void TDataSet::EnableControls() {
    if (FDisableCount == 0 || --FDisableCount > 0 || !FEventHeld)
        return;
    FEventHeld = false;
    DataEvent(deDataSetChange);
}

void TDataSet::DataEvent(TDataEvent Event, TBookmark Info) {
    if (FDisableCount > 0) {
        FEventHeld = true;
        return;
    }
    for (size_t i = 0; i < Links.size(); ++i)
        Links[i]->DataEvent(Event, Info);
}
