#include "CliOutput.h"

#include <csignal>

#include "base/DurableFile.h"
#include "base/Version.h"

#include <QDir>
#include <csignal>
#include <cstdio>

QString cli::versionLine() { return QStringLiteral("zb740-cli %1").arg(QLatin1String(kVersionNumber)); }

namespace {

QString programLine(const QString& text) { return QStringLiteral("zb740-cli: ") + text; }

int printLine(const QString& line, int status)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    return status;
}

} // namespace

QString cli::errorLine(const QString& file, const QString& message)
{
    return programLine(QDir::toNativeSeparators(file) + QStringLiteral(": ") + message);
}

int cli::fail(const QString& file, const QString& message, int status)
{
    return printLine(errorLine(file, message), status);
}

int cli::error(const QString& text, int status) { return printLine(programLine(text), status); }

bool cli::isStandardOutput(const QString& output) { return output == QLatin1String("-"); }

QString cli::shownOutput(const QString& output)
{
    return isStandardOutput(output) ? QStringLiteral("standard output") : QDir::toNativeSeparators(output);
}

Status cli::openStandardOutput(QFile& out)
{
    std::fflush(stdout);
    if (!out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Status::failure(Status::Code::CannotOpen, out.errorString());
    return Status::success();
}

Status cli::writeOutput(const QString& output, const QByteArray& bytes)
{
    if (!isStandardOutput(output))
        return DurableFile::saveOrWriteThrough(output, bytes);
    QFile out;
    if (Status s = openStandardOutput(out); !s.ok())
        return s;
    return DurableFile::writeFully(out, bytes);
}

std::string cli::jsonString(const QString& text)
{
    std::string out = "\"";
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c > 0x7E) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + '"';
}

Status cli::openLineStream(const QString& target, QFile& stream)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (isStandardOutput(target))
        return openStandardOutput(stream);
    stream.setFileName(target);
    if (!stream.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return Status::failure(Status::Code::CannotOpen, stream.errorString());
    return Status::success();
}
