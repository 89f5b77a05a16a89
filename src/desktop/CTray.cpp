#include "desktop/CTray.h"


CTray::CTray(QObject *parent)
    : QObject(parent)
    , m_icon(new QSystemTrayIcon(this))
{
    connect(m_icon, &QSystemTrayIcon::activated, this, &CTray::OnActivated);
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &CTray::BalloonClicked);
}

CTray::~CTray()
{
    DeleteIcon();
}

bool CTray::Available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CTray::SetPicBox(const QIcon &picture)
{
    m_icon->setIcon(picture);
}

QString CTray::TipText() const
{
    return m_icon->toolTip();
}

void CTray::SetTipText(const QString &text)
{
    m_icon->setToolTip(text.left(TipTextLimit));
}

bool CTray::ShowIcon()
{
    if (m_icon->icon().isNull())
        return false;
    m_icon->show();
    return true;
}

bool CTray::ShowBalloon(const QString &title, const QString &text)
{
    if (!m_icon->isVisible())
        return false;
    m_icon->showMessage(title, text, QSystemTrayIcon::Information);
    return true;
}

void CTray::SetContextMenu(QMenu *menu)
{
    m_icon->setContextMenu(menu);
}

void CTray::DeleteIcon()
{
    m_icon->hide();
}

void CTray::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        emit LButtonDblClick();
        break;
    case QSystemTrayIcon::Context:
        emit RButtonUp();
        break;
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}
