#pragma once

#include "platform/BackgroundPool.h"

#include <QFuture>
#include <QFutureInterface>
#include <QFutureWatcher>
#include <QObject>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>

namespace tessaline {

// The way back from a worker thread to the main thread:
//
//     deliveredTo(receiver, work).then(receiver, [](const T &result) { ... });
//
// `work` finishes on whichever thread ran it; the future returned here
// finishes on the receiver's thread, and only while the receiver lives. A
// continuation attached with `then(receiver, ...)` therefore checks its
// context on the receiver's thread, where the receiver is destroyed, so the
// check can never race with the destruction (Qt 6.4 checks the context on
// the thread that finishes the future, and asserts that it still lives).
// Once the receiver is gone the future never finishes and the continuation
// is dropped unrun. Work that was cancelled finishes cancelled, which skips
// `then` continuations. The future never finishes during this call, even
// when `work` has finished already.
//
// Attach one continuation to the returned future and do the rest inside
// it: the future of a dropped continuation is cancelled, so a second
// `then(receiver, ...)` after it could run once the receiver is gone. Steps
// without the receiver belong on `work`, before it is delivered.
//
// The receiver must live on the calling thread.
template <typename T>
QFuture<T> deliveredTo(QObject *receiver, QFuture<T> work)
{
    static_assert(!std::is_void_v<T>, "deliveredTo hands on a result");
    Q_ASSERT(receiver && receiver->thread() == QThread::currentThread());
    // A future interface, not a QPromise: destroyed unfinished (with the
    // receiver) it stays unfinished, so nothing runs after the receiver.
    QFutureInterface<T> delivery;
    delivery.reportStarted();
    // The watcher is the receiver's child: Qt hands it the worker's finish
    // as an event on this thread, and it goes when the receiver goes.
    auto *watcher = new QFutureWatcher<T>(receiver);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [watcher, delivery]() mutable {
        const QFuture<T> done = watcher->future();
        if (done.isCanceled() || done.resultCount() == 0)
            delivery.reportCanceled();
        else
            delivery.reportResult(done.result());
        delivery.reportFinished();
        watcher->deleteLater();
    });
    watcher->setFuture(std::move(work));
    return delivery.future();
}

// Runs `job` on the background pool (BackgroundPool.h); its result is delivered to the
// receiver as `deliveredTo` does.
template <typename Job>
auto runInBackground(QObject *receiver, Job &&job)
{
    return deliveredTo(receiver, QtConcurrent::run(&backgroundPool(), std::forward<Job>(job)));
}

} // namespace tessaline
