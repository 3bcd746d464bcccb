#pragma once

#include <exception>
#include <optional>
#include <utility>

#include <QEventLoop>
#include <QFutureWatcher>
#include <QtConcurrent>

namespace orvelle {

// Runs work on a worker thread and returns its result once it is done,
// while the caller's event loop goes on, so the windows keep repainting. An
// exception the work throws is thrown again here, on the calling thread,
// where the handler guard sees it.
template <class Work> auto RunInBackground(Work work) -> decltype(work())
{
    using Result = decltype(work());
    std::exception_ptr failure;
    QFuture<std::optional<Result>> future =
        QtConcurrent::run([&work, &failure]() -> std::optional<Result> {
            try {
                return work();
            } catch (...) {
                failure = std::current_exception();
                return std::nullopt;
            }
        });
    QEventLoop loop;
    QFutureWatcher<std::optional<Result>> watcher;
    QObject::connect(&watcher, &QFutureWatcher<std::optional<Result>>::finished, &loop,
                     &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    future.waitForFinished();
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*future.result());
}

} // namespace orvelle
