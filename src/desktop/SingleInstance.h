#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One running copy per user: the copy that holds a lock file in the user's runtime folder
// runs; a later copy is refused and can ask the running one to show its window.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr int AskTimeoutMilliseconds = 3000;

    // folder: where the lock and the request socket live; empty means the user's runtime folder.
    explicit SingleInstance(const QString &folder = QString(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this copy now holds the lock (a lock left by a copy that crashed is taken
    // over); it then answers show requests. False when another running copy holds it.
    bool Acquire();

    // From a refused copy: asks the running copy to show its window. Finished follows in
    // every case, at the latest after AskTimeoutMilliseconds.
    void AskRunningCopyToShow();
    // Finished has been emitted for the last request.
    bool AskFinished() const { return m_finished; }

signals:
    void ShowRequested();
    void Finished();

private:
    void Finish();

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QLocalSocket *m_asking = nullptr;
    bool m_finished = false;
};
