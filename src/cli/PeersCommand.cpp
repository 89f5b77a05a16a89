#include "cli/PeersCommand.h"

#include "cli/ExitCode.h"

#include <QDBusConnection>

#include <cstdio>

PeersCommand::PeersCommand(bool tab, QObject *parent)
    : QObject(parent)
    , m_browser(QDBusConnection::systemBus())
    , m_tab(tab)
{
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, &PeersCommand::Print);
    connect(&m_browser, &PeerBrowser::Failed, this, [this](const QString &why) {
        m_wait.stop();
        std::fprintf(stderr, "textdrop-cli: cannot look for peers: %s\n", qPrintable(why));
        emit Finished(ExitCode::NotDelivered);
    });
}

void PeersCommand::Start(int waitMilliseconds)
{
    m_wait.start(waitMilliseconds);
    m_browser.Start();
}

void PeersCommand::Print()
{
    // Names were cleaned of control characters (tabs and line ends among them) when found.
    for (const Peer &peer : m_browser.Peers()) {
        const char *sealed = peer.sealed ? "sealed" : "plain";
        if (m_tab)
            std::printf("%s\t%s\t%d\t%s\n", qPrintable(peer.name), qPrintable(peer.host), peer.port, sealed);
        else
            std::printf("%-24s %-28s %5d  %s\n", qPrintable(peer.name), qPrintable(peer.host), peer.port, sealed);
    }
    std::fflush(stdout);
    emit Finished(ExitCode::Delivered);
}
