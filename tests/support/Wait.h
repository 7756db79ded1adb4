#pragma once

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QDeadlineTimer>
#include <QEventLoop>
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
template <typename T> struct Outcome {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;
};
template <> struct Outcome<void> {
    std::exception_ptr error;
    bool done = false;
};

template <typename T> QCoro::Task<> capture(QCoro::Task<T> task, Outcome<T> *outcome, QEventLoop *loop) {
    try {
        if constexpr (std::is_void_v<T>)
            co_await std::move(task);
        else
            outcome->value.emplace(co_await std::move(task));
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
    loop->quit();
}
} // namespace detail

// Drives a coroutine to completion on this thread's event loop; returns its result or rethrows its error.
template <typename T> T runTask(QCoro::Task<T> task) {
    detail::Outcome<T> outcome;
    QEventLoop loop;
    auto runner = detail::capture<T>(std::move(task), &outcome, &loop);
    if (!outcome.done)
        loop.exec();
    if (outcome.error)
        std::rethrow_exception(outcome.error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome.value);
}

} // namespace lumivra::test
