#include "platform/thread/protocolthread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tolver {

struct TProtocolThread::Shared {
    std::mutex m;
    std::condition_variable cv;
    std::function<void()> step;
    std::function<int()> idle;
    std::function<int()> pace;
    bool paused = true;
    bool woken = false;
    int idleMs = 0;  // the wait the last step allowed
    int paceMs = 0;  // the pause the last step asked for
    bool stop = false;
    // Bumped by Suspend and Terminate: a step handed over under an older generation
    // is dropped when it comes up.
    std::uint64_t generation = 0;
    std::uint64_t posted = 0;    // hand-overs made
    std::uint64_t finished = 0;  // hand-overs that came up (run or dropped)
};

TProtocolThread::TProtocolThread(std::function<void()> step, std::function<int()> idle, std::function<int()> pace)
    : shared_(std::make_shared<Shared>()), context_(std::make_unique<QObject>()) {
    shared_->step = std::move(step);
    shared_->idle = std::move(idle);
    shared_->pace = std::move(pace);
}

TProtocolThread::~TProtocolThread() { Terminate(); }

void TProtocolThread::Run() {
    const std::shared_ptr<Shared> s = shared_;
    QObject* const context = context_.get();
    std::unique_lock lock(s->m);
    for (;;) {
        s->cv.wait(lock, [&] { return s->stop || !s->paused; });
        if (s->stop) return;
        const std::uint64_t generation = s->generation;
        const std::uint64_t seq = ++s->posted;
        s->woken = false;
        s->idleMs = 0;
        s->paceMs = 0;
        lock.unlock();
        QMetaObject::invokeMethod(
            context,
            [s, generation, seq] {
                bool run;
                {
                    std::lock_guard l(s->m);
                    run = !s->stop && !s->paused && s->generation == generation;
                }
                int idle = 0;
                int pace = 0;
                if (run) {
                    try {
                        s->step();
                        if (s->pace) pace = s->pace();
                        if (s->idle) idle = s->idle();
                    } catch (...) {
                        // A failing step must not end the event loop's dispatch.
                    }
                }
                std::lock_guard l(s->m);
                s->idleMs = idle;
                s->paceMs = pace;
                s->finished = seq;
                s->cv.notify_all();
            },
            Qt::QueuedConnection);
        lock.lock();
        s->cv.wait(lock, [&] { return s->stop || s->finished >= seq; });
        if (s->paceMs > 0)
            s->cv.wait_for(lock, std::chrono::milliseconds(s->paceMs), [&] { return s->stop || s->paused; });
        if (s->idleMs > 0)
            s->cv.wait_for(lock, std::chrono::milliseconds(s->idleMs), [&] { return s->stop || s->paused || s->woken; });
    }
}

void TProtocolThread::Resume() {
    {
        std::lock_guard l(shared_->m);
        if (shared_->stop) return;
        shared_->paused = false;
    }
    shared_->cv.notify_all();
    if (!thread_) {
        thread_.reset(QThread::create([this] { Run(); }));
        thread_->start(static_cast<QThread::Priority>(priority_));
    }
}

void TProtocolThread::Wake() {
    {
        std::lock_guard l(shared_->m);
        shared_->woken = true;
    }
    shared_->cv.notify_all();
}

void TProtocolThread::Suspend() {
    {
        std::lock_guard l(shared_->m);
        shared_->paused = true;
        ++shared_->generation;
    }
    shared_->cv.notify_all();
}

void TProtocolThread::Terminate() {
    {
        std::lock_guard l(shared_->m);
        if (shared_->stop) return;
        shared_->stop = true;
        ++shared_->generation;
    }
    shared_->cv.notify_all();
    if (thread_) thread_->wait();
}

bool TProtocolThread::Suspended() const {
    std::lock_guard l(shared_->m);
    return shared_->paused;
}

bool TProtocolThread::Terminated() const {
    std::lock_guard l(shared_->m);
    return shared_->stop;
}

bool TProtocolThread::SetPriority(int priority) {
    if (priority < Idle || priority > TimeCritical) return false;
    priority_ = priority;
    if (thread_ && thread_->isRunning()) thread_->setPriority(static_cast<QThread::Priority>(priority));
    return true;
}

}  // namespace tolver
