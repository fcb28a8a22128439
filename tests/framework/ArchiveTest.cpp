#include <gtest/gtest.h>

#include <QBuffer>

#include "framework/Archive.h"

TEST(Archive, StoresLittleEndianIntegersAndBytes) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    {
        CArchive ar(&buf, CArchive::store, 3);  // tiny buffer: every path through WriteSlow
        ar << std::int32_t(370944) << std::int32_t(-2) << std::uint8_t(0xFF);
        ar.Write("abcdefg", 7);
        ar.Flush();
        EXPECT_EQ(ar.Position(), 16u);
    }
    const QByteArray want = QByteArray::fromHex("00a90500feffffffff") + "abcdefg";
    EXPECT_EQ(bytes, want);
}

TEST(Archive, LoadsWhatWasStoredAndThrowsAtTheEnd) {
    QByteArray bytes = QByteArray::fromHex("04000000010000ffee");
    QBuffer buf(&bytes);
    buf.open(QIODevice::ReadOnly);
    CArchive ar(&buf, CArchive::load, 2);
    std::int32_t a, b;
    std::uint8_t c;
    ar >> a >> c;
    EXPECT_EQ(a, 4);
    EXPECT_EQ(c, 1);
    EXPECT_EQ(ar.Position(), 5u);
    unsigned char rest[8];
    EXPECT_EQ(ar.Read(rest, 8), 4u);  // a short read returns what there was
    EXPECT_THROW(ar >> b, CArchiveException);
}

TEST(Archive, ReadPastTheEndIsEndOfFile) {
    QByteArray bytes = QByteArray::fromHex("010203");
    QBuffer buf(&bytes);
    buf.open(QIODevice::ReadOnly);
    CArchive ar(&buf, CArchive::load);
    std::int32_t v;
    try {
        ar >> v;
        FAIL() << "no exception";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
    }
}
