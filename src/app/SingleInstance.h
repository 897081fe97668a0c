#pragma once
// One window per settings folder. The first start of the window program
// for a settings folder holds a lock in the user's runtime folder and
// listens on a local socket beside it; a later start for the same folder
// (a data file double-clicked in the file manager while a run records)
// finds the lock taken, hands its data files to the running window over the
// socket, or asks it to come to the front when it has none, and exits
// instead of starting a second recorder on the same journals and settings.
//
// Both names are made of a hash of the settings folder's canonical path
// ("<runtime>/zb740-<hash>" and "<runtime>/zb740-<hash>.lock"), so starts
// for other settings folders do not see each other. The lock is an flock
// the system lets go of when its process ends however it ends, so a start
// after a crash takes it, removes the socket the crash left, and listens.
//
// The socket is a plain Unix-domain stream socket watched by the event loop;
// a request is a QDataStream (Qt 6.4) of the magic "ZB74", the version and
// the list of files, the answer one string in the same form.
#include "base/Status.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QSocketNotifier;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // runtimeDir: the user's runtime folder (XDG_RUNTIME_DIR).
    SingleInstance(const QString& settingsDir, const QString& runtimeDir, QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    enum class Role {
        First,   // the lock is this process's; it listens for later starts
        Second,  // another process holds the lock: hand over to it
        Alone    // no lock could be taken or no socket made (why: note)
    };
    Role claim(QString* note);

    // A second start: sends the files (made absolute; none asks the window
    // to come to the front) and waits for the running window's answer, a
    // line for the user.
    Status handOver(const QStringList& files, QString* answer, int timeoutMs = 30000);

    // The first start: what a later start asks. Returns the answer line;
    // called on the event loop, it must not wait for the user.
    using Handler = std::function<QString(const QStringList& files)>;
    // Requests that came before the handler was set are handed to it now.
    void setHandler(Handler handler);

    const QString& socketPath() const { return m_socketPath; }

private:
    void onNewConnection();
    void onReadable(QSocketNotifier* peer);
    void drop(QSocketNotifier* peer);
    QString answer(const QStringList& files);

    QString m_socketPath;
    QString m_lockPath;
    int m_lockFd = -1;
    int m_listenFd = -1;
    QSocketNotifier* m_listener = nullptr;
    // The later starts connected and what each has sent so far.
    QHash<QSocketNotifier*, QByteArray> m_peers;
    Handler m_handler;
    QList<QStringList> m_waiting;
};
