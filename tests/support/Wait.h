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
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    std::exception_ptr error;
    QCoro::waitFor([](QCoro::Task<T> inner, auto &value, std::exception_ptr &thrown) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>)
                co_await std::move(inner);
            else
                value = co_await std::move(inner);
        } catch (...) {
            thrown = std::current_exception();
        }
    }(std::move(task), result, error));
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

} // namespace lumivra::test
