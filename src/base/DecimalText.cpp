#include "base/DecimalText.h"

#include <QString>
#include <cmath>

namespace decimal {

double parseLeading(QStringView text)
{
    // Sign, digits, optional fraction, optional exponent: the longest such
    // prefix after leading blanks, as a C string-to-number reading would take.
    const QStringView s = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        ++i;
    const qsizetype digitsStart = i;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128)
        ++i;
    bool any = i > digitsStart;
    if (i < n && s[i] == u'.') {
        const qsizetype f = ++i;
        while (i < n && s[i].isDigit() && s[i].unicode() < 128)
            ++i;
        any = any || i > f;
    }
    if (!any)
        return 0.0;
    qsizetype end = i;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            ++j;
        const qsizetype e = j;
        while (j < n && s[j].isDigit() && s[j].unicode() < 128)
            ++j;
        if (j > e)
            end = j;
    }
    bool ok = false;
    const double v = s.left(end).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

} // namespace decimal
