#include "data/Archive.h"

#include <QIODevice>
#include <QtEndian>

void ArchiveWriter::writeRaw(const char* data, qint64 size)
{
    if (!ok())
        return;
    if (m_device.write(data, size) != size) {
        m_error = m_device.errorString();
        if (m_error.isEmpty())
            m_error = QStringLiteral("write failed");
    }
}

void ArchiveWriter::writeByte(uint8_t v)
{
    const char c = static_cast<char>(v);
    writeRaw(&c, 1);
}

void ArchiveWriter::writeInt32(int32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    writeRaw(b, 4);
}

void ArchiveWriter::writeFloat(float v)
{
    char b[4];
    qToLittleEndian(v, b);
    writeRaw(b, 4);
}

void ArchiveWriter::writeText(const QByteArray& text)
{
    const qint64 n = text.size();
    if (n <= 254) {
        writeByte(static_cast<uint8_t>(n));
    } else if (n <= 65533) {
        char b[3] = {char(0xFF), 0, 0};
        qToLittleEndian(static_cast<uint16_t>(n), b + 1);
        writeRaw(b, 3);
    } else {
        char b[7] = {char(0xFF), char(0xFF), char(0xFF), 0, 0, 0, 0};
        qToLittleEndian(static_cast<uint32_t>(n), b + 3);
        writeRaw(b, 7);
    }
    writeRaw(text.constData(), n);
}

bool ArchiveReader::readExact(char* dest, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 got = m_device.read(dest + done, size - done);
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

bool ArchiveReader::readByte(uint8_t& v)
{
    char c;
    if (!readExact(&c, 1))
        return false;
    v = static_cast<uint8_t>(c);
    return true;
}

bool ArchiveReader::readInt32(int32_t& v)
{
    char b[4];
    if (!readExact(b, 4))
        return false;
    v = qFromLittleEndian<int32_t>(b);
    return true;
}

bool ArchiveReader::readFloat(float& v)
{
    char b[4];
    if (!readExact(b, 4))
        return false;
    v = qFromLittleEndian<float>(b);
    return true;
}

bool ArchiveReader::readFloats(float* dest, qint64 count)
{
    if (!readExact(reinterpret_cast<char*>(dest), count * 4))
        return false;
    qFromLittleEndian<float>(dest, count, dest);
    return true;
}

ArchiveReader::TextStatus ArchiveReader::readText(QByteArray& out, qint64 maxLength)
{
    out.clear();
    uint8_t first;
    if (!readByte(first))
        return TextStatus::Truncated;
    qint64 length = first;
    if (first == 0xFF) {
        char b[4];
        if (!readExact(b, 2))
            return TextStatus::Truncated;
        length = qFromLittleEndian<uint16_t>(b);
        if (length == 0xFFFF) {
            if (!readExact(b, 4))
                return TextStatus::Truncated;
            length = qFromLittleEndian<uint32_t>(b);
        } else if (length == 0xFFFE) {
            // Marks a wide-character text, which this file never holds.
            return TextStatus::Unsupported;
        }
    }
    if (length > maxLength)
        return TextStatus::TooLong;
    out.resize(length);
    if (!readExact(out.data(), length)) {
        out.clear();
        return TextStatus::Truncated;
    }
    return TextStatus::Ok;
}

QString ArchiveReader::errorString() const
{
    return m_device.errorString();
}
