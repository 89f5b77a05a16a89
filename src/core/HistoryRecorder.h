#pragma once

#include "core/HistoryStore.h"
#include "core/Settings.h"

#include <QByteArray>
#include <QString>

// Puts messages into the history by the user's rules: nothing when the history is off,
// enciphered ones only when allowed. The file is opened at the first write, so a history
// that is never used never touches the disk. A failure is reported once, not per message;
// another is reported after a write has succeeded again. A damaged file is set aside and a
// new history started, which Damage() tells until the program ends.
class HistoryRecorder
{
public:
    explicit HistoryRecorder(QString path);

    // After the settings changed: new limits apply at once.
    void SetRules(const Preferences &rules);

    // cipher: empty for a plain message. True when the message is in the history or the rules
    // keep it out; false with errorString() when it could not be written.
    bool Record(HistoryStore::Direction direction, const QString &peer, const QString &cipher,
                const QByteArray &text);
    QString errorString() const { return m_error; }
    // Whether the last failure is the first since a write succeeded: the one worth telling.
    bool FailureIsNew() const { return m_failureIsNew; }

    // Copies the recent writes into the file proper; for an idle moment. A file found damaged
    // is set aside then too.
    void Checkpoint();
    // The store for the history window, opened if it can be; nullptr when it cannot.
    HistoryStore *OpenStore();
    QString Path() const { return m_path; }
    // Empty, or what happened when the history was last found damaged and set aside.
    QString Damage() const { return m_damage; }

private:
    // Sets the damaged file aside and opens a new one.
    bool StartAnew();

    QString m_path;
    Preferences m_rules;
    HistoryStore m_store;
    bool m_failureReported = false;
    bool m_failureIsNew = false;
    QString m_error;
    QString m_damage;
};
