#include "windows/PreferencesBox.h"

#include "core/Settings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

namespace {

QCheckBox *NewCheck(const char *name, const QString &caption, bool checked, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

QSpinBox *NewNumber(const char *name, int value, int maximum, const QString &suffix, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(1, maximum);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

} // namespace

PreferencesBox::PreferencesBox(const Preferences &prefs, Autostart autostart, QWidget *parent)
    : QGroupBox(tr("History and notifications"), parent)
    , m_autostart(std::move(autostart))
    , m_autostartWas(m_autostart.IsEnabled())
{
    setObjectName(QStringLiteral("FramePrefs"));
    chkKeepHistory = NewCheck("chkKeepHistory", tr("Keep history"), prefs.KeepHistory, this);
    chkKeepEnciphered = NewCheck("chkKeepEnciphered", tr("Also keep enciphered messages (stored unprotected)"),
                                 prefs.KeepEnciphered, this);
    txtHistoryCount = NewNumber("txtHistoryCount", prefs.HistoryCount, 1000000, tr(" messages"), this);
    txtHistoryDays = NewNumber("txtHistoryDays", prefs.HistoryDays, 36500, tr(" days"), this);
    txtHistorySize = NewNumber("txtHistorySize", prefs.HistoryMegabytes, 1024 * 1024, tr(" MiB"), this);
    chkNotify = NewCheck("chkNotify", tr("Notify me of messages that arrive out of sight"), prefs.Notify, this);
    chkCopyReceived = NewCheck("chkCopyReceived", tr("Copy received text to the clipboard"), prefs.CopyReceived, this);
    chkAskNewSenders = NewCheck("chkAskNewSenders", tr("Ask before showing messages from new senders"),
                                prefs.AskNewSenders, this);
    lstBlocked = new QListWidget(this);
    lstBlocked->setObjectName(QStringLiteral("lstBlocked"));
    lstBlocked->addItems(prefs.BlockedSenders);
    lstBlocked->setMaximumHeight(lstBlocked->fontMetrics().height() * 4);
    auto *unblock = new QPushButton(tr("Unblock"), this);
    unblock->setObjectName(QStringLiteral("cmdUnblock"));
    unblock->setAutoDefault(false);
    connect(unblock, &QPushButton::clicked, this, [this] { delete lstBlocked->currentItem(); });
    chkAutostart = NewCheck("chkAutostart", tr("Start Textdrop when I log in"), m_autostartWas, this);

    auto *grid = new QGridLayout(this);
    grid->addWidget(chkKeepHistory, 0, 0, 1, 6);
    grid->addWidget(chkKeepEnciphered, 1, 0, 1, 6);
    grid->addWidget(new QLabel(tr("At most"), this), 2, 0);
    grid->addWidget(txtHistoryCount, 2, 1);
    grid->addWidget(new QLabel(tr("for"), this), 2, 2);
    grid->addWidget(txtHistoryDays, 2, 3);
    grid->addWidget(new QLabel(tr("in"), this), 2, 4);
    grid->addWidget(txtHistorySize, 2, 5);
    grid->addWidget(chkNotify, 3, 0, 1, 6);
    grid->addWidget(chkCopyReceived, 4, 0, 1, 6);
    grid->addWidget(chkAskNewSenders, 5, 0, 1, 6);
    grid->addWidget(new QLabel(tr("Blocked senders:"), this), 6, 0, 1, 6);
    grid->addWidget(lstBlocked, 7, 0, 1, 5);
    grid->addWidget(unblock, 7, 5, Qt::AlignTop);
    grid->addWidget(chkAutostart, 8, 0, 1, 6);

    const auto follow = [this](bool keep) {
        for (QWidget *field : {static_cast<QWidget *>(chkKeepEnciphered), static_cast<QWidget *>(txtHistoryCount),
                               static_cast<QWidget *>(txtHistoryDays), static_cast<QWidget *>(txtHistorySize)})
            field->setEnabled(keep);
    };
    connect(chkKeepHistory, &QCheckBox::toggled, this, follow);
    follow(prefs.KeepHistory);
}

bool PreferencesBox::Apply(Preferences &prefs)
{
    const bool autostart = chkAutostart->isChecked();
    if (autostart != m_autostartWas) {
        if (!m_autostart.SetEnabled(autostart))
            return false;
        m_autostartWas = autostart;
    }
    prefs.KeepHistory = chkKeepHistory->isChecked();
    prefs.KeepEnciphered = chkKeepEnciphered->isChecked();
    prefs.HistoryCount = txtHistoryCount->value();
    prefs.HistoryDays = txtHistoryDays->value();
    prefs.HistoryMegabytes = txtHistorySize->value();
    prefs.Notify = chkNotify->isChecked();
    prefs.CopyReceived = chkCopyReceived->isChecked();
    prefs.AskNewSenders = chkAskNewSenders->isChecked();
    prefs.BlockedSenders.clear();
    for (int row = 0; row < lstBlocked->count(); ++row)
        prefs.BlockedSenders.append(lstBlocked->item(row)->text());
    return true;
}
