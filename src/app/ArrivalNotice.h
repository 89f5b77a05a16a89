#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class AppTray;
class DesktopNotifier;
class QWidget;

// Tells of arrivals the user cannot see: a desktop notification with Copy and Show (or the
// tray's balloon where no notification service answers) and a count of unseen messages on
// the tray icon, cleared when the window is shown. A window the user is looking at gets none.
class ArrivalNotice : public QObject
{
    Q_OBJECT

public:
    static constexpr int BodyLines = 3;
    static constexpr int BodyCharacters = 240;

    // window: watched for being shown; tray may be null (no icon, no balloon).
    ArrivalNotice(QWidget *window, AppTray *tray, DesktopNotifier *notifier, QObject *parent = nullptr);

    void SetEnabled(bool enabled) { m_enabled = enabled; }
    // Whether the user is looking at the window: shown, not minimised, and active.
    bool WindowInSight() const;

    void Arrived(const QString &sender, const QByteArray &text);
    void Refused(const QString &sender, const QString &description);
    // A text from a sender not known, kept aside: told even in sight, with Show and Block.
    void Stranger(const QString &sender, const QByteArray &text);
    // Something the user must learn of even while looking at the window, arrivals told or not.
    void Warn(const QString &summary, const QString &body);

    // The start of a text as a notification shows it: a few lines, plain.
    static QString Excerpt(const QString &text);

signals:
    void ShowRequested();
    // The user chose on a stranger's notification.
    void SenderShown(const QString &sender);
    void SenderBlocked(const QString &sender);
    // No notification service answered: the tray icon's balloon said it instead.
    void BalloonShown(const QString &summary, const QString &body);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OnAction(const QString &key, const QByteArray &payload);
    void OnUnavailable(const QString &summary, const QString &body);

    QWidget *m_window;
    AppTray *m_tray;
    DesktopNotifier *m_notifier;
    bool m_enabled = true;
    int m_unseen = 0;
};
