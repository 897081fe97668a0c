#pragma once
// The text of an INI file, kept as the bytes it was read as. Lookups decode
// each line as UTF-8 and follow the private-profile rules (names compared
// without regard to case, blanks around names and values ignored, a value
// in matching quotes read without them); a change rewrites its own line
// and leaves every other byte of the file as it was, whatever encoding the
// rest of the file is in and whichever line ends it uses.
#include <QByteArray>
#include <QString>

class IniText {
public:
    IniText() = default;
    explicit IniText(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    const QByteArray& bytes() const { return m_bytes; }

    // The value's leading decimal digits (after an optional sign), or the
    // default when there are none; saturates at the int range.
    int readInt(const QString& section, const QString& key, int defaultValue) const;
    // At most kMaxTextLength characters of the value, or of the default.
    QString readText(const QString& section, const QString& key, const QString& defaultValue) const;

    // The text with key set to value: an existing key is rewritten in place
    // (keeping its spelling and the line's end), a new key joins the end of
    // its section, a new section goes at the end of the file.
    IniText withText(const QString& section, const QString& key, const QString& value) const;

    static constexpr int kMaxTextLength = 260;

private:
    QByteArray m_bytes;
};
