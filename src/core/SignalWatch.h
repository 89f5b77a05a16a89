#pragma once

#include <QList>
#include <QObject>

#include <initializer_list>

class QSocketNotifier;

// Turns process signals (SIGTERM, SIGHUP: the session ending) into a Qt signal on the event
// loop. The handler only writes the number to a pipe; everything else runs later, where any
// code is safe. One watch per process.
class SignalWatch : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatch(std::initializer_list<int> numbers, QObject *parent = nullptr);
    ~SignalWatch() override;

signals:
    void Received(int number);

private:
    void Drain();

    QSocketNotifier *m_notifier = nullptr;
    QList<int> m_numbers;
};
