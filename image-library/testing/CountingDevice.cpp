#include "image-library/testing/CountingDevice.h"

#include <algorithm>
#include <cstring>

TCountingDevice::TCountingDevice(QByteArray Data, qint64 Size)
    : Data(std::move(Data)), Size(std::max(Size, qint64(this->Data.size()))) {
    open(QIODevice::ReadOnly);
}

bool TCountingDevice::seek(qint64 Position) {
    if (Position < 0 || Position > Size)
        return false;
    ++Seeks;
    At = Position;
    return QIODevice::seek(Position);
}

qint64 TCountingDevice::readData(char* To, qint64 MaxSize) {
    ++Reads;
    const qint64 n = std::clamp<qint64>(Size - At, 0, MaxSize);
    const qint64 held = std::clamp<qint64>(Data.size() - At, 0, n);
    if (held > 0)
        std::memcpy(To, Data.constData() + At, size_t(held));
    std::memset(To + held, 0, size_t(n - held));
    At += n;
    BytesRead += n;
    return n;
}
