#pragma once

#include "discovery/PeerBrowser.h"

#include <QComboBox>
#include <QStringList>

// The address box: free text with a list of remembered addresses that grows only by the
// program's rules. Enter coming up adds the text to the list unless it is listed already;
// Delete going down while a listed entry is shown removes that entry, then edits as usual.
class AddressBox : public QComboBox
{
    Q_OBJECT

public:
    explicit AddressBox(QWidget *parent = nullptr);

    // The remembered addresses; computers found on the network are not among them.
    QStringList Entries() const;
    // Appends the address unless it is listed (case-sensitive) and shows it selected.
    void AddAddress(const QString &address);
    // Lists the computers found on the network after the remembered addresses, by name and
    // address; the text typed or shown stays.
    void SetPeers(const QList<Peer> &peers);
    // The address and port of the shown peer ("192.168.1.20:30666"), or empty when the box
    // shows something else.
    QString PeerTarget() const;
    // The entries ticked in the list (Ctrl+click ticks and unticks one), to send to each:
    // label, where to send, and whether it is a computer found on the network.
    struct Ticked
    {
        QString label;
        QString address;
        bool found = false;
    };
    QList<Ticked> TickedEntries() const;
    // Whether a remembered entry is at this numeric address. Computers found on the network do
    // not count: anyone can announce one, under any name.
    bool Knows(const QString &host, quint16 defaultPort) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void KeyDown(int key);
    void KeyUp(int key);

    // An Enter release acts only after its press came here: the press of an Enter that closed
    // a message box went to that box.
    bool m_enterDown = false;
};
