#include "framework/Win1251.h"

#include <gtest/gtest.h>
#include <iconv.h>

namespace {

// glibc's own CP1251 converter, as an independent reference; nothing when it is not installed.
std::optional<QString> IconvDecode(uint8_t byte) {
    iconv_t converter = iconv_open("UTF-8", "CP1251");
    if (converter == iconv_t(-1))
        return std::nullopt;
    char in[1] = {char(byte)};
    char out[8] = {};
    char* inPointer = in;
    char* outPointer = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    const size_t result = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(converter);
    if (result == size_t(-1))
        return QString();
    return QString::fromUtf8(out, qsizetype(sizeof out - outLeft));
}

} // namespace

TEST(Win1251, Decode_EveryAssignedByteAsTheSystemConverterHasIt) {
    if (!IconvDecode('A'))
        GTEST_SKIP() << "glibc has no CP1251 converter here";
    for (int byte = 0; byte < 256; ++byte) {
        if (byte == 0x98)
            continue; // unassigned in the code page
        const char c = char(byte);
        EXPECT_EQ(DecodeWin1251(&c, 1), *IconvDecode(uint8_t(byte))) << "byte " << byte;
    }
    EXPECT_EQ(DecodeWin1251(QByteArray::fromHex("cff0eee1e0")), "Проба");
}

TEST(Win1251, Encode_RoundTripsEveryByteAndRefusesTheRest) {
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all.append(char(byte));
    EXPECT_EQ(EncodeWin1251(DecodeWin1251(all)), all);
    EXPECT_EQ(EncodeWin1251("Ёлка №5"), QByteArray::fromHex("a8ebeae020b935"));

    qsizetype bad = -1;
    EXPECT_EQ(EncodeWin1251("abŁ", &bad), std::nullopt);
    EXPECT_EQ(bad, 2);
    EXPECT_EQ(EncodeWin1251(QString::fromUtf8("a\xF0\x9F\x98\x80"), &bad), std::nullopt) << "outside the BMP";
    EXPECT_EQ(bad, 1);
    EXPECT_EQ(EncodeWin1251("ß"), std::nullopt) << "Latin-1 letters are not in this code page";
}
