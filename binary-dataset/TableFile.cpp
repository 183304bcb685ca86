// Reading, appending, rewriting and deleting records of a table file under an open-file-description lock
// (flock), so that two handles, in one process or two, never write over each other's header.
#include "binary-dataset/TableFile.h"

#include "framework/FileStreams.h"
#include "framework/StreamIO.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// About a quarter megabyte of records per read: large enough that a scan is one read of the file in
// effect, small enough to stay in the cache while the records are copied out.
constexpr int64_t WindowBytes = 256 * 1024;

[[noreturn]] void Raise(const QString& message) {
    throw EBinaryDataSetError(message);
}

// pread and pwrite until all bytes are through; a short transfer that cannot continue is an error.
template <typename Transfer> bool TransferAll(Transfer transfer, int64_t offset, int64_t count) {
    while (count > 0) {
        const ssize_t done = transfer(size_t(count), off_t(offset));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        offset += done;
        count -= done;
    }
    return true;
}

} // namespace

class TTableFile::TLock {
public:
    TLock(int fd, int operation) : Fd(fd) {
        while (flock(Fd, operation) != 0)
            if (errno != EINTR)
                Raise(QStringLiteral("Cannot lock the table file: %1")
                          .arg(QString::fromLocal8Bit(strerror(errno))));
    }
    ~TLock() { flock(Fd, LOCK_UN); }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

private:
    int Fd;
};

TTableFile::TTableFile(const QString& path, bool readOnly) {
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
        TLock lock(Fd, readOnly ? LOCK_SH : LOCK_EX);
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
        if (!readOnly && (FHeader != onDisk || onDisk.RecordSize != FLayout.RecordSize))
            WriteHeader(FHeader);
        // A partial last record is an append cut off before anyone acknowledged it; the header can never
        // count it, and a size out of step with the counts makes other readers refuse the file.
        const int64_t end = RecordOffset(PhysicalCount());
        if (!readOnly && size > end && ftruncate(Fd, off_t(end)) != 0)
            Raise(QStringLiteral("Stream write error"));
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
        ForgetWindow();
        Window.resize(size_t(count * size));
        ReadAt(RecordOffset(first), Window.data(), count * size);
        WindowFirst = first;
        WindowCount = count;
    }
    std::memcpy(record, Window.data() + (n - WindowFirst) * size, size_t(size));
}

void TTableFile::Refresh() {
    TLock lock(Fd, LOCK_SH);
    FHeader = ReadCheckedHeader();
    ForgetWindow();
}

int64_t TTableFile::Append(const uint8_t* record) {
    TLock lock(Fd, LOCK_EX);
    TTableHeader header = ReadCheckedHeader();
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
    TLock lock(Fd, LOCK_EX);
    FHeader = ReadCheckedHeader();
    CheckRecordInFile(n);
    if (LinkWordAt(n) != 0)
        Raise(QStringLiteral("Record %1 has been deleted.").arg(n + 1));
    // The link word on disk stays 0: only the slots change.
    WriteAt(RecordOffset(n) + LinkWordSize, record + LinkWordSize, FLayout.RecordSize - LinkWordSize);
    ForgetWindow();
}

bool TTableFile::MarkDeleted(int64_t n) {
    TLock lock(Fd, LOCK_EX);
    TTableHeader header = ReadCheckedHeader();
    FHeader = header;
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

int32_t TTableFile::Create(const QString& path, const std::vector<TFieldDescriptor>& descriptors) {
    const TRecordLayout layout = CheckDescriptors(descriptors);
    const int32_t fieldCount = int32_t(descriptors.size());
    std::vector<uint8_t> bytes(size_t(TableHeaderSize + FieldDescriptorSize * fieldCount));
    EncodeHeader(NewTableHeader(fieldCount, layout.RecordSize), bytes.data());
    for (int32_t i = 0; i < fieldCount; ++i)
        EncodeDescriptor(descriptors[size_t(i)], bytes.data() + TableHeaderSize + i * FieldDescriptorSize);
    // QSaveFile would write to a link's target, even a dangling link's: a link in the table's place is
    // refused, so that the table is only ever made where it is named.
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode))
        Raise(QStringLiteral("Cannot create file \"%1\". It is a symbolic link.").arg(path));
    // QSaveFile writes a temporary file beside the table, syncs it and renames it over the old one on commit.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !WriteExact(file, bytes.data(), qint64(bytes.size())) ||
        !FlushAndCommit(file))
        Raise(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
    return layout.RecordSize;
}

int64_t TTableFile::FileSize() const {
    struct stat info {};
    if (fstat(Fd, &info) != 0)
        Raise(QStringLiteral("Stream read error"));
    return int64_t(info.st_size);
}

void TTableFile::ReadAt(int64_t offset, void* data, int64_t count) const {
    auto* p = static_cast<uint8_t*>(data);
    const auto read = [&](size_t n, off_t at) {
        const ssize_t done = ::pread(Fd, p, n, at);
        p += std::max<ssize_t>(done, 0);
        return done;
    };
    if (!TransferAll(read, offset, count))
        Raise(QStringLiteral("Stream read error"));
}

void TTableFile::WriteAt(int64_t offset, const void* data, int64_t count) {
    const auto* p = static_cast<const uint8_t*>(data);
    const auto write = [&](size_t n, off_t at) {
        const ssize_t done = ::pwrite(Fd, p, n, at);
        p += std::max<ssize_t>(done, 0);
        return done;
    };
    if (!TransferAll(write, offset, count))
        Raise(QStringLiteral("Stream write error"));
}

int32_t TTableFile::LinkWordAt(int64_t n) const {
    uint8_t link[LinkWordSize];
    ReadAt(RecordOffset(n), link, LinkWordSize);
    return int32_t(GetLE32(link));
}

TTableHeader TTableFile::ReadCheckedHeader() {
    const int64_t size = FileSize();
    uint8_t bytes[TableHeaderSize] = {};
    ReadAt(0, bytes, std::min(size, TableHeaderSize));
    const TTableHeader header = CheckHeader(bytes, size);
    // The descriptors were read at open; a table whose shape changed since is not the one this handle knows.
    if (header.FieldCount != int32_t(FDescriptors.size()))
        Raise(QStringLiteral("Invalid number of fields."));
    return CountRecords(header, size, header.PhysicalCount());
}

TTableHeader TTableFile::CountRecords(TTableHeader header, int64_t fileSize, int64_t from) const {
    const int64_t size = FLayout.RecordSize;
    const int64_t whole = CheckRecordCounts(header, FLayout.RecordSize, fileSize);
    // The header's counts stand for the records before `from`, which CheckRecordCounts keeps within it.
    int64_t live = from == 0 ? 0 : header.LiveCount;
    int64_t deleted = from == 0 ? 0 : header.DeletedCount;
    std::vector<uint8_t> block;
    for (int64_t n = from; n < whole;) {
        const int64_t count = std::min(whole - n, std::max<int64_t>(1, WindowBytes / size));
        block.resize(size_t(count * size));
        ReadAt(header.DataStart + n * size, block.data(), count * size);
        for (int64_t i = 0; i < count; ++i)
            ++(GetLE32(block.data() + i * size) == 0 ? live : deleted);
        CheckAdoptedCounts(live, deleted);
        n += count;
    }
    header.LiveCount = int32_t(live);
    header.DeletedCount = int32_t(deleted);
    return header;
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
