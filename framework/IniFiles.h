// TIniFile: the settings file in the Windows initialisation-file format, read and written without losing
// anything a person put into it. Qt's QSettings is not used: it continues lines that end in a backslash,
// compares section names with case, and rewrites the whole file in its own order.
#pragma once

#include "framework/Exception.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

LAB_DECLARE_EXCEPTION(EIniFileException, Exception);

// Sections and keys compare without regard to case, and the first match wins (a later section or key of
// the same name is kept but never read). Values are trimmed. A write changes only the value's own bytes,
// or appends the key to its section, or appends the section to the file, and then saves the file
// atomically, so every other line keeps its bytes, order, comments and line ending. Text is UTF-8.
class TIniFile {
public:
    // A missing file reads as empty and is created by the first write. A file that exists but cannot be
    // read also reads as empty, and refuses writes so that it is never replaced by a fragment. So does a
    // name of anything but a regular file, refused before it is opened: a FIFO would block the program until
    // a writer came, and a device such as /dev/zero would never end.
    explicit TIniFile(const QString& FileName);

    const QString& GetFileName() const { return FileName; }
    // Why the file that exists could not be read, or empty when it was read or is missing.
    const QString& GetReadError() const { return ReadError; }

    QString ReadString(const QString& Section, const QString& Ident, const QString& Default) const;
    // Decimal or $ hexadecimal; anything else, an empty value included, gives Default.
    int32_t ReadInteger(const QString& Section, const QString& Ident, int32_t Default) const;

    // A write starts from the file as it is at that moment, under a lock, so handles on one file (in this
    // program or another) never undo each other's writes. Raise EIniFileException when the file cannot be
    // saved, its lock cannot be had within LockWaitMs of the tick count, or a name or value would break its
    // lines: a key with "=", a leading ";" or "[", a section with "]", an empty name or one with blanks at
    // either end.
    void WriteString(const QString& Section, const QString& Ident, const QString& Value);
    void WriteInteger(const QString& Section, const QString& Ident, int32_t Value);

    static constexpr uint32_t LockWaitMs = 5000;

private:
    // A line of Text: its body, without the line ending, is [Begin, End), and the next line begins at Next.
    struct TLine {
        qsizetype Begin = 0;
        qsizetype End = 0;
        qsizetype Next = 0;
    };
    // Where a key's trimmed value lies in Text.
    struct TValue {
        qsizetype Begin = 0;
        qsizetype End = 0;
    };
    // The first key of a name in a section, and where a key of that name would be added.
    struct TKeySearch {
        std::optional<TValue> Value;
        qsizetype NewKeyAt = 0;
    };

    qsizetype FirstLineBegin() const;
    TLine LineAt(qsizetype Begin) const;
    QByteArrayView Body(const TLine& Line) const;
    std::optional<TLine> FindSection(const QString& Section) const;
    TKeySearch FindKey(const TLine& Header, const QString& Ident) const;
    void InsertLine(qsizetype At, const QByteArray& LineBody);
    void Load();
    void Save() const;

    QString FileName;
    // The file's bytes as they stand, a byte-order mark included. Lines are found by scanning it, so that a
    // handle costs no more memory than the file itself.
    QByteArray Text;
    QString ReadError;
};
