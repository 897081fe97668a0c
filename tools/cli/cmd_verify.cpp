// zb740-cli verify REPORT.pdf DATA.AsmDat: whether a test report was made
// from this data file. The report carries the SHA-256 of the data file's
// bytes in its document information (the keywords of its XMP packet); the
// file's own hash is compared with it.
#include "CliCommands.h"
#include "CliOutput.h"

#include "base/CommandLine.h"
#include "report/ReportFacts.h"

#include <QFile>
#include <cstdio>

namespace {

const char kUsage[] = "Usage: zb740-cli verify REPORT.pdf DATA.AsmDat\n\n"
                      "Compares the SHA-256 of the data file with the one the report carries.\n"
                      "Prints \"match\" and exits 0 when they are equal, prints \"DIFFERENT\" and\n"
                      "exits 1 when not; exits 2 when the report carries no hash or a file\n"
                      "cannot be read.\n";

// The whole file, or a message saying why it could not be read.
bool readWhole(const QString& path, QByteArray& bytes, QString& why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        return false;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        why = file.errorString();
        return false;
    }
    return true;
}

} // namespace

int cli::runVerify(const QStringList& args)
{
    CommandLine line(QStringLiteral("zb740-cli verify"), QLatin1String(kUsage), versionLine());
    if (const int status = line.process(args); status >= 0)
        return status;
    const QStringList files = line.arguments();
    if (files.size() < 2)
        return line.usageError(QStringLiteral("verify takes a report and a data file"));
    if (files.size() > 2)
        return line.usageError(QStringLiteral("unexpected argument '%1'").arg(files[2]));
    const QString report = files[0], data = files[1];

    QByteArray pdf, bytes;
    QString why;
    if (!readWhole(report, pdf, why))
        return fail(report, why, 2);
    const std::optional<QByteArray> carried = ReportFacts::hashCarried(pdf);
    if (!carried)
        return fail(report, QStringLiteral("the report carries no SHA-256 of its data"), 2);
    if (!readWhole(data, bytes, why))
        return fail(data, why, 2);
    const bool same = ReportFacts::sha256(bytes).toHex() == *carried;
    std::fputs(same ? "match\n" : "DIFFERENT\n", stdout);
    std::fflush(stdout);
    return same ? 0 : 1;
}
