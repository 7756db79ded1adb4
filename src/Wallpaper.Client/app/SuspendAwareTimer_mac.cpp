#include "app/SuspendAwareTimer.h"

#include <cstdint>
#include <dispatch/dispatch.h>

namespace lumivra {

// A dispatch timer on the wall clock keeps counting while the Mac sleeps, unlike the host clock behind
// QTimer. The main queue is served by the main run loop, which is Qt's event loop.
struct SuspendAwareTimer::Clock {
    dispatch_source_t source = nullptr;

    ~Clock() {
        // The handler runs on the main queue, like this destructor, so none can be half-way through.
        dispatch_source_cancel(source);
        dispatch_release(source);
    }
};

namespace {
void fire(void *context) {
    emit static_cast<SuspendAwareTimer *>(context)->timeout();
}
} // namespace

SuspendAwareTimer::SuspendAwareTimer(std::chrono::milliseconds interval, QObject *parent)
    : QObject(parent), m_clock(std::make_unique<Clock>()) {
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(interval).count();
    m_clock->source = dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0, dispatch_get_main_queue());
    dispatch_source_set_timer(m_clock->source, dispatch_walltime(nullptr, nanoseconds),
                              static_cast<std::uint64_t>(nanoseconds), 0);
    dispatch_set_context(m_clock->source, this);
    dispatch_source_set_event_handler_f(m_clock->source, &fire);
    dispatch_resume(m_clock->source);
}

SuspendAwareTimer::~SuspendAwareTimer() = default;

} // namespace lumivra
