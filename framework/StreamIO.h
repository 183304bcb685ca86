// Exact reads and little-endian integers over Qt devices and byte buffers.
#pragma once

#include <QIODevice>
#include <cstdint>

// True only when all `count` bytes arrived; a short read leaves the rest of `buffer` untouched.
bool ReadExact(QIODevice& device, void* buffer, qint64 count);
bool WriteExact(QIODevice& device, const void* buffer, qint64 count);

// pread and pwrite of all `count` bytes at `offset` of a file descriptor, going on after interruptions;
// false when the transfer comes up short (errno tells why, or is 0 at the end of the file).
bool ReadExactAt(int fd, void* buffer, int64_t count, int64_t offset);
bool WriteExactAt(int fd, const void* buffer, int64_t count, int64_t offset);

constexpr uint16_t GetLE16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
constexpr uint32_t GetLE32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

bool ReadLE16(QIODevice& device, uint16_t& value);
bool ReadLE32(QIODevice& device, uint32_t& value);
bool WriteLE16(QIODevice& device, uint16_t value);
bool WriteLE32(QIODevice& device, uint32_t value);
