#pragma once
// Byte-level archive of the data file: 32-bit little-endian integers and
// floats, single bytes, and texts with a length prefix (one byte up to 254;
// 0xFF + 16-bit length up to 65533; 0xFF 0xFFFF + 32-bit length beyond).
// Both directions work on a QIODevice and keep the first error they meet, so
// callers can write a whole record and check once.
#include <QByteArray>
#include <QString>
#include <cstdint>

class QIODevice;

class ArchiveWriter {
public:
    explicit ArchiveWriter(QIODevice& device) : m_device(device) {}

    void writeByte(uint8_t v);
    void writeInt32(int32_t v);
    void writeFloat(float v);
    // Single-byte characters; the text must already be in the file's encoding.
    void writeText(const QByteArray& text);
    void writeRaw(const char* data, qint64 size);

    bool ok() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }

private:
    QIODevice& m_device;
    QString m_error;
};

class ArchiveReader {
public:
    explicit ArchiveReader(QIODevice& device) : m_device(device) {}

    // Each read returns false when the device ends (or fails) before the
    // value is complete; nothing is read past that point.
    bool readByte(uint8_t& v);
    bool readInt32(int32_t& v);
    bool readFloat(float& v);
    // Reads count floats into dest in file order.
    bool readFloats(float* dest, qint64 count);

    enum class TextStatus { Ok, Truncated, TooLong, Unsupported };
    // Reads a length-prefixed text of at most maxLength characters. A longer
    // stored length is refused before anything of the text is read.
    TextStatus readText(QByteArray& out, qint64 maxLength);

    QString errorString() const;

private:
    bool readExact(char* dest, qint64 size);
    QIODevice& m_device;
};
