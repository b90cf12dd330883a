#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <utility>

namespace vxr {

// Runs callback(result) on context's thread once future has a result; never if context
// is destroyed first. Qt 6.4's QFuture::then(context, ...) asserts when the context
// dies before the future finishes, which happens whenever an owner goes away mid-
// measurement, so a watcher owned by the context carries the hand-off instead.
template <typename T, typename Callback>
void whenFinished(QFuture<T> future, QObject* context, Callback&& callback) {
    auto* watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, callback = std::forward<Callback>(callback)]() mutable {
                         watcher->deleteLater();
                         if (!watcher->isCanceled() && watcher->future().resultCount() > 0)
                             callback(watcher->result());
                     });
    watcher->setFuture(std::move(future));
}

} // namespace vxr
