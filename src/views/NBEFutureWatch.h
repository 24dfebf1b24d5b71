#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <type_traits>
#include <utility>

// Runs `handler` with the future's result on `context`'s thread once the
// future finishes, unless `context` is gone by then. Qt 6.4's
// QFuture::then(context, ...) asserts when the context dies first, which a
// closing editor does routinely.
template <typename T, typename Handler>
void nbeWhenFinished(QFuture<T> future, QObject *context, Handler &&handler)
{
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, handler = std::forward<Handler>(handler)]() mutable {
                         watcher->deleteLater();
                         const QFuture<T> done = watcher->future();
                         if constexpr (std::is_void_v<T>) {
                             handler();
                         } else {
                             if (done.isCanceled() || done.resultCount() == 0)
                                 return;
                             handler(done.result());
                         }
                     });
    watcher->setFuture(std::move(future));
}
