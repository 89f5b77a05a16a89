#pragma once

#include <QWidget>

class PhoneServer;
class QTreeWidget;

// The paired phones with their last use, and Unpair for the one chosen.
class PairedPhones : public QWidget
{
    Q_OBJECT

public:
    explicit PairedPhones(PhoneServer &server, QWidget *parent = nullptr);

private:
    void Fill();

    PhoneServer &m_server;
    QTreeWidget *m_list;
};
