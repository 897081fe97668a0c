#include "link/PortDiscovery.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace discovery {

const char* const kOver16Message = "The Cp210x driver COM port is over 16!\nPlease close the software panel,and try to "
                                   "change the Cp210x COM port under 16 at the Device Manager of your computer.";

namespace {

// k of a "ttyUSB<k>" name, or -1.
int ttyUsbIndex(const QString& name)
{
    static const QLatin1StringView kPrefix("ttyUSB");
    if (!name.startsWith(kPrefix) || name.size() == kPrefix.size() || name.size() > kPrefix.size() + 6)
        return -1;
    bool ok = false;
    const int k = name.mid(kPrefix.size()).toInt(&ok, 10);
    return ok && k >= 0 ? k : -1;
}

bool isCp210x(const QString& ttyEntry)
{
    const QFileInfo driver(ttyEntry + QStringLiteral("/device/driver"));
    if (!driver.isSymLink())
        return false;
    return QFileInfo(driver.symLinkTarget()).fileName() == QLatin1StringView("cp210x");
}

} // namespace

QStringList cp210xPortValues(const QString& sysfsRoot)
{
    const QDir ttyDir(sysfsRoot + QStringLiteral("/class/tty"));
    const QStringList names =
        ttyDir.entryList({QStringLiteral("ttyUSB*")}, QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    std::vector<int> indexes;
    for (const QString& name : names) {
        const int k = ttyUsbIndex(name);
        if (k >= 0 && isCp210x(ttyDir.filePath(name)))
            indexes.push_back(k);
    }
    std::sort(indexes.begin(), indexes.end());
    QStringList values;
    for (int k : indexes) {
        if (values.size() == kMaxBridgeEntries)
            break;
        values.append(QStringLiteral("COM%1").arg(k + 1));
    }
    return values;
}

int parsePortValue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u'C' || text[i] == u'O' || text[i] == u'M'))
        ++i;
    long long n = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        n = n * 10 + (text[i].unicode() - u'0');
        if (n > INT_MAX)
            return INT_MAX;
    }
    return static_cast<int>(n);
}

ScanDecision decideScan(const QStringList& values)
{
    ScanDecision d;
    if (values.isEmpty())
        return d;
    d.valueText = values.first();
    d.port = parsePortValue(d.valueText);
    d.kind = (d.port < kMinPort || d.port > kMaxPort) ? ScanDecision::OutOfRange : ScanDecision::UsePort;
    return d;
}

} // namespace discovery
