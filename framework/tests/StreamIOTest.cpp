#include "framework/StreamIO.h"

#include <QBuffer>
#include <gtest/gtest.h>

TEST(StreamIO, LittleEndianRoundTripThroughDevice) {
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteLE16(out, 0xBEEF));
    ASSERT_TRUE(WriteLE32(out, 0x01020304));
    out.close();
    EXPECT_EQ(bytes, QByteArray::fromHex("efbe04030201"));

    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    uint16_t w = 0;
    uint32_t d = 0;
    ASSERT_TRUE(ReadLE16(in, w));
    ASSERT_TRUE(ReadLE32(in, d));
    EXPECT_EQ(w, 0xBEEF);
    EXPECT_EQ(d, 0x01020304u);
    EXPECT_FALSE(ReadLE16(in, w)) << "nothing left to read";
}

TEST(StreamIO, ShortReadIsAFailureAndKeepsTheRestOfTheBuffer) {
    QByteArray bytes("abc");
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_FALSE(ReadExact(in, buffer, 5));
    EXPECT_EQ(buffer[3], 'x');
    EXPECT_EQ(buffer[4], 'x');
}

TEST(StreamIO, BufferHelpersReadHighBytesUnsigned) {
    const uint8_t p[4] = {0xFF, 0xFE, 0x80, 0x90};
    EXPECT_EQ(GetLE16(p), 0xFEFF);
    EXPECT_EQ(GetLE32(p), 0x9080FEFFu);
    uint8_t q[4];
    PutLE32(q, 0x9080FEFFu);
    EXPECT_EQ(0, memcmp(p, q, 4));
}
