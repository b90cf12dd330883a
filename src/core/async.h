#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>

#include <memory>
#include <mutex>
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

// Hands results from pool threads back to one object's thread, one posted event each: a
// watcher per result posts several and wakes that thread for each. A member of that
// object: once the relay is destroyed, results still on their way are dropped.
class ResultRelay {
public:
    explicit ResultRelay(QObject* owner)
        : m_shared(std::make_shared<Shared>(owner)) {}
    ~ResultRelay() {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->owner = nullptr;
    }
    ResultRelay(const ResultRelay&) = delete;
    ResultRelay& operator=(const ResultRelay&) = delete;

    // Runs work() on pool, then done(result) on the owner's thread, unless the owner is
    // gone by then.
    template <typename Work, typename Done>
    void run(QThreadPool* pool, Work work, Done done) const {
        pool->start([shared = m_shared, work = std::move(work), done = std::move(done)] {
            auto result = work();
            // Held while posting, so the owner cannot be destroyed in between.
            const std::lock_guard lock(shared->mutex);
            if (shared->owner)
                QMetaObject::invokeMethod(
                    shared->owner, [done, result = std::move(result)] { done(result); },
                    Qt::QueuedConnection);
        });
    }

private:
    struct Shared {
        explicit Shared(QObject* o)
            : owner(o) {}
        std::mutex mutex;
        QObject* owner;
    };
    std::shared_ptr<Shared> m_shared;
};

} // namespace vxr
