#include "windows/frmIPAddress.h"

#include "core/TCPTable.h"
#include "desktop/cDialog.h"
#include "desktop/cDialogRunner.h"

#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

frmIPAddress::frmIPAddress(const QStringList &addresses, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , Label1(new QLabel(tr("Select IP Address:"), this))
    , ListView1(new QListWidget(this))
    , cmdSelect(new QPushButton(tr("Select"), this))
{
    setWindowTitle(tr("Available IP's"));
    if (parent)
        setWindowIcon(parent->window()->windowIcon());

    Label1->setObjectName(QStringLiteral("Label1"));
    ListView1->setObjectName(QStringLiteral("ListView1"));
    cmdSelect->setObjectName(QStringLiteral("cmdSelect"));

    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->addItems(addresses);
    if (ListView1->count() > 0)
        ListView1->setCurrentRow(0);
    // Enter takes the selected line, like a click on "Select".
    cmdSelect->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 6, 3, 6);
    layout->addWidget(Label1);
    layout->addWidget(ListView1, 1);
    layout->addWidget(cmdSelect, 0, Qt::AlignHCenter);
    cmdSelect->setMinimumWidth(73);
    ListView1->setFixedSize(150, 90); // a handful of addresses without scrolling
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(ListView1, cmdSelect);
    ListView1->setFocus();

    connect(cmdSelect, &QPushButton::clicked, this, &frmIPAddress::onSelect);
}

void frmIPAddress::onSelect()
{
    const QListWidgetItem *item = ListView1->currentItem();
    m_selected = item && item->isSelected() ? item->text() : QString();
    accept();
}

std::optional<QString> frmIPAddress::Pick(QWidget *parent)
{
    const LocalAddresses local = FillIPList();
    if (!local.TableSupported)
        cDialog::ShowMessage(parent, tr("IP Helper is not supported by this system."));

    QPointer<frmIPAddress> picker = new frmIPAddress(local.IPList, parent);
    const int result = cDialogRunner::Current().Exec(*picker);
    std::optional<QString> picked;
    if (picker && result == QDialog::Accepted)
        picked = picker->SelectedAddress();
    delete picker;
    return picked;
}
