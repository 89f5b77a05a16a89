#include "windows/PairedPhones.h"

#include "phone/PhoneServer.h"

#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

PairedPhones::PairedPhones(PhoneServer &server, QWidget *parent)
    : QWidget(parent), m_server(server), m_list(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("pairedPhones"));
    m_list->setHeaderLabels({tr("Paired phone"), tr("Last use")});
    m_list->setRootIsDecorated(false);
    auto *unpair = new QPushButton(tr("Unpair"), this);
    unpair->setObjectName(QStringLiteral("cmdUnpair"));
    connect(unpair, &QPushButton::clicked, this, [this] {
        if (const QTreeWidgetItem *item = m_list->currentItem())
            m_server.Unpair(item->data(0, Qt::UserRole).toByteArray());
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    layout->addWidget(unpair, 0, Qt::AlignRight);
    connect(&server, &PhoneServer::PhonesChanged, this, &PairedPhones::Fill);
    connect(&server, &PhoneServer::TextArrived, this, &PairedPhones::Fill);
    Fill();
}

void PairedPhones::Fill()
{
    m_list->clear();
    for (const PhoneServer::Phone &phone : m_server.Phones()) {
        auto *item = new QTreeWidgetItem(m_list, {phone.name, QLocale().toString(phone.lastUse, QLocale::ShortFormat)});
        item->setData(0, Qt::UserRole, phone.session);
    }
}
