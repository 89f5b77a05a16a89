#pragma once

#include <QObject>
#include <QPointer>

class CTray;
class QAction;
class QIcon;
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
    void SetTip(const QString &tip);
    // Takes the icon away for good.
    void Remove();

signals:
    void ShowRequested();
    void QuitRequested();

private:
    void UpdateMenu();

    QWidget *m_window;
    CTray *m_Tray;
    QMenu *m_mnuPopup;
    QAction *m_show;
    QAction *m_hide;
};
