// zb740-cli ports [--json]: the serial ports where a meter could be, with
// their stable names, USB ids and whether a program holds them.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "link/PortListing.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

const char kUsage[] =
    "Usage: zb740-cli ports [--json] [--sysfs-root DIR] [--dev-root DIR]\n\n"
    "Lists the USB serial ports where a meter could be (ttyUSB, then ttyACM):\n"
    "the device, the program's port number (COM num) of a ttyUSB, the USB\n"
    "vendor:product ids, whether a program holds the port (its lock file or an\n"
    "open file; with the process id) and the stable name under\n"
    "/dev/serial/by-id that stays the same when the meter is replugged. The\n"
    "meter's CP210x bridge (10c4:xxxx) is marked with a star.\n"
    "  --json            one JSON array: device, stable_name (or null), port\n"
    "                    (0 for a ttyACM), vendor_id and product_id (4 hex digits,\n"
    "                    or null), manufacturer, product, serial, driver,\n"
    "                    meter_bridge, in_use, holder (or null)\n"
    "  --sysfs-root DIR  root of the device listing (default /sys)\n"
    "  --dev-root DIR    folder of the device nodes (default /dev)\n";

QString hexId(int id)
{
    return id < 0 ? QString() : QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

std::string jsonOrNull(const QString& text)
{
    return text.isEmpty() ? std::string("null") : cli::jsonString(text);
}

std::string json(const QList<discovery::SerialPortEntry>& ports)
{
    std::string out = "[";
    for (const discovery::SerialPortEntry& p : ports) {
        if (out.size() > 1)
            out += ',';
        out += "{\"device\":" + cli::jsonString(p.device) + ",\"stable_name\":" + jsonOrNull(p.stableName)
            + ",\"port\":" + std::to_string(p.portNumber) + ",\"vendor_id\":" + jsonOrNull(hexId(p.vendorId))
            + ",\"product_id\":" + jsonOrNull(hexId(p.productId)) + ",\"manufacturer\":" + jsonOrNull(p.manufacturer)
            + ",\"product\":" + jsonOrNull(p.product) + ",\"serial\":" + jsonOrNull(p.serial)
            + ",\"driver\":" + jsonOrNull(p.driver) + ",\"meter_bridge\":" + (p.isMeterBridge() ? "true" : "false")
            + ",\"in_use\":" + (p.inUse ? "true" : "false") + ",\"holder\":" + jsonOrNull(p.holder) + '}';
    }
    return out + "]\n";
}

// Columns padded to their widest cell; the stable name, the longest, last.
QString table(const QList<discovery::SerialPortEntry>& ports)
{
    QList<QStringList> rows = {{"DEVICE", "PORT", "USB", "IN USE", "STABLE NAME"}};
    for (const discovery::SerialPortEntry& p : ports) {
        const QString usb = p.vendorId < 0 ? QStringLiteral("-")
                                           : hexId(p.vendorId) + QLatin1Char(':') + hexId(p.productId)
                + (p.isMeterBridge() ? QStringLiteral("*") : QString());
        rows.append({p.device, p.portNumber > 0 ? QString::number(p.portNumber) : QStringLiteral("-"), usb,
                     p.inUse ? QStringLiteral("yes, %1").arg(p.holder) : QStringLiteral("no"),
                     p.stableName.isEmpty() ? QStringLiteral("-") : p.stableName});
    }
    QList<int> widths(rows.first().size(), 0);
    for (const QStringList& row : rows)
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], int(row[i].size()));
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        text += line + QLatin1Char('\n');
    }
    return text;
}

} // namespace

int cli::runPorts(const QStringList& args)
{
    CommandLine line(QStringLiteral("zb740-cli ports"), QLatin1String(kUsage), versionLine());
    line.addSwitch(QStringLiteral("json"));
    line.addValue(QStringLiteral("sysfs-root"), QStringLiteral("DIR"), CommandLine::Once | CommandLine::NotEmpty);
    line.addValue(QStringLiteral("dev-root"), QStringLiteral("DIR"), CommandLine::Once | CommandLine::NotEmpty);
    if (const int status = line.process(args); status >= 0)
        return status;
    if (!line.arguments().isEmpty())
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(line.arguments().first()));
    discovery::PortRoots roots;
    if (const auto sysfs = line.value(QStringLiteral("sysfs-root")))
        roots.sysfs = *sysfs;
    if (const auto dev = line.value(QStringLiteral("dev-root")))
        roots.dev = *dev;
    const QList<discovery::SerialPortEntry> ports = discovery::listSerialPorts(roots);
    if (line.isSet(QStringLiteral("json"))) {
        std::fputs(json(ports).c_str(), stdout);
    } else if (ports.isEmpty()) {
        std::fputs("No USB serial port found: is the meter plugged in?\n", stdout);
    } else {
        std::fputs(table(ports).toUtf8().constData(), stdout);
    }
    return 0;
}
