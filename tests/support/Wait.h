#pragma once

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QDeadlineTimer>
#include <chrono>
#include <exception>
#include <functional>
#include <optional>

namespace lumivra::test {

// Runs the event loop until the predicate holds or the deadline passes; returns whether it held.
inline bool waitUntil(const std::function<bool()> &predicate,
                      std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    QDeadlineTimer timer(deadline);
    while (!predicate()) {
        if (timer.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// QCoro::waitFor that also throws what the task threw: QCoro 0.8's waitFor never returns once the task
// throws, so the error is caught inside and thrown again after.
template <typename T> T runTask(QCoro::Task<T> task) {
    using Value = std::conditional_t<std::is_void_v<T>, bool, T>;
    std::exception_ptr error;
    auto caught = [](QCoro::Task<T> inner, std::exception_ptr &thrown) -> QCoro::Task<std::optional<Value>> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(inner);
                co_return true;
            } else {
                co_return co_await std::move(inner);
            }
        } catch (...) {
            thrown = std::current_exception();
        }
        co_return std::nullopt;
    };
    [[maybe_unused]] auto result = QCoro::waitFor(caught(std::move(task), error));
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

} // namespace lumivra::test
