#include "cli/SendPlan.h"

#include "cli/ExitCode.h"
#include "cli/SendCommand.h"
#include "discovery/PeerBrowser.h"
#include "discovery/TypedAddress.h"

#include <QDBusConnection>
#include <QTimer>

#include <cstdio>

SendPlan::SendPlan(const QList<QByteArray> &destinations, const Choices &choices, QObject *parent)
    : QObject(parent)
    , m_choices(choices)
{
    for (const QByteArray &destination : destinations) {
        Target target;
        target.typed = QString::fromLocal8Bit(destination);
        TypedAddress typed;
        if (typed.Parse(target.typed, choices.port)) {
            target.host = typed.Host();
            target.port = typed.Port();
        }
        // A number is an address; anything else may be a name announced on the network.
        target.named = !typed.IsNumeric();
        m_targets += target;
    }
}

SendPlan::~SendPlan() = default;

void SendPlan::Start(const QByteArray &message, const QByteArray &password)
{
    m_message = message;
    m_password = SecretBytes(std::string_view(password.constData(), static_cast<std::size_t>(password.size())));
    if (AllNamesFound())
        return SendNext();
    m_browser = new PeerBrowser(QDBusConnection::systemBus(), this);
    m_waitTimer = new QTimer(this);
    m_waitTimer->setSingleShot(true);
    connect(m_waitTimer, &QTimer::timeout, this, &SendPlan::ResolveNames);
    connect(m_browser, &PeerBrowser::Failed, this, &SendPlan::ResolveNames);
    connect(m_browser, &PeerBrowser::SettledDown, this, &SendPlan::ResolveNames);
    connect(m_browser, &PeerBrowser::PeersChanged, this, [this] {
        QHash<QString, int> found;
        for (const Peer &peer : m_browser->Peers())
            ++found[peer.name];
        for (const Target &target : std::as_const(m_targets)) {
            if (target.named && found.value(target.typed) != 1)
                return;
        }
        ResolveNames(); // every name is there: no need to wait longer
    });
    m_waitTimer->start(m_choices.waitMilliseconds);
    m_browser->Start();
}

bool SendPlan::AllNamesFound() const
{
    return std::none_of(m_targets.begin(), m_targets.end(), [](const Target &target) { return target.named; });
}

void SendPlan::ResolveNames()
{
    if (!m_browser || m_next > 0 || m_send)
        return;
    const QList<Peer> peers = m_browser->Peers();
    for (Target &target : m_targets) {
        if (!target.named)
            continue;
        QList<Peer> matches;
        for (const Peer &peer : peers) {
            if (peer.name == target.typed)
                matches += peer;
        }
        if (matches.size() == 1) {
            target.host = matches[0].host;
            target.port = matches[0].port;
            target.discovered = true;
        } else if (matches.size() > 1) {
            target.host.clear(); // never guess between two computers of one name
            std::fprintf(stderr, "textdrop-cli: %d peers on the network are called %s\n", int(matches.size()),
                         qPrintable(target.typed));
        }
        target.named = false;
    }
    m_waitTimer->stop();
    m_browser->disconnect(this); // a change already on its way must not come back here
    m_browser->deleteLater();
    m_browser = nullptr;
    SendNext();
}

void SendPlan::SendNext()
{
    if (m_next == m_targets.size()) {
        const qsizetype failed = m_failed.size();
        if (m_targets.size() > 1 && failed > 0) {
            std::fprintf(stderr, "textdrop-cli: %d of %d answered OK; not: %s\n", int(m_targets.size() - failed),
                         int(m_targets.size()), qPrintable(m_failed.join(QStringLiteral(", "))));
        }
        if (failed == 0)
            return Done(ExitCode::Delivered);
        return Done(failed < m_targets.size() ? ExitCode::Partly : m_firstFailure);
    }
    const Target target = m_targets[m_next++];
    const auto outcome = [this, typed = target.typed](int code) {
        if (code != ExitCode::Delivered) {
            m_failed += typed;
            if (m_firstFailure == 0)
                m_firstFailure = code;
        }
        // Not from inside the finishing command's own signal.
        QTimer::singleShot(0, this, &SendPlan::SendNext);
    };
    if (target.host.isEmpty()) {
        TypedAddress typed;
        typed.Parse(target.typed, m_choices.port);
        std::fprintf(stderr, "textdrop-cli: %s: no peer of that name, and %s\n", qPrintable(target.typed),
                     qPrintable(typed.errorString().isEmpty() ? QStringLiteral("no single one") : typed.errorString()));
        return outcome(ExitCode::Usage);
    }
    m_send = std::make_unique<SendCommand>(m_choices.verbose, m_choices.replyTimeoutMilliseconds);
    if (m_targets.size() > 1 || target.discovered)
        m_send->Describe(target.typed, target.discovered);
    connect(m_send.get(), &SendCommand::Finished, this, outcome, Qt::QueuedConnection);
    const std::string_view password = m_password.View();
    m_send->Start(target.host, target.port, m_message,
                  QByteArray::fromRawData(password.data(), static_cast<qsizetype>(password.size())), m_choices.cipher);
}

void SendPlan::Done(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit Finished(exitCode);
}
