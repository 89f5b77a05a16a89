#pragma once

#include <QObject>
#include <QString>

namespace QKeychain {
class Job;
}

// The password in the desktop's keyring (the Secret Service), under the program's name. Every
// call answers later with a signal; a locked or absent keyring answers with its reason. Never
// falls back to a file.
class PasswordKeyring : public QObject
{
    Q_OBJECT

public:
    // service: the keyring entry's name; tests give one of their own.
    explicit PasswordKeyring(const QString &service, QObject *parent = nullptr);

    void Read();
    void Write(const QString &password);
    void Forget();

signals:
    // ok false: nothing could be read (no entry, or the keyring failed: see error).
    void ReadFinished(bool ok, const QString &password, const QString &error);
    void WriteFinished(bool ok, const QString &error);

private:
    template <typename JobType> JobType *NewJob();

    QString m_service;
};
