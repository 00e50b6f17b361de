#pragma once
// Slow work (a database read, a program waited for) off the GUI thread: the work runs on a
// thread of its own and its result reaches the GUI thread as a queued call.

#include <QMetaObject>
#include <QThread>
#include <functional>
#include <memory>
#include <utility>

namespace jr {

// Starts `work` on a thread of its own and calls `done` with its result on `context`'s
// thread, unless `context` is gone by then. Whoever owns `context` waits for the returned
// thread before `context` goes, so that `work` never outlives what it reads.
template <typename Result>
std::unique_ptr<QThread> StartOffThread(QObject* context, std::function<Result()> work,
                                        std::function<void(Result)> done) {
  std::unique_ptr<QThread> thread(QThread::create([context, work = std::move(work),
                                                   done = std::move(done)]() mutable {
    QMetaObject::invokeMethod(
        context, [done = std::move(done), result = work()]() mutable { done(std::move(result)); },
        Qt::QueuedConnection);
  }));
  thread->start();
  return thread;
}

}  // namespace jr
