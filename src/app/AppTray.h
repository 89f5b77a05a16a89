#pragma once

#include <QObject>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QTime>

class CTray;
class QAction;
class QMenu;
class QWidget;

// The window's icon in the notification area with its menu. The menu offers Show or Hide,
// whichever changes the window's visibility, and the quit command; a double click asks for
// the window.
class AppTray : public QObject
{
    Q_OBJECT

public:
    // window: the one the menu shows and hides; it also parents the menu.
    explicit AppTray(QWidget *window);

    // Puts the icon in the notification area with the tooltip.
    void ShowIcon(const QIcon &picture, const QString &tip);
    // The first part of the tooltip; the last arrival, when there was one, follows it.
    void SetTip(const QString &tip);
    QString Tip() const;
    // unseen: messages that arrived while the window was out of sight, drawn on the icon
    // when not 0; sender and time name the last arrival in the tooltip.
    void SetArrivals(int unseen, const QString &sender, const QTime &time);
    int Unseen() const { return m_unseen; }
    // A balloon by the icon; false where there is no icon to show it by.
    bool ShowBalloon(const QString &title, const QString &text);
    // Takes the icon away for good.
    void Remove();

signals:
    // A double click, the Show command or a click on a balloon.
    void ShowRequested();
    void QuitRequested();

private:
    void UpdateMenu();
    void UpdateIcon();

    QWidget *m_window;
    CTray *m_Tray;
    QMenu *m_mnuPopup;
    QAction *m_show;
    QAction *m_hide;
    QIcon m_picture;
    QString m_caption;
    QString m_arrival; // "last from ... at ..."
    int m_unseen = 0;
};
