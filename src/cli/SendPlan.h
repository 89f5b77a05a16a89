#pragma once

#include "crypto/SecretBytes.h"
#include "protocol/WireFormat.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class PeerBrowser;
class QTimer;
class SendCommand;

// `textdrop-cli send` to one destination or several: names that are not addresses are looked
// for among the peers announced on the network first, then the text goes to each in turn.
// Finished gives the exit code: the single outcome, or for several "all OK", "some" or the
// first failure; the ones that did not answer OK are named on standard error.
class SendPlan : public QObject
{
    Q_OBJECT

public:
    struct Choices
    {
        int port = 0;
        int waitMilliseconds = 0;
        int replyTimeoutMilliseconds = 0;
        bool verbose = false;
        ZaridoDovo::Cipher cipher = ZaridoDovo::Cipher::Sealed;
    };

    SendPlan(const QList<QByteArray> &destinations, const Choices &choices, QObject *parent = nullptr);
    ~SendPlan() override;

    void Start(const QByteArray &message, const QByteArray &password);

signals:
    void Finished(int exitCode);

private:
    struct Target
    {
        QString typed;
        QString host;
        int port = 0;
        bool discovered = false;
        bool named = false; // waits for the network: may be a peer's announced name
    };

    bool AllNamesFound() const;
    void ResolveNames();
    void SendNext();
    void Done(int exitCode);

    QList<Target> m_targets;
    Choices m_choices;
    QByteArray m_message;
    SecretBytes m_password; // for each send in turn; locked, wiped when the plan goes
    PeerBrowser *m_browser = nullptr;
    QTimer *m_waitTimer = nullptr;
    std::unique_ptr<SendCommand> m_send;
    qsizetype m_next = 0;
    QStringList m_failed;
    int m_firstFailure = 0;
    bool m_finished = false;
};
