#include "app/AppTray.h"

#include "desktop/CTray.h"

#include <QLocale>
#include <QPainter>
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
    connect(m_Tray, &CTray::BalloonClicked, this, &AppTray::ShowRequested);
    // Opened by the desktop itself: no event loop of ours waits while it is open.
    m_Tray->SetContextMenu(m_mnuPopup);
}

void AppTray::ShowIcon(const QIcon &picture, const QString &tip)
{
    m_picture = picture;
    m_caption = tip;
    UpdateIcon();
    m_Tray->ShowIcon();
}

void AppTray::SetTip(const QString &tip)
{
    m_caption = tip;
    UpdateIcon();
}

QString AppTray::Tip() const
{
    return m_Tray->TipText();
}

void AppTray::SetArrivals(int unseen, const QString &sender, const QTime &time)
{
    m_unseen = unseen;
    if (!sender.isEmpty())
        m_arrival = tr("last from %1 at %2").arg(sender, QLocale().toString(time, QLocale::ShortFormat));
    UpdateIcon();
}

bool AppTray::ShowBalloon(const QString &title, const QString &text)
{
    return m_Tray->ShowBalloon(title, text);
}

void AppTray::UpdateIcon()
{
    QString tip = m_caption;
    if (!m_arrival.isEmpty()) {
        const QString line = (m_unseen > 0 ? tr("%1 new, ").arg(m_unseen) : QString()) + m_arrival;
        // The tray keeps only the first characters: the caption gives way to the sender line.
        const qsizetype room = CTray::TipTextLimit - line.size() - 1;
        if (tip.size() > room)
            tip = room > 1 ? tip.left(room - 1) + QChar(0x2026) : QString();
        tip = tip.isEmpty() ? line : tip + QStringLiteral("\n") + line;
    }
    m_Tray->SetTipText(tip);
    if (m_picture.isNull())
        return;
    if (m_unseen == 0) {
        m_Tray->SetPicBox(m_picture);
        return;
    }
    // A red disc with the count in the lower right corner, drawn at each size the icon has.
    QIcon badged;
    for (const int size : {16, 32, 48}) {
        QPixmap pixmap = m_picture.pixmap(size, size);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const int disc = size * 5 / 8;
        const QRect area(size - disc, size - disc, disc, disc);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xd0, 0x20, 0x20));
        painter.drawEllipse(area);
        QFont font = painter.font();
        font.setPixelSize(disc * 3 / 4);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(area, Qt::AlignCenter, m_unseen > 9 ? QStringLiteral("9+") : QString::number(m_unseen));
        painter.end();
        badged.addPixmap(pixmap);
    }
    m_Tray->SetPicBox(badged);
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
