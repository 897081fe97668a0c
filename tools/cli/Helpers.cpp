#include "Helpers.h"

#include "CliOutput.h"
#include "HelperPaths.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace {

// The folder of the running executable, without making an application
// where the system tells it directly (Linux: the link /proc/self/exe).
QString programFolder(const char* program)
{
#if defined(Q_OS_LINUX)
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n > 0 && size_t(n) < sizeof buffer)
        return QFileInfo(QFile::decodeName(QByteArray(buffer, n))).absolutePath();
#endif
    int argc = 1;
    char* argv[] = {const_cast<char*>(program), nullptr};
    const QCoreApplication app(argc, argv);
    return QCoreApplication::applicationDirPath();
}

QString helperPath(const char* helper, const char* program)
{
    return QDir::cleanPath(programFolder(program) + QLatin1Char('/') + QLatin1String(kHelperFolderFromProgram)
                           + QLatin1Char('/') + QLatin1String(helper));
}

} // namespace

int cli::runInHelper(const char* helperName, const char* program, const QString& command, const QStringList& args)
{
    const QString helper = helperPath(helperName, program);
#if defined(Q_OS_UNIX)
    // The helper sees the program's own name as its first argument, then the
    // command and its arguments as this tool read them.
    std::vector<QByteArray> bytes;
    bytes.reserve(size_t(args.size()) + 1);
    bytes.push_back(command.toLocal8Bit());
    for (const QString& arg : args)
        bytes.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    argv.reserve(bytes.size() + 2);
    argv.push_back(const_cast<char*>(program));
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const QByteArray path = QFile::encodeName(helper);
    std::fflush(stdout);
    std::fflush(stderr);
    ::execv(path.constData(), argv.data());
    const int why = errno;
    return error(QStringLiteral("cannot run %1: %2")
                     .arg(QDir::toNativeSeparators(helper), QString::fromLocal8Bit(std::strerror(why))));
#else
    // Where a process cannot be replaced, the helper runs as a child on the
    // same standard streams and its status is passed on.
    int argc = 1;
    char* argv[] = {const_cast<char*>(program), nullptr};
    const QCoreApplication app(argc, argv);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.setInputChannelMode(QProcess::ForwardedInputChannel);
    child.start(helper, QStringList {command} + args);
    if (!child.waitForStarted(-1))
        return error(QStringLiteral("cannot run %1: %2").arg(QDir::toNativeSeparators(helper), child.errorString()));
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
#endif
}
