#include "core/HistoryRecorder.h"

HistoryRecorder::HistoryRecorder(QString path)
    : m_path(std::move(path))
{
    SetRules(m_rules);
}

void HistoryRecorder::SetRules(const Preferences &rules)
{
    m_rules = rules;
    m_store.SetLimits({rules.HistoryCount, rules.HistoryDays, qint64(rules.HistoryMegabytes) * 1024 * 1024});
    if (m_store.IsOpen())
        m_store.Prune();
}

void HistoryRecorder::Checkpoint()
{
    if (m_store.IsOpen() && !m_store.Checkpoint() && m_store.Damaged())
        StartAnew();
}

HistoryStore *HistoryRecorder::OpenStore()
{
    if (m_store.IsOpen())
        return &m_store;
    if (m_store.Open(m_path))
        return &m_store;
    return m_store.Damaged() && StartAnew() ? &m_store : nullptr;
}

bool HistoryRecorder::StartAnew()
{
    const QString aside = m_store.SetAside();
    m_damage = aside.isEmpty()
        ? QStringLiteral("The history %1 was damaged; a new one was started.").arg(m_path)
        : QStringLiteral("The history was damaged and has been kept as %1; a new one was started.").arg(aside);
    return m_store.Open(m_path);
}

bool HistoryRecorder::Record(HistoryStore::Direction direction, const QString &peer, const QString &cipher,
                             const QByteArray &text)
{
    if (!m_rules.KeepHistory || (!cipher.isEmpty() && !m_rules.KeepEnciphered))
        return true;
    HistoryStore::Entry entry;
    entry.direction = direction;
    entry.peer = peer;
    entry.cipher = cipher;
    entry.text = text;
    bool written = (m_store.IsOpen() || m_store.Open(m_path)) && m_store.Record(entry);
    // A damaged file is kept for whoever wants to rescue it; the history goes on in a new one.
    if (m_store.Damaged())
        written = StartAnew() && m_store.Record(entry);
    if (written) {
        m_failureReported = false;
        return true;
    }
    m_error = m_store.errorString();
    // Opened again next time: the file may have been mended or unlocked meanwhile.
    m_store.Close();
    m_failureIsNew = !m_failureReported;
    m_failureReported = true;
    return false;
}
