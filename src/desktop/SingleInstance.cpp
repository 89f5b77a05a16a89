#include "desktop/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>

namespace {

const QString LockName = QStringLiteral("Textdrop.lock");
const QString SocketName = QStringLiteral("Textdrop.socket");

} // namespace

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) : folder)
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Acquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(QDir(m_folder).filePath(LockName));
    // A running copy's lock never grows stale with age; only a dead owner makes it stale.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        return false;

    // The lock is ours, so a socket file left behind belongs to a copy that is gone.
    const QString socketPath = QDir(m_folder).filePath(SocketName);
    QLocalServer::removeServer(socketPath);
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromServer();
            emit ShowRequested();
        }
    });
    m_server->listen(socketPath); // without it the copy runs all the same; only the show request is lost
    return true;
}

void SingleInstance::AskRunningCopyToShow()
{
    m_finished = false;
    m_asking = new QLocalSocket(this);
    // The connection itself is the request; the running copy closes it.
    connect(m_asking, &QLocalSocket::connected, m_asking, &QLocalSocket::disconnectFromServer);
    connect(m_asking, &QLocalSocket::disconnected, this, &SingleInstance::Finish);
    connect(m_asking, &QLocalSocket::errorOccurred, this, &SingleInstance::Finish);
    QTimer::singleShot(AskTimeoutMilliseconds, this, &SingleInstance::Finish);
    m_asking->connectToServer(QDir(m_folder).filePath(SocketName));
}

void SingleInstance::Finish()
{
    if (m_finished)
        return;
    m_finished = true;
    emit Finished();
}
