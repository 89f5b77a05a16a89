#pragma once

#include <QObject>
#include <QTimer>

// A periodic timer: while Enabled, raises Timer once every Interval milliseconds on the
// event-loop thread. Enabling an enabled timer does not restart its period, and a new
// Interval takes effect only at the next start.
class CTimer : public QObject
{
    Q_OBJECT

public:
    explicit CTimer(QObject *parent = nullptr);

    void SetInterval(int milliseconds) { m_interval = milliseconds; }

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

signals:
    void Timer();

private:
    void onTick();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
};
