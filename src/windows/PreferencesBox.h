#pragma once

#include "desktop/Autostart.h"

#include <QGroupBox>

struct Preferences;
class QCheckBox;
class QListWidget;
class QSpinBox;

// The settings window's box for what the program keeps and how it tells of arrivals: the
// history and its limits, notifications, the clipboard, new and blocked senders, and starting
// at log-in.
class PreferencesBox : public QGroupBox
{
    Q_OBJECT

public:
    // Filled from the record and from whether the log-in entry exists.
    PreferencesBox(const Preferences &prefs, Autostart autostart, QWidget *parent = nullptr);

    // Writes or removes the log-in entry when its box changed, then stores the fields in the
    // record. False, with the record untouched, when the entry could not be changed.
    bool Apply(Preferences &prefs);
    QString errorString() const { return m_autostart.errorString(); }

private:
    Autostart m_autostart;
    bool m_autostartWas;
    QCheckBox *chkKeepHistory;
    QCheckBox *chkKeepEnciphered;
    QSpinBox *txtHistoryCount;
    QSpinBox *txtHistoryDays;
    QSpinBox *txtHistorySize;
    QCheckBox *chkNotify;
    QCheckBox *chkCopyReceived;
    QCheckBox *chkAskNewSenders;
    QListWidget *lstBlocked;
    QCheckBox *chkAutostart;
};
