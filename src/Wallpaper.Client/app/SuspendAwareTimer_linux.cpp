#include "app/SuspendAwareTimer.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>

namespace lumivra {

// CLOCK_BOOTTIME keeps running while the machine sleeps, unlike the monotonic clock behind QTimer.
struct SuspendAwareTimer::Clock {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    // Only when the kernel refuses a timerfd (fd exhaustion): ticks then count awake time only.
    std::unique_ptr<QTimer> fallback;

    ~Clock() {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {
timespec toTimespec(std::chrono::milliseconds interval) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(interval);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(interval - seconds);
    return {static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
}
} // namespace

SuspendAwareTimer::SuspendAwareTimer(std::chrono::milliseconds interval, QObject *parent)
    : QObject(parent), m_clock(std::make_unique<Clock>()) {
    m_clock->fd = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    const itimerspec schedule{toTimespec(interval), toTimespec(interval)};
    if (m_clock->fd < 0 || ::timerfd_settime(m_clock->fd, 0, &schedule, nullptr) != 0) {
        m_clock->fallback = std::make_unique<QTimer>();
        m_clock->fallback->setInterval(interval);
        connect(m_clock->fallback.get(), &QTimer::timeout, this, &SuspendAwareTimer::timeout);
        m_clock->fallback->start();
        return;
    }
    m_clock->notifier = std::make_unique<QSocketNotifier>(m_clock->fd, QSocketNotifier::Read);
    connect(m_clock->notifier.get(), &QSocketNotifier::activated, this, [this] {
        // Reading resets the expiry count, however many intervals passed since the last tick.
        std::uint64_t expirations = 0;
        if (::read(m_clock->fd, &expirations, sizeof expirations) == sizeof expirations)
            emit timeout();
    });
}

SuspendAwareTimer::~SuspendAwareTimer() = default;

} // namespace lumivra
