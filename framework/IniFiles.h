// TIniFile: the settings file in the Windows initialisation-file format, read and written without losing
// anything a person put into it. Qt's QSettings is not used: it continues lines that end in a backslash,
// compares section names with case, and rewrites the whole file in its own order.
#pragma once

#include "framework/Exception.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

LAB_DECLARE_EXCEPTION(EIniFileException, Exception);

// Sections and keys compare without regard to case, and the first match wins (a later section or key of
// the same name is kept but never read). Values are trimmed. A write changes only the value's own bytes,
// or appends the key to its section, or appends the section to the file, and then saves the file
// atomically, so every other line keeps its bytes, order, comments and line ending. Text is UTF-8.
class TIniFile {
public:
    // A missing file reads as empty and is created by the first write. A file that exists but cannot be
    // read also reads as empty, and refuses writes so that it is never replaced by a fragment.
    explicit TIniFile(const QString& FileName);

    const QString& GetFileName() const { return FileName; }

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
    struct TLine {
        QByteArray Body;   // without the line ending
        QByteArray Ending; // "\r\n", "\n", "\r", or empty on a last line that has none
    };

    int FindSection(const QString& Section) const;
    int FindKey(int SectionLine, const QString& Ident) const;
    int SectionEnd(int SectionLine) const;
    void InsertLine(int Index, const QByteArray& Body);
    void Load();
    void Save() const;

    QString FileName;
    std::vector<TLine> Lines;
    bool HasByteOrderMark = false;
    bool Unreadable = false;
    QByteArray NewLineEnding = "\r\n"; // the file's first line ending, used for lines we add
};
