#pragma once
// Copies a text's characters into a panel's own string instead of sharing
// the sender's buffer: the recorder rewrites its strings in place, and a
// buffer shared with a panel would make it allocate a new one each time.
#include <QString>
#include <algorithm>

// Returns true when dst changed.
inline bool copyText(QString& dst, const QString& src)
{
    if (dst == src)
        return false;
    if (!dst.isDetached() || dst.capacity() < src.size()) {
        QString fresh;
        fresh.reserve(std::max<qsizetype>(src.size(), 16));
        dst = std::move(fresh);
    }
    dst.resize(src.size());
    std::copy(src.cbegin(), src.cend(), dst.begin());
    return true;
}
