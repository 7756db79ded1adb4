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

namespace detail {
// QCoro 0.8's waitFor never returns once the task throws, so the error is caught here and thrown after.
template <typename T> QCoro::Task<std::optional<T>> caught(QCoro::Task<T> task, std::exception_ptr &error) {
    try {
        co_return co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    co_return std::nullopt;
}
inline QCoro::Task<bool> caught(QCoro::Task<> task, std::exception_ptr &error) {
    try {
        co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    co_return true;
}
} // namespace detail

// QCoro::waitFor that also throws what the task threw.
template <typename T> T runTask(QCoro::Task<T> task) {
    std::exception_ptr error;
    [[maybe_unused]] auto result = QCoro::waitFor(detail::caught(std::move(task), error));
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

} // namespace lumivra::test
