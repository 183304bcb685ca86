// Exact reads and little-endian integers over Qt devices.
#include "framework/StreamIO.h"

#include <cerrno>
#include <unistd.h>

bool ReadExact(QIODevice& device, void* buffer, qint64 count) {
    char* p = static_cast<char*>(buffer);
    while (count > 0) {
        const qint64 got = device.read(p, count);
        if (got <= 0)
            return false;
        p += got;
        count -= got;
    }
    return true;
}

bool WriteExact(QIODevice& device, const void* buffer, qint64 count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        const qint64 put = device.write(p, count);
        if (put <= 0)
            return false;
        p += put;
        count -= put;
    }
    return true;
}

bool ReadLE16(QIODevice& device, uint16_t& value) {
    uint8_t b[2];
    if (!ReadExact(device, b, 2))
        return false;
    value = GetLE16(b);
    return true;
}

bool ReadLE32(QIODevice& device, uint32_t& value) {
    uint8_t b[4];
    if (!ReadExact(device, b, 4))
        return false;
    value = GetLE32(b);
    return true;
}

bool WriteLE16(QIODevice& device, uint16_t value) {
    uint8_t b[2];
    PutLE16(b, value);
    return WriteExact(device, b, 2);
}

bool WriteLE32(QIODevice& device, uint32_t value) {
    uint8_t b[4];
    PutLE32(b, value);
    return WriteExact(device, b, 4);
}

namespace {

template <typename Byte, typename Transfer>
bool TransferAll(Transfer transfer, Byte* data, int64_t count, int64_t offset) {
    while (count > 0) {
        const ssize_t done = transfer(data, size_t(count), off_t(offset));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = 0;
            return false;
        }
        data += done;
        offset += done;
        count -= done;
    }
    return true;
}

} // namespace

bool ReadExactAt(int fd, void* buffer, int64_t count, int64_t offset) {
    return TransferAll([fd](uint8_t* p, size_t n, off_t at) { return ::pread(fd, p, n, at); },
                       static_cast<uint8_t*>(buffer), count, offset);
}

bool WriteExactAt(int fd, const void* buffer, int64_t count, int64_t offset) {
    return TransferAll([fd](const uint8_t* p, size_t n, off_t at) { return ::pwrite(fd, p, n, at); },
                       static_cast<const uint8_t*>(buffer), count, offset);
}
