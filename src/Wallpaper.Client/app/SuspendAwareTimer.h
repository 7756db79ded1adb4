#pragma once

#include <QObject>
#include <chrono>
#include <memory>

namespace lumivra {

// A repeating timer on the main event loop that counts time spent asleep: a machine suspended across a
// tick gets that tick right after it wakes, not one whole interval later. Ticks missed while asleep or
// while the loop was busy are reported once, not made up one by one.
// The timer runs from construction, first tick one interval later, and stops when destroyed.
class SuspendAwareTimer : public QObject {
    Q_OBJECT
public:
    explicit SuspendAwareTimer(std::chrono::milliseconds interval, QObject *parent = nullptr);
    ~SuspendAwareTimer() override;

signals:
    void timeout();

private:
    struct Clock;
    std::unique_ptr<Clock> m_clock;
};

} // namespace lumivra
