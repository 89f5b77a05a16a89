#pragma once

#include "discovery/PeerBrowser.h"

#include <QObject>
#include <QTimer>

// `textdrop-cli peers`: looks on the network for a while, then prints what it found.
class PeersCommand : public QObject
{
    Q_OBJECT

public:
    PeersCommand(bool tab, QObject *parent = nullptr);

    void Start(int waitMilliseconds);

signals:
    void Finished(int exitCode);

private:
    void Print();

    PeerBrowser m_browser;
    QTimer m_wait;
    bool m_tab = false;
};
