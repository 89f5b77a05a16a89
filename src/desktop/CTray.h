#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

// One icon with a tooltip in the desktop's notification area, and the mouse actions on it
// as events. The desktop reports a single left click, a left double-click and a request
// for the context menu (the right button); the double click and the menu request are raised.
class CTray : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype TipTextLimit = 63;

    explicit CTray(QObject *parent = nullptr);
    // The menu the desktop opens itself on a request for the context menu; not taken over.
    void SetContextMenu(QMenu *menu);

    // Takes the icon away, as DeleteIcon does.
    ~CTray() override;

    // Whether the desktop has a notification area at all.
    static bool Available();

    // The icon's picture; a new picture shows at once on an icon already shown.
    void SetPicBox(const QIcon &picture);

    // At most the first 63 characters are kept.
    QString TipText() const;
    void SetTipText(const QString &text);

    // Puts the icon in the notification area. False, and nothing shown, without a picture.
    bool ShowIcon();
    void DeleteIcon();

    // A balloon message by the icon, where the desktop shows those; false without an icon shown.
    bool ShowBalloon(const QString &title, const QString &text);

signals:
    void LButtonDblClick();
    void RButtonUp();
    void BalloonClicked();

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon *m_icon = nullptr;
};
