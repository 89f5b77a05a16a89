#include "core/CTimer.h"

CTimer::CTimer(QObject *parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CTimer::onTick);
}

void CTimer::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    // QTimer cannot refuse to start or stop, so there is no failure to report here.
    if (enabled)
        m_timer.start(m_interval);
    else
        m_timer.stop();
    m_enabled = enabled;
}

void CTimer::onTick()
{
    // A handler that fails on one tick must not stop the ticks that follow.
    try {
        emit Timer();
    } catch (...) {
    }
}
