// One open table file, safe to share with other handles on the same file, in this program or another: every
// change takes an exclusive lock, reads the header as it is on disk, applies itself and writes the header
// back before it lets go; every read of the header or of records takes a shared one.
#pragma once

#include "binary-dataset/TableFormat.h"

#include <QString>
#include <optional>
#include <vector>

// How long a handle waits for another's hold on the file before it raises: a program that hangs while it
// holds the lock must not hang the other one too. Once a wait has run out, the handle tries its locks once
// each, without waiting, until it has one again.
constexpr uint32_t TableLockWaitMs = 5000;

class TTableFile {
public:
    // Opens the file and checks its header, descriptors and counts. The live and deleted records are counted
    // by their link words, whole records beyond the header's counts (appends whose header never got written)
    // included, but not a run of records of zero bytes at the end past the counts; counts that differ from
    // the header's come with the chain head of the deletion they missed. A writable handle writes them back
    // and cuts off what it did not count, a read-only one only uses them.
    TTableFile(const QString& path, bool readOnly);
    ~TTableFile();
    TTableFile(const TTableFile&) = delete;
    TTableFile& operator=(const TTableFile&) = delete;

    // The header as this handle last saw it under the lock, with the records beyond its counts taken in.
    const TTableHeader& Header() const { return FHeader; }
    int64_t PhysicalCount() const { return FHeader.PhysicalCount(); }
    const std::vector<TFieldDescriptor>& Descriptors() const { return FDescriptors; }
    const TRecordLayout& Layout() const { return FLayout; }

    // Physical record n (0 <= n < PhysicalCount) into `record` (RecordSize bytes). Records are read a window
    // at a time, so a scan costs about one read of the file.
    void ReadRecord(int64_t n, uint8_t* record);
    // Takes in what other handles wrote since: the header anew, and no record from before.
    void Refresh();

    // The changes name the physical record they concern and check it against the file under the lock; each
    // raises when the table it was opened on is no longer at its path.
    // Append writes `record` (its link word 0) after the last whole record, then the header; it leaves
    // nothing behind when it fails. Returns the new record's physical number.
    int64_t Append(const uint8_t* record);
    // Writes the slots of a live record; raises for a record that is deleted or not in the file.
    void Rewrite(int64_t n, const uint8_t* record);
    // Chains record n into the deleted records; false, with nothing changed, when it was deleted already.
    bool MarkDeleted(int64_t n);

    // Writes a new table with no records beside `path` and renames it into place once it is safely on disk,
    // over an existing file only with `replace`; raises when `path` is a symbolic link. Returns the record
    // size.
    static int32_t Create(const QString& path, const std::vector<TFieldDescriptor>& descriptors,
                          bool replace);

private:
    class TLock;

    int64_t FileSize() const;
    void ReadAt(int64_t offset, void* data, int64_t count) const;
    void WriteAt(int64_t offset, const void* data, int64_t count);
    int64_t RecordOffset(int64_t n) const { return FHeader.DataStart + n * FLayout.RecordSize; }
    int32_t LinkWordAt(int64_t n) const;
    // The header on disk, checked against this handle's descriptors; only under a lock.
    TTableHeader ReadCheckedHeader(int64_t fileSize) const;
    // Counts the link words of the whole records from `from` on (by default from the header's counts on);
    // those before keep the header's counts.
    TTableHeader CountRecords(TTableHeader header, int64_t fileSize, std::optional<int64_t> from = {}) const;
    // Under the exclusive lock, before a change: the counts as the records on disk have them, settled.
    TTableHeader BeginChange();
    // Writes the counts this handle made when the header on disk differs, and cuts off what they leave out.
    void Settle(const TTableHeader& onDisk, int64_t fileSize);
    void WriteHeader(TTableHeader header);
    void CheckRecordInFile(int64_t n) const;
    void ForgetWindow() { WindowCount = 0; }

    QString FPath; // for messages
    int Fd = -1;
    TTableHeader FHeader;
    std::vector<TFieldDescriptor> FDescriptors;
    TRecordLayout FLayout;
    std::vector<uint8_t> Window; // whole records WindowFirst .. WindowFirst + WindowCount - 1
    int64_t WindowFirst = 0;
    int64_t WindowCount = 0;
    bool StopWaiting = false; // a wait for the lock ran out, and no lock was had since
};
