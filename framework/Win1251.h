// The single-byte Windows-1251 code page in which the table files keep their text (Russian in practice).
// Every conversion between stored bytes and QString goes through here.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Every byte decodes; the one byte the code page leaves unassigned (0x98) becomes U+0098 so that it survives
// a round trip.
QString DecodeWin1251(const char* bytes, qsizetype count);
inline QString DecodeWin1251(const QByteArray& bytes) {
    return DecodeWin1251(bytes.constData(), bytes.size());
}

// Nothing when some character has no byte in the code page: callers refuse such text rather than store a
// substitute. `badIndex`, when given, receives the position of the first such character.
std::optional<QByteArray> EncodeWin1251(const QString& text, qsizetype* badIndex = nullptr);

// The first character a text field of a table cannot hold, or -1: one without a byte in the code page, or a
// NUL, which would end the stored text there.
qsizetype FirstUnstorableCharacter(const QString& text);

// The character at `index` as a user can tell it: «ё» (U+0451), a character beyond 16 bits whole («😀»
// (U+1F600)), and one that does not print by its code alone (U+0000).
QString DescribeCharacter(const QString& text, qsizetype index);
