#include "windows/frmLog.h"

#include "desktop/OwnerPlacement.h"
#include "windows/TextBoxLogView.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

frmLog::frmLog(QWidget *owner)
    : QWidget(owner, Qt::Window)
    , m_txtLog(new QPlainTextEdit(this))
    , m_view(std::make_unique<TextBoxLogView>(m_txtLog))
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(tr("Log"));
    if (owner)
        setWindowIcon(owner->windowIcon());

    m_txtLog->setObjectName(QStringLiteral("txtLog"));
    m_txtLog->setReadOnly(true); // the endpoints' record, not the user's
    m_txtLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtLog->setMinimumSize(0, 0);

    // One pixel of margin at the left, right and bottom, none at the top.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 0, 1, 1);
    layout->addWidget(m_txtLog);
    resize(452, 213);
}

frmLog::~frmLog() = default;

LogView *frmLog::TextBoxView() const
{
    return m_view.get();
}

void frmLog::AllowClose()
{
    m_closeAllowed = true;
}

void frmLog::closeEvent(QCloseEvent *event)
{
    if (m_closeAllowed) {
        event->accept();
        return;
    }
    hide();
    if (QWidget *owner = parentWidget(); owner && owner->isVisible())
        owner->activateWindow();
    event->ignore();
}

void frmLog::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        PlaceOverOwner(*this);
    }
    QWidget::showEvent(event);
}
