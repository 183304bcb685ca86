// Reading, appending, rewriting and deleting records of a table file under an open-file-description lock
// (flock), so that two handles, in one process or two, never write over each other's header.
#include "binary-dataset/TableFile.h"

#include "framework/FileStreams.h"
#include "framework/StreamIO.h"
#include "framework/TickCount.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// About a quarter megabyte of records per read: large enough that a scan is one read of the file in
// effect, small enough to stay in the cache while the records are copied out.
constexpr int64_t WindowBytes = 256 * 1024;

// Changes hold the lock for a few writes: a short pause between tries costs a waiting reader little.
constexpr std::chrono::milliseconds LockRetryInterval{5};

[[noreturn]] void Raise(const QString& message) {
    throw EBinaryDataSetError(message);
}

// The kernel tells the mask in the process's status; setting and restoring it instead would hand another
// thread's new file the wrong mode for that moment.
mode_t CurrentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (QByteArray line; !(line = status.readLine()).isEmpty();)
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
    return 022;
}

// The deleted records of a scan and the records their link words name: each deletion links its record to the
// chain head before it, so the record deleted last is one that no other record links to.
class TDeletedRecords {
public:
    void Add(int64_t n, int32_t link, int64_t physicalCount) {
        Marks.resize(size_t(physicalCount));
        Links.emplace_back(n, link);
        Marks[size_t(n)] |= Deleted;
        if (link >= 1 && link <= physicalCount)
            Marks[size_t(link - 1)] |= Named;
    }

    // The head a cut deletion left out: the record no one links to that links to `head` as a deletion does
    // (to -1 when the head is out of range, as a deletion then starts a new chain). `head` itself when it is
    // a deleted record no one links to, or when no record fits: nothing is made up.
    int32_t LastDeleted(int32_t head) const {
        const bool inRange = head >= 1 && size_t(head) <= Marks.size();
        if (inRange && Marks[size_t(head - 1)] == Deleted)
            return head;
        const int32_t expected = inRange ? head : -1;
        int32_t found = head;
        for (const auto& [n, link] : Links)
            if (link == expected && !(Marks[size_t(n)] & Named))
                found = int32_t(n + 1);
        return found;
    }

private:
    enum : uint8_t { Deleted = 1, Named = 2 };
    std::vector<std::pair<int64_t, int32_t>> Links; // physical number and link word of each deleted record
    std::vector<uint8_t> Marks;                     // by physical number
};

} // namespace

class TTableFile::TLock {
public:
    // Tries at once and then every few milliseconds: flock alone would wait forever for a program that hangs
    // while it holds the lock. A wait that runs out sets `stopWaiting`; from then on each lock is tried once
    // until one is had, so that a grid repainting a hundred cells waits the limit once, not a hundred times.
    TLock(int fd, int operation, const QString& path, bool& stopWaiting) : Fd(fd) {
        const auto tryLock = [&] {
            if (flock(Fd, operation | LOCK_NB) == 0)
                return true;
            // An interrupted call is only "not yet": some network and FUSE mounts interrupt every one.
            if (errno == EWOULDBLOCK || errno == EINTR)
                return false;
            if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL)
                Raise(QStringLiteral("Файловая система не поддерживает блокировку файла таблицы \"%1\": "
                                     "две программы не могут работать с ним вместе.")
                          .arg(path));
            Raise(QStringLiteral("Не удаётся заблокировать файл таблицы \"%1\": %2")
                      .arg(path, QString::fromLocal8Bit(strerror(errno))));
        };
        const bool locked = stopWaiting ? tryLock() : RetryFor(TableLockWaitMs, LockRetryInterval, tryLock);
        stopWaiting = !locked;
        if (!locked)
            Raise(QStringLiteral("Файл таблицы \"%1\" занят другой программой. Попробуйте ещё раз позже.")
                      .arg(path));
    }
    ~TLock() { flock(Fd, LOCK_UN); }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

private:
    int Fd;
};

TTableFile::TTableFile(const QString& path, bool readOnly) : FPath(path) {
    // O_NONBLOCK only so that a FIFO in the table's place cannot hang the open; it is refused below.
    Fd = ::open(QFile::encodeName(path).constData(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK);
    if (Fd < 0) {
        if (errno == ENOENT)
            Raise(QStringLiteral("Open: Table file not found"));
        Raise(
            QStringLiteral("Cannot open file \"%1\". %2").arg(path, QString::fromLocal8Bit(strerror(errno))));
    }
    try {
        struct stat info {};
        if (fstat(Fd, &info) != 0 || !S_ISREG(info.st_mode))
            Raise(QStringLiteral("Not a binary data set file."));
        // A writable handle may have to correct the header, so it takes the lock that allows it at once.
        TLock lock(Fd, readOnly ? LOCK_SH : LOCK_EX, FPath, StopWaiting);
        const int64_t size = FileSize();
        uint8_t bytes[TableHeaderSize] = {};
        ReadAt(0, bytes, std::min(size, TableHeaderSize));
        const TTableHeader onDisk = CheckHeader(bytes, size);
        // CheckHeader bounded the field count by the file size: this allocation is at most the file.
        std::vector<uint8_t> raw(size_t(onDisk.FieldCount * FieldDescriptorSize));
        ReadAt(TableHeaderSize, raw.data(), int64_t(raw.size()));
        for (int32_t i = 0; i < onDisk.FieldCount; ++i)
            FDescriptors.push_back(DecodeDescriptor(raw.data() + i * FieldDescriptorSize));
        FLayout = LayoutOf(FDescriptors);
        // Every link word, not only those beyond the counts: a deletion cut off between its link word and
        // its header leaves counts that only a scan can put right.
        FHeader = CountRecords(onDisk, size, 0);
        CheckSlotWidths(FDescriptors);
        if (!readOnly)
            Settle(onDisk, size);
    } catch (...) {
        ::close(Fd);
        throw;
    }
}

TTableFile::~TTableFile() {
    ::close(Fd);
}

void TTableFile::ReadRecord(int64_t n, uint8_t* record) {
    const int64_t size = FLayout.RecordSize;
    if (n < WindowFirst || n >= WindowFirst + WindowCount) {
        CheckRecordInFile(n);
        const int64_t perWindow = std::max<int64_t>(1, WindowBytes / size);
        // Moving backwards, the window ends at n; otherwise it starts there.
        const int64_t first = n < WindowFirst ? std::max<int64_t>(0, n - perWindow + 1) : n;
        const int64_t count = std::min(perWindow, PhysicalCount() - first);
        // Under the shared lock, so that no record is read while a change is half-way through it. The
        // records read before stay while the lock cannot be had: a grid keeps showing them.
        TLock lock(Fd, LOCK_SH, FPath, StopWaiting);
        ForgetWindow();
        Window.resize(size_t(count * size));
        ReadAt(RecordOffset(first), Window.data(), count * size);
        WindowFirst = first;
        WindowCount = count;
    }
    std::memcpy(record, Window.data() + (n - WindowFirst) * size, size_t(size));
}

void TTableFile::Refresh() {
    TLock lock(Fd, LOCK_SH, FPath, StopWaiting);
    const int64_t size = FileSize();
    FHeader = CountRecords(ReadCheckedHeader(size), size);
    ForgetWindow();
}

int64_t TTableFile::Append(const uint8_t* record) {
    TLock lock(Fd, LOCK_EX, FPath, StopWaiting);
    TTableHeader header = BeginChange();
    CheckAdoptedCounts(header.LiveCount + 1, header.DeletedCount);
    const int64_t n = header.PhysicalCount();
    const int64_t offset = RecordOffset(n);
    try {
        // The record first: a header that counts it must never come before it.
        WriteAt(offset, record, FLayout.RecordSize);
        header.LiveCount += 1;
        WriteHeader(header);
    } catch (...) {
        // Cut back a short or failed write: no partial or uncounted record may stay behind. If even that
        // fails, the next writable open cuts off a partial record and counts a whole one.
        [[maybe_unused]] const int ignored = ftruncate(Fd, off_t(offset));
        throw;
    }
    return n;
}

void TTableFile::Rewrite(int64_t n, const uint8_t* record) {
    TLock lock(Fd, LOCK_EX, FPath, StopWaiting);
    BeginChange();
    CheckRecordInFile(n);
    if (LinkWordAt(n) != 0)
        Raise(QStringLiteral("Record %1 has been deleted.").arg(n + 1));
    // The link word on disk stays 0: only the slots change.
    WriteAt(RecordOffset(n) + LinkWordSize, record + LinkWordSize, FLayout.RecordSize - LinkWordSize);
    ForgetWindow();
}

bool TTableFile::MarkDeleted(int64_t n) {
    TLock lock(Fd, LOCK_EX, FPath, StopWaiting);
    TTableHeader header = BeginChange();
    CheckRecordInFile(n);
    if (LinkWordAt(n) != 0)
        return false;
    // A chain head out of range (a damaged header) starts a new chain: a link word of 0 would revive the
    // record.
    const bool headInRange = header.ChainHead >= 1 && header.ChainHead <= header.PhysicalCount();
    uint8_t link[LinkWordSize];
    PutLE32(link, uint32_t(headInRange ? header.ChainHead : -1));
    WriteAt(RecordOffset(n), link, LinkWordSize);
    header.ChainHead = int32_t(n + 1);
    header.DeletedCount += 1;
    header.LiveCount = std::max(0, header.LiveCount - 1);
    WriteHeader(header);
    ForgetWindow();
    return true;
}

int32_t TTableFile::Create(const QString& path, const std::vector<TFieldDescriptor>& descriptors,
                           bool replace) {
    const TRecordLayout layout = CheckDescriptors(descriptors);
    const int32_t fieldCount = int32_t(descriptors.size());
    std::vector<uint8_t> bytes(size_t(TableHeaderSize + FieldDescriptorSize * fieldCount));
    EncodeHeader(NewTableHeader(fieldCount, layout.RecordSize), bytes.data());
    for (int32_t i = 0; i < fieldCount; ++i)
        EncodeDescriptor(descriptors[size_t(i)], bytes.data() + TableHeaderSize + i * FieldDescriptorSize);
    const auto fail = [&](const QString& why) {
        Raise(QStringLiteral("Cannot create file \"%1\". %2").arg(path, why));
    };
    const QByteArray name = QFile::encodeName(path);
    // A link in the table's place is refused, so that the table is only ever made where it is named.
    struct stat info {};
    const bool exists = lstat(name.constData(), &info) == 0;
    if (exists && S_ISLNK(info.st_mode))
        fail(QStringLiteral("It is a symbolic link."));
    if (exists && !replace)
        fail(QStringLiteral("It already exists."));
    // The table is written beside its place, synced, and only then renamed into it, so that no one ever
    // opens half a table. A new table gets the mode any new file gets, a replacement keeps the old one's.
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open() || !WriteExact(file, bytes.data(), qint64(bytes.size())) || !file.flush())
        fail(file.errorString());
    const mode_t mode = exists ? info.st_mode & 07777 : 0666 & ~CurrentUmask();
    if (fchmod(file.handle(), mode) != 0 || fsync(file.handle()) != 0)
        fail(QString::fromLocal8Bit(strerror(errno)));
    // The old table stays locked while it is replaced: no change of another handle is cut in half, and each
    // finds at its next change that the table was replaced.
    const int oldFd =
        exists && S_ISREG(info.st_mode) ? ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK) : -1;
    const auto closeOld = qScopeGuard([oldFd] {
        if (oldFd >= 0)
            ::close(oldFd);
    });
    bool stopWaiting = false;
    std::optional<TLock> lock;
    if (oldFd >= 0)
        lock.emplace(oldFd, LOCK_EX, path, stopWaiting);
    // A table another program made meanwhile is never replaced unasked.
    const bool renamed = exists
                             ? rename(QFile::encodeName(file.fileName()).constData(), name.constData()) == 0
                             : RenameNoReplace(file.fileName(), path);
    if (!renamed)
        fail(errno == EEXIST ? QStringLiteral("It already exists.")
                             : QString::fromLocal8Bit(strerror(errno)));
    file.setAutoRemove(false);
    return layout.RecordSize;
}

int64_t TTableFile::FileSize() const {
    struct stat info {};
    if (fstat(Fd, &info) != 0)
        Raise(QStringLiteral("Stream read error"));
    return int64_t(info.st_size);
}

void TTableFile::ReadAt(int64_t offset, void* data, int64_t count) const {
    if (!ReadExactAt(Fd, data, count, offset))
        Raise(QStringLiteral("Stream read error"));
}

void TTableFile::WriteAt(int64_t offset, const void* data, int64_t count) {
    if (!WriteExactAt(Fd, data, count, offset))
        Raise(QStringLiteral("Stream write error"));
}

int32_t TTableFile::LinkWordAt(int64_t n) const {
    uint8_t link[LinkWordSize];
    ReadAt(RecordOffset(n), link, LinkWordSize);
    return int32_t(GetLE32(link));
}

TTableHeader TTableFile::ReadCheckedHeader(int64_t fileSize) const {
    uint8_t bytes[TableHeaderSize] = {};
    ReadAt(0, bytes, std::min(fileSize, TableHeaderSize));
    const TTableHeader header = CheckHeader(bytes, fileSize);
    // The descriptors were read at open; a table whose shape changed since is not the one this handle knows.
    if (header.FieldCount != int32_t(FDescriptors.size()))
        Raise(QStringLiteral("Invalid number of fields."));
    return header;
}

TTableHeader TTableFile::CountRecords(TTableHeader header, int64_t fileSize,
                                      std::optional<int64_t> from) const {
    const int64_t size = FLayout.RecordSize;
    const int64_t whole = CheckRecordCounts(header, FLayout.RecordSize, fileSize);
    const int64_t counted = header.PhysicalCount();
    const int64_t first = from.value_or(counted);
    // The header's counts stand for the records before `first`, which CheckRecordCounts keeps within it.
    int64_t live = first == 0 ? 0 : header.LiveCount;
    int64_t deleted = first == 0 ? 0 : header.DeletedCount;
    // Past the counts, records of nothing but zero bytes were never written by anyone (a sparse file, blocks
    // a crash left zeroed): they are taken in only when a record that holds data follows them.
    int64_t zeros = 0;
    TDeletedRecords chain;
    std::vector<uint8_t> block;
    for (int64_t n = first; n < whole;) {
        if (n >= counted) {
            // Holes read as zeros: skip them without reading, so that a huge sparse tail costs nothing.
            const int64_t offset = header.DataStart + n * size;
            const off_t data = lseek(Fd, off_t(offset), SEEK_DATA);
            if (data < 0 && errno == ENXIO)
                break;
            if (data > offset) {
                const int64_t skipped = std::min(whole - n, (int64_t(data) - offset) / size);
                zeros += skipped;
                n += skipped;
                if (n == whole)
                    break;
            }
        }
        const int64_t count = std::min(whole - n, std::max<int64_t>(1, WindowBytes / size));
        block.resize(size_t(count * size));
        ReadAt(header.DataStart + n * size, block.data(), count * size);
        for (int64_t i = 0; i < count; ++i) {
            const uint8_t* record = block.data() + i * size;
            if (n + i >= counted && std::all_of(record, record + size, [](uint8_t b) { return b == 0; })) {
                ++zeros;
                continue;
            }
            live += zeros;
            zeros = 0;
            const int32_t link = int32_t(GetLE32(record));
            ++(link == 0 ? live : deleted);
            if (link != 0 && first == 0)
                chain.Add(n + i, link, whole);
        }
        CheckAdoptedCounts(live, deleted);
        n += count;
    }
    // Counts that disagree with a scan of every record betray a deletion cut off between its link word and
    // its header: its record is then the one deleted last.
    if (first == 0 && (live != header.LiveCount || deleted != header.DeletedCount))
        header.ChainHead = chain.LastDeleted(header.ChainHead);
    header.LiveCount = int32_t(live);
    header.DeletedCount = int32_t(deleted);
    return header;
}

TTableHeader TTableFile::BeginChange() {
    // A change to a table that was replaced or removed since it was opened would be lost without a word.
    struct stat named {};
    struct stat own {};
    if (stat(QFile::encodeName(FPath).constData(), &named) != 0 || fstat(Fd, &own) != 0 ||
        named.st_dev != own.st_dev || named.st_ino != own.st_ino)
        Raise(
            QStringLiteral("The table file \"%1\" was replaced or removed by another program. Open it again.")
                .arg(FPath));
    const int64_t size = FileSize();
    const TTableHeader onDisk = ReadCheckedHeader(size);
    FHeader = CountRecords(onDisk, size);
    Settle(onDisk, size);
    return FHeader;
}

void TTableFile::Settle(const TTableHeader& onDisk, int64_t fileSize) {
    if (FHeader != onDisk || onDisk.RecordSize != FLayout.RecordSize)
        WriteHeader(FHeader);
    // A partial last record is an append cut off before anyone acknowledged it, and zero records past the
    // counts were never written: the header can never count them, and a size out of step with the counts
    // makes other readers refuse the file.
    const int64_t end = RecordOffset(PhysicalCount());
    if (fileSize > end && ftruncate(Fd, off_t(end)) != 0)
        Raise(QStringLiteral("Stream write error"));
}

void TTableFile::WriteHeader(TTableHeader header) {
    header.RecordSize = FLayout.RecordSize;
    uint8_t bytes[TableHeaderSize];
    EncodeHeader(header, bytes);
    WriteAt(0, bytes, TableHeaderSize);
    FHeader = header;
}

void TTableFile::CheckRecordInFile(int64_t n) const {
    if (n < 0 || n >= PhysicalCount())
        Raise(QStringLiteral("Record %1 is not in the table file.").arg(n + 1));
}
