#include "desktop/PasswordKeyring.h"

#include <qt6keychain/keychain.h>

namespace {

const QString Key = QStringLiteral("password");

} // namespace

PasswordKeyring::PasswordKeyring(const QString &service, QObject *parent)
    : QObject(parent)
    , m_service(service)
{
}

template <typename JobType> JobType *PasswordKeyring::NewJob()
{
    auto *job = new JobType(m_service, this);
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // a password in a plain file would defeat the keyring
    job->setKey(Key);
    return job;
}

void PasswordKeyring::Read()
{
    auto *job = NewJob<QKeychain::ReadPasswordJob>();
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        const bool ok = job->error() == QKeychain::NoError;
        emit ReadFinished(ok, ok ? QString::fromUtf8(job->binaryData()) : QString(), ok ? QString() : job->errorString());
    });
    job->start();
}

void PasswordKeyring::Write(const QString &password)
{
    auto *job = NewJob<QKeychain::WritePasswordJob>();
    job->setBinaryData(password.toUtf8());
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        emit WriteFinished(job->error() == QKeychain::NoError, job->errorString());
    });
    job->start();
}

void PasswordKeyring::Forget()
{
    auto *job = NewJob<QKeychain::DeletePasswordJob>();
    job->start();
}
