#include "app/ArrivalNotice.h"

#include "app/AppTray.h"
#include "core/TextBytes.h"
#include "desktop/DesktopNotifier.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QTime>
#include <QWidget>

namespace {

const QString CopyKey = QStringLiteral("copy");
const QString ShowKey = QStringLiteral("show");
const QString ShowSenderKey = QStringLiteral("show-sender");
const QString BlockKey = QStringLiteral("block");
// What the service sends when the notification itself is clicked.
const QString DefaultKey = QStringLiteral("default");

} // namespace

ArrivalNotice::ArrivalNotice(QWidget *window, AppTray *tray, DesktopNotifier *notifier, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_tray(tray)
    , m_notifier(notifier)
{
    m_window->installEventFilter(this);
    connect(m_notifier, &DesktopNotifier::ActionInvoked, this, &ArrivalNotice::OnAction);
    connect(m_notifier, &DesktopNotifier::Unavailable, this, &ArrivalNotice::OnUnavailable);
}

bool ArrivalNotice::WindowInSight() const
{
    return m_window->isVisible() && !m_window->isMinimized() && m_window->isActiveWindow();
}

QString ArrivalNotice::Excerpt(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    const bool moreLines = lines.size() > BodyLines;
    lines = lines.mid(0, BodyLines);
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    QString excerpt = lines.join(QLatin1Char('\n'));
    const bool cut = moreLines || excerpt.size() > BodyCharacters;
    excerpt.truncate(BodyCharacters);
    return cut ? excerpt + QStringLiteral("\u2026") : excerpt;
}

void ArrivalNotice::Arrived(const QString &sender, const QByteArray &text)
{
    const bool inSight = WindowInSight();
    if (!inSight)
        ++m_unseen;
    if (m_tray)
        m_tray->SetArrivals(m_unseen, sender, QTime::currentTime());
    if (inSight || !m_enabled)
        return;
    m_notifier->Notify(tr("Message from %1").arg(sender), Excerpt(DecodeText(text)),
                       {CopyKey, tr("Copy"), ShowKey, tr("Show")}, text);
}

void ArrivalNotice::Refused(const QString &sender, const QString &description)
{
    if (WindowInSight() || !m_enabled)
        return;
    const QString who = sender.isEmpty() ? tr("A message") : tr("A message from %1").arg(sender);
    m_notifier->Notify(tr("Message refused"),
                       tr("%1 was refused.").arg(who) + QLatin1Char('\n')
                           + description.trimmed(),
                       {ShowKey, tr("Show")}, {});
}

void ArrivalNotice::Stranger(const QString &sender, const QByteArray &text)
{
    m_notifier->Notify(tr("Message from a new sender: %1").arg(sender), Excerpt(DecodeText(text)),
                       {ShowSenderKey, tr("Show"), BlockKey, tr("Block")}, sender.toUtf8());
}

void ArrivalNotice::Warn(const QString &summary, const QString &body)
{
    m_notifier->Notify(summary, body, {ShowKey, tr("Show")}, {});
}

void ArrivalNotice::OnAction(const QString &key, const QByteArray &payload)
{
    if (key == CopyKey)
        QGuiApplication::clipboard()->setText(DecodeText(payload));
    else if (key == ShowSenderKey)
        emit SenderShown(QString::fromUtf8(payload));
    else if (key == BlockKey)
        emit SenderBlocked(QString::fromUtf8(payload));
    else if (key == ShowKey || key == DefaultKey)
        emit ShowRequested();
}

void ArrivalNotice::OnUnavailable(const QString &summary, const QString &body)
{
    if (m_tray && m_tray->ShowBalloon(summary, body))
        emit BalloonShown(summary, body);
}

bool ArrivalNotice::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && m_unseen > 0
        && (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate)) {
        m_unseen = 0;
        if (m_tray)
            m_tray->SetArrivals(0, {}, {});
    }
    return QObject::eventFilter(watched, event);
}
