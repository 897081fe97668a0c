#include "data/Archive.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {

QByteArray writeText(const QByteArray& text)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    ArchiveWriter ar(buf);
    ar.writeText(text);
    EXPECT_TRUE(ar.ok());
    return buf.data();
}

} // namespace

TEST(Archive, TextLengthPrefixesAndRoundTrip)
{
    struct Case {
        qint64 length;
        QByteArray prefix;
    };
    const Case cases[] = {
        {0, QByteArray("\x00", 1)},
        {6, QByteArray("\x06")},
        {254, QByteArray("\xFE")},
        {255, QByteArray("\xFF\xFF\x00", 3)},
        {65533, QByteArray("\xFF\xFD\xFF")},
        {65534, QByteArray("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
        {70000, QByteArray("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const QByteArray text(c.length, 'x');
        const QByteArray bytes = writeText(text);
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
        EXPECT_EQ(bytes.left(c.prefix.size()), c.prefix);

        QBuffer in;
        in.setData(bytes);
        in.open(QIODevice::ReadOnly);
        ArchiveReader rd(in);
        QByteArray back;
        EXPECT_EQ(rd.readText(back, 100000), ArchiveReader::TextStatus::Ok);
        EXPECT_EQ(back, text);
    }
}

TEST(Archive, ReaderRefusesLongTruncatedAndWideTexts)
{
    using TS = ArchiveReader::TextStatus;
    struct Case {
        const char* what;
        QByteArray bytes;
        TS expected;
    };
    const Case cases[] = {
        {"length above the limit", QByteArray("\x0B") + QByteArray(11, 'a'), TS::TooLong},
        {"4 GB length", QByteArray("\xFF\xFF\xFF\xF0\xFF\xFF\xFF", 7), TS::TooLong},
        {"wide text marker", QByteArray("\xFF\xFE\xFF\x01", 4), TS::Unsupported},
        {"characters missing", QByteArray("\x06KM44"), TS::Truncated},
        {"16-bit length cut", QByteArray("\xFF\x01"), TS::Truncated},
        {"32-bit length cut", QByteArray("\xFF\xFF\xFF\x01\x00"), TS::Truncated},
        {"empty input", QByteArray(), TS::Truncated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QBuffer in;
        in.setData(c.bytes);
        in.open(QIODevice::ReadOnly);
        ArchiveReader rd(in);
        QByteArray out;
        EXPECT_EQ(rd.readText(out, 10), c.expected);
        EXPECT_TRUE(out.isEmpty());
    }
}

TEST(Archive, IntegersAndFloatsAreLittleEndian)
{
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    ArchiveWriter ar(buf);
    ar.writeInt32(-2);
    ar.writeFloat(-9000.0f);
    ar.writeByte(1);
    ASSERT_TRUE(ar.ok());
    EXPECT_EQ(buf.data(), QByteArray("\xFE\xFF\xFF\xFF\x00\xA0\x0C\xC6\x01", 9));

    buf.seek(0);
    ArchiveReader rd(buf);
    int32_t i = 0;
    float f = 0;
    uint8_t b = 0;
    ASSERT_TRUE(rd.readInt32(i) && rd.readFloat(f) && rd.readByte(b));
    EXPECT_EQ(i, -2);
    EXPECT_EQ(f, -9000.0f);
    EXPECT_EQ(b, 1);
    EXPECT_FALSE(rd.readByte(b));
}
