#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class CZaridoDovoClient;
class MessageDesk;

// One text to several destinations, one after the other over the one client; at the end a
// line that says how many answered "OK" and names the others with what went wrong.
class SendRound : public QObject
{
    Q_OBJECT

public:
    struct Destination
    {
        QString label;   // as the address box shows it
        QString address; // where it goes: "host", "host:port"
        bool found = false; // found on the network: not added to the remembered addresses
    };

    SendRound(MessageDesk &desk, CZaridoDovoClient &client, QObject *parent = nullptr);

    bool Busy() const { return m_total > 0; }
    void Start(const QList<Destination> &destinations, const QByteArray &message);

signals:
    void Sending(const SendRound::Destination &destination);
    void Finished(const QString &summary);

private:
    void Outcome(bool ok, const QString &why);
    void Next();

    MessageDesk &m_desk;
    QList<Destination> m_left;
    QString m_current;
    QByteArray m_message;
    QStringList m_failed;
    qsizetype m_total = 0;
    bool m_waiting = false;
};
