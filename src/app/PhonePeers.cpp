#include "app/PhonePeers.h"

#include "app/AddressBox.h"
#include "app/ArrivalNotice.h"
#include "app/MessageDesk.h"
#include "desktop/OwnerPlacement.h"
#include "phone/PhoneServer.h"
#include "windows/frmPairPhone.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

PhonePeers::PhonePeers(MessageDesk &desk, AddressBox &addresses, QWidget &window, quint16 port)
    : QObject(&window), m_desk(desk), m_addresses(addresses), m_window(window), m_port(port)
{
}

bool PhonePeers::Start()
{
    if (m_server && (m_server->Port() == m_port || !m_server->Phones().isEmpty() || (m_pairing && m_pairing->isVisible())))
        return true;
    delete m_pairing;
    delete std::exchange(m_server, nullptr);
    auto *server = new PhoneServer(PhoneServer::Limits{}, this);
    if (!server->Listen(QHostAddress::Any, m_port)) {
        emit StatusChanged(tr("Phones: port %1 - %2").arg(m_port).arg(server->errorString()));
        delete server;
        return false;
    }
    m_server = server;
    connect(server, &PhoneServer::PairingAsked, this, &PhonePeers::Ask);
    connect(server, &PhoneServer::TextArrived, this,
            [this](const QString &name, const QByteArray &text) { m_desk.Receive(text, name); });
    connect(server, &PhoneServer::TextDelivered, this, [this](const QString &name, const QByteArray &text) {
        emit StatusChanged(tr("delivered to %1").arg(name));
        m_desk.Delivered(name, text);
    });
    connect(server, &PhoneServer::PhonesChanged, this, &PhonePeers::ListPhones);
    return true;
}

bool PhonePeers::OpenPairing()
{
    if (!Start())
        return false;
    if (!m_pairing) {
        m_pairing = new frmPairPhone(*m_server, &m_window);
        PlaceOverOwner(*m_pairing);
    }
    m_pairing->show();
    m_pairing->raise();
    m_pairing->activateWindow();
    return true;
}

bool PhonePeers::Send(const QString &address, const QByteArray &text)
{
    const QByteArray session = m_server ? m_server->SessionNamed(address) : QByteArray();
    if (session.isEmpty())
        return false;
    emit StatusChanged(m_server->Queue(session, text) ? tr("waiting for the phone") : tr("Too long for the phone"));
    return true;
}

void PhonePeers::Ask(const QByteArray &session, const QString &name, const QString &from)
{
    QApplication::alert(&m_window);
    m_desk.Notice().Warn(tr("A phone asks to pair: allow?"), QStringLiteral("%1 (%2)").arg(name, from));
    auto *question = new QMessageBox(QMessageBox::Question, tr("Pair a phone"),
                                     tr("A phone asks to pair: allow?") + QStringLiteral("\n\n%1 (%2)").arg(name, from),
                                     QMessageBox::Yes | QMessageBox::No, m_pairing ? static_cast<QWidget *>(m_pairing) : &m_window);
    question->setObjectName(QStringLiteral("phoneAsks"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this,
            [this, session, question] { m_server->Answer(session, question->clickedButton() == question->button(QMessageBox::Yes)); });
    question->open();
}

void PhonePeers::ListPhones()
{
    QStringList names;
    for (const PhoneServer::Phone &phone : m_server->Phones())
        names.append(phone.name);
    for (const QString &gone : std::as_const(m_listed))
        if (!names.contains(gone))
            m_addresses.removeItem(m_addresses.findText(gone));
    for (const QString &name : std::as_const(names))
        if (!m_listed.contains(name))
            m_addresses.AddAddress(name);
    m_listed = names;
}

QStringList PhonePeers::WithoutPhones(QStringList addresses) const
{
    addresses.removeIf([this](const QString &address) { return m_listed.contains(address); });
    return addresses;
}
