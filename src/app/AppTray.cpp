#include "app/AppTray.h"

#include "support/CTray.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

AppTray::AppTray(QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_Tray(new CTray(this))
    , m_mnuPopup(new QMenu(tr("Popup"), window))
{
    m_mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    m_show = m_mnuPopup->addAction(tr("&Show"), this, &AppTray::ShowRequested);
    m_show->setObjectName(QStringLiteral("mnuPopupItem0"));
    m_hide = m_mnuPopup->addAction(tr("&Hide"), m_window, &QWidget::hide);
    m_hide->setObjectName(QStringLiteral("mnuPopupItem1"));
    m_mnuPopup->addSeparator()->setObjectName(QStringLiteral("mnuPopupItem2"));
    QAction *remove = m_mnuPopup->addAction(tr("&Remove Textdrop"), this, &AppTray::QuitRequested);
    remove->setObjectName(QStringLiteral("mnuPopupItem3"));
    // Whoever opens the menu, it offers only the entry that changes the window's visibility.
    connect(m_mnuPopup, &QMenu::aboutToShow, this, &AppTray::UpdateMenu);

    connect(m_Tray, &CTray::LButtonDblClick, this, &AppTray::ShowRequested);
    // The tray drops further clicks while the menu is open, so a second one cannot stack.
    connect(m_Tray, &CTray::RButtonUp, this, [this] { m_mnuPopup->exec(QCursor::pos()); });
}

void AppTray::ShowIcon(const QIcon &picture, const QString &tip)
{
    m_Tray->SetPicBox(picture);
    m_Tray->SetTipText(tip);
    m_Tray->ShowIcon();
}

void AppTray::SetTip(const QString &tip)
{
    m_Tray->SetTipText(tip);
}

void AppTray::Remove()
{
    m_Tray->DeleteIcon();
}

void AppTray::UpdateMenu()
{
    const bool shown = m_window->isVisible();
    m_show->setVisible(!shown);
    m_hide->setVisible(shown);
}
