#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <QPromise>

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

// Runs `callback` on `context`'s thread once `future` has finished, with its
// result (nothing for QFuture<void>). When `context` is destroyed first, or
// the future ends cancelled without a result, the callback never runs: a late
// result can't reach an object that is gone.
template <typename T, typename Callback>
void nbeWhenFinished(const QFuture<T> &future, QObject *context, Callback &&callback)
{
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, callback = std::forward<Callback>(callback)]() mutable {
                         watcher->deleteLater();
                         const QFuture<T> finished = watcher->future();
                         if constexpr (std::is_void_v<T>) {
                             if (!finished.isCanceled())
                                 callback();
                         } else {
                             if (finished.resultCount() > 0)
                                 callback(finished.result());
                         }
                     });
    watcher->setFuture(future);
}

// A future still to be answered, and the function that answers it (once).
template <typename T> std::pair<QFuture<T>, std::function<void(const T &)>> nbePendingResult()
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    return {promise->future(), [promise](const T &value) {
                promise->addResult(value);
                promise->finish();
            }};
}
