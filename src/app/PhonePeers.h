#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class AddressBox;
class MessageDesk;
class PhoneServer;
class QWidget;
class frmPairPhone;

// Phones as peers of the main window: the phone server starts the first time the user pairs
// one; a phone asking to pair is allowed or refused by the user; texts from paired phones
// arrive like any message, under the phone's name, which the address box lists; a text sent
// to that name waits for the phone's page.
class PhonePeers : public QObject
{
    Q_OBJECT

public:
    PhonePeers(MessageDesk &desk, AddressBox &addresses, QWidget &window, quint16 port);

    // The port the next start listens on; a server with no phone paired moves at its next start.
    void SetPort(quint16 port) { m_port = port; }

    // Opens the pairing window; false with the reason in the status when the port is taken.
    bool OpenPairing();
    // True when the address names a paired phone: the text is queued for it.
    bool Send(const QString &address, const QByteArray &text);
    PhoneServer *Server() const { return m_server; }
    // The addresses without the paired phones' names, which live only as long as their pairing.
    QStringList WithoutPhones(QStringList addresses) const;

signals:
    void StatusChanged(const QString &text);

private:
    bool Start();
    void Ask(const QByteArray &session, const QString &name, const QString &from);
    void ListPhones();

    MessageDesk &m_desk;
    AddressBox &m_addresses;
    QWidget &m_window;
    quint16 m_port;
    PhoneServer *m_server = nullptr;
    QPointer<frmPairPhone> m_pairing;
    QStringList m_listed; // phone names put in the address box
};
