#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <utility>

// `future.then(function)` whose cancel() also cancels `future`. Qt 6.4 does
// not pass a cancel up a chain, so without this a caller that no longer wants
// an answer could not withdraw the request behind it.
namespace NBEThenCancellableDetail {
template <typename> struct ResultOf;
template <typename U> struct ResultOf<QFuture<U>>
{
    using type = U;
};
} // namespace NBEThenCancellableDetail

template <typename T, typename Function>
auto nbeThenCancellable(QFuture<T> future, Function &&function)
{
    auto next = future.then(std::forward<Function>(function));
    using Next = typename NBEThenCancellableDetail::ResultOf<decltype(next)>::type;
    auto *watcher = new QFutureWatcher<Next>();
    QObject::connect(watcher, &QFutureWatcherBase::canceled, watcher,
                     [future]() mutable { future.cancel(); });
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, &QObject::deleteLater);
    watcher->setFuture(next);
    return next;
}
