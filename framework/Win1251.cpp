// Windows-1251: ASCII below 0x80, a mixed block of Serbian, Macedonian, Ukrainian and Belarusian letters and
// punctuation in 0x80..0xBF, and the Russian alphabet А..я in order from 0xC0.
#include "framework/Win1251.h"

#include <cstdint>

namespace {

constexpr char16_t HighHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98 (unassigned, kept as itself)
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

constexpr char16_t CodeToUnicode(uint8_t byte) {
    if (byte < 0x80)
        return byte;
    if (byte < 0xC0)
        return HighHalf[byte - 0x80];
    return char16_t(0x0410 + (byte - 0xC0));
}

// The reverse lookup for the 64 irregular characters; the regular ranges are computed.
std::optional<uint8_t> UnicodeToCode(char16_t c) {
    if (c < 0x80)
        return uint8_t(c);
    if (c >= 0x0410 && c <= 0x044F)
        return uint8_t(0xC0 + (c - 0x0410));
    for (int i = 0; i < 64; ++i)
        if (HighHalf[i] == c)
            return uint8_t(0x80 + i);
    return std::nullopt;
}

} // namespace

QString DecodeWin1251(const char* bytes, qsizetype count) {
    QString text(count, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < count; ++i)
        out[i] = QChar(CodeToUnicode(uint8_t(bytes[i])));
    return text;
}

std::optional<QByteArray> EncodeWin1251(const QString& text, qsizetype* badIndex) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const std::optional<uint8_t> code = UnicodeToCode(text[i].unicode());
        if (!code) {
            if (badIndex)
                *badIndex = i;
            return std::nullopt;
        }
        bytes[i] = char(*code);
    }
    return bytes;
}

qsizetype FirstUnstorableCharacter(const QString& text) {
    qsizetype bad = text.indexOf(QChar(0));
    const qsizetype searched = bad < 0 ? text.size() : bad;
    qsizetype unencodable = -1;
    if (!EncodeWin1251(text.left(searched), &unencodable))
        return unencodable;
    return bad;
}

QString DescribeCharacter(const QString& text, qsizetype index) {
    const bool pair =
        index + 1 < text.size() && text[index].isHighSurrogate() && text[index + 1].isLowSurrogate();
    const char32_t code = pair ? QChar::surrogateToUcs4(text[index], text[index + 1]) : text[index].unicode();
    const QString number = QStringLiteral("U+%1").arg(QString::number(uint(code), 16).toUpper(), 4, u'0');
    if (!QChar::isPrint(code))
        return number;
    return QStringLiteral("«%1» (%2)").arg(text.mid(index, pair ? 2 : 1), number);
}
