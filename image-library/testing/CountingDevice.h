// Test support: a read-only device that counts what a reader asks of the data underneath, buffered by
// QIODevice as a file is: a seek is counted as the system call it costs on a file, and a read after a seek
// outside the buffer refills it. Tests of readers count their work with it instead of timing it.
#pragma once

#include <QByteArray>
#include <QIODevice>

class TCountingDevice : public QIODevice {
public:
    // Data, then zeros up to Size (at least Data's size): a large file can be declared without holding it.
    explicit TCountingDevice(QByteArray Data, qint64 Size = 0);

    bool isSequential() const override { return false; }
    qint64 size() const override { return Size; }
    bool seek(qint64 Position) override;

    qint64 Reads = 0;     // reads issued to the data underneath
    qint64 BytesRead = 0; // bytes they gave
    qint64 Seeks = 0;     // repositionings, each a system call on a file

protected:
    qint64 readData(char* To, qint64 MaxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray Data;
    qint64 Size;
    qint64 At = 0; // of the data underneath, which QIODevice's buffer runs ahead of
};
