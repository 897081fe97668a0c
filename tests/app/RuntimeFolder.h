#pragma once
// The user's runtime folder of the window programs a test starts: a private
// folder in the test's temporary folder, where each window keeps the lock
// and the socket that later starts for its settings folder find.
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QString>

// Makes the folder, private to the user as a runtime folder is.
inline bool makeRuntimeFolder(const QString& folder)
{
    return QDir().mkpath(folder)
        && QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// How many of the windows' sockets in the folder a window listens on.
inline int listeningWindows(const QString& folder)
{
    int n = 0;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("zb740-*")}, QDir::System)) {
        QLocalSocket probe;
        probe.connectToServer(QDir(folder).filePath(name));
        if (probe.waitForConnected(2000))
            ++n;
    }
    return n;
}
