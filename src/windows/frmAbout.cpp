#include "windows/frmAbout.h"

#include "TextdropVersion.h"
#include "desktop/LinkAction.h"
#include "desktop/cDialogRunner.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel *NewLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLabel *NewLink(const char *name, const QString &text, const QString &target, QWidget *parent)
{
    QLabel *link = NewLabel(name, text, parent);
    link->setProperty(HTMLLink::TagProperty, target);
    link->setCursor(Qt::PointingHandCursor);
    link->setMouseTracking(true);
    return link;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    const QString title = QStringLiteral(TEXTDROP_TITLE);
    if (parent)
        setWindowIcon(parent->window()->windowIcon());
    setWindowTitle(tr("About %1").arg(title));
    setMouseTracking(true);

    picIcon = NewLabel("picIcon", QString(), this);
    const QIcon icon = windowIcon().isNull() ? QApplication::windowIcon() : windowIcon();
    picIcon->setPixmap((icon.isNull() ? style()->standardIcon(QStyle::SP_MessageBoxInformation) : icon).pixmap(32, 32));
    picIcon->setFixedSize(32, 32);

    lblTitle = NewLabel("lblTitle", title + QStringLiteral(" v" TEXTDROP_VERSION), this);
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    lblCopyright = NewLabel("lblCopyright", tr("Copyright \u00A9 the %1 developers.").arg(title), this);
    Label2 = NewLabel("Label2", tr("web:"), this);
    lblQuillsoft = NewLink("lblQuillsoft", MakerSiteName, MakerSite, this);
    Label1 = NewLabel("Label1", tr("e-mail:"), this);
    lblMailTo = NewLink("lblMailTo", MakerMail, QStringLiteral("mailto:") + MakerMail, this);
    lblDisclaimer = NewLabel("lblDisclaimer", tr("This program is freeware; use it at your own risk."), this);

    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    // Default and cancel button at once: Enter and Escape (QDialog's own) both close.
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::accept);

    LayOut();
    for (QLabel *link : {lblQuillsoft, lblMailTo}) {
        link->installEventFilter(this);
        LinkAction(link, HTMLLink::ShowAsLink);
    }
    cmdOK->setFocus();
}

void frmAbout::LayOut()
{
    auto *links = new QGridLayout;
    links->addWidget(Label2, 0, 0, Qt::AlignRight);
    links->addWidget(lblQuillsoft, 0, 1);
    links->addWidget(Label1, 1, 0, Qt::AlignRight);
    links->addWidget(lblMailTo, 1, 1);
    links->setColumnStretch(2, 1);

    auto *text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblCopyright);
    text->addSpacing(8);
    text->addLayout(links);
    text->addSpacing(12);
    text->addWidget(lblDisclaimer);

    auto *okColumn = new QVBoxLayout;
    okColumn->addWidget(cmdOK);
    okColumn->addStretch(1);

    auto *window = new QHBoxLayout(this);
    window->setContentsMargins(16, 10, 7, 10);
    window->addWidget(picIcon, 0, Qt::AlignTop);
    window->addSpacing(20);
    window->addLayout(text, 1);
    window->addLayout(okColumn);
    window->setSizeConstraint(QLayout::SetFixedSize);
}

void frmAbout::Open(QWidget *parent)
{
    QPointer<frmAbout> window = new frmAbout(parent);
    cDialogRunner::Current().Exec(*window);
    delete window;
}

void frmAbout::MouseOver(QLabel *link)
{
    // Leave the other link first, so that only one is ever red.
    LinkAction(link == lblQuillsoft ? lblMailTo : lblQuillsoft, HTMLLink::MouseLeft);
    LinkAction(link, HTMLLink::MouseOver);
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    auto *link = qobject_cast<QLabel *>(watched);
    if (link != lblQuillsoft && link != lblMailTo)
        return QDialog::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::MouseMove:
        MouseOver(link);
        // Kept from the window, which would take the move for one over its background.
        return true;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && link->rect().contains(mouse->position().toPoint())) {
            LinkAction(link, HTMLLink::Follow, this);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::mouseMoveEvent(QMouseEvent *event)
{
    LinkAction(lblQuillsoft, HTMLLink::MouseLeft);
    LinkAction(lblMailTo, HTMLLink::MouseLeft);
    QDialog::mouseMoveEvent(event);
}
