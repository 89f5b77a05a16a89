#include "support/HistoryRecorder.h"

HistoryRecorder::HistoryRecorder(QString path)
    : m_path(std::move(path))
{
    SetRules(m_rules);
}

void HistoryRecorder::SetRules(const Preferences &rules)
{
    m_rules = rules;
    m_store.SetLimits({rules.HistoryCount, rules.HistoryDays});
    if (m_store.IsOpen())
        m_store.Prune();
}

void HistoryRecorder::Checkpoint()
{
    if (m_store.IsOpen())
        m_store.Checkpoint();
}

HistoryStore *HistoryRecorder::OpenStore()
{
    if (m_store.IsOpen())
        return &m_store;
    return m_store.Open(m_path).isEmpty() ? &m_store : nullptr;
}

QString HistoryRecorder::Record(HistoryStore::Direction direction, const QString &peer, const QString &cipher,
                                const QByteArray &text)
{
    if (!m_rules.KeepHistory || (!cipher.isEmpty() && !m_rules.KeepEnciphered))
        return {};
    QString error = m_store.IsOpen() ? QString() : m_store.Open(m_path);
    if (error.isEmpty()) {
        HistoryStore::Entry entry;
        entry.direction = direction;
        entry.peer = peer;
        entry.cipher = cipher;
        entry.text = text;
        error = m_store.Record(entry);
    }
    if (error.isEmpty()) {
        m_failureReported = false;
        return {};
    }
    // Opened again next time: the file may have been mended or unlocked meanwhile.
    m_store.Close();
    if (m_failureReported)
        return {};
    m_failureReported = true;
    return error;
}
