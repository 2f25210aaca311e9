#include "platform/thread/protocolthread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <stdexcept>

namespace tolver {
namespace {

using Clock = std::chrono::steady_clock;

// A wait for work is cut to this: far beyond any deadline of an engine.
constexpr std::chrono::hours kLongestWait{24};

}  // namespace

// The thread sleeps in poll on two descriptors: an eventfd that others write to wake
// it (a step that wants its successor at once, Wake, input, Resume, Suspend,
// Terminate) and a timerfd armed for the time the next one is due: by the creating
// thread at the end of a step, and by whoever ends a wait early (Wake, input) for the
// end of its pause. So a step with a deadline costs the thread one wake, not one for
// the end of the step, or for the input, and another for the deadline.
struct TProtocolThread::Shared {
    enum class Phase { Ready, Stepping, Waiting, Pausing };

    Shared() {
        kick = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
        if (kick < 0 || timer < 0) {
            Close();
            throw std::runtime_error("protocol thread: no eventfd or timerfd");
        }
    }
    ~Shared() { Close(); }
    void Close() {
        if (kick >= 0) ::close(kick);
        if (timer >= 0) ::close(timer);
    }

    // Both with m held.
    void Kick() {
        const std::uint64_t one = 1;
        (void)!::write(kick, &one, sizeof one);
    }
    void ArmAt(Clock::time_point at) {
        // steady_clock is CLOCK_MONOTONIC here.
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
        itimerspec spec{};
        spec.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
        spec.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
        if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0) spec.it_value.tv_nsec = 1;
        (void)::timerfd_settime(timer, TFD_TIMER_ABSTIME, &spec, nullptr);
    }
    void Disarm() {
        const itimerspec off{};
        (void)::timerfd_settime(timer, 0, &off, nullptr);
    }
    // The pause of the next step from `from`; Ready when it has passed.
    void PauseFrom(Clock::time_point from, Clock::time_point now) {
        pauseUntil = from + next.pause;
        if (pauseUntil > now) {
            phase = Phase::Pausing;
            ArmAt(pauseUntil);
        } else {
            phase = Phase::Ready;
            Disarm();  // a wait ended early leaves no wake behind
        }
    }
    // A wait for work ended early (Wake, input), on whatever thread ended it: the pause
    // from the end of the step follows, on the timer, so that the thread wakes once,
    // when the step is due, not also to learn that the wait is over.
    void EndWait(Clock::time_point now) {
        PauseFrom(stepEnd, now);
        if (phase == Phase::Ready) Kick();
    }

    std::mutex m;
    int kick = -1;
    int timer = -1;
    std::function<void()> step;
    std::function<TStepWait()> wait;
    bool paused = true;
    bool stop = false;
    Phase phase = Phase::Ready;
    bool woken = false;  // Wake since the last hand-over
    bool input = false;  // input since the last hand-over
    TStepWait next;      // what the last step asked for
    Clock::time_point stepEnd, waitUntil, pauseUntil;
    bool resumed = false;  // the next step is the first after a Resume
    // Bumped by Suspend and Terminate: a step handed over under an older generation
    // is dropped when it comes up, and a wait under one ends.
    std::uint64_t generation = 0;
    // Touched on the creating thread only: the wait before the step that runs.
    std::chrono::microseconds waited{0};
};

TProtocolThread::TProtocolThread(std::function<void()> step, std::function<TStepWait()> wait)
    : shared_(std::make_shared<Shared>()), context_(std::make_unique<QObject>()) {
    shared_->step = std::move(step);
    shared_->wait = std::move(wait);
}

TProtocolThread::~TProtocolThread() { Terminate(); }

void TProtocolThread::Run() {
    const std::shared_ptr<Shared> s = shared_;
    QObject* const context = context_.get();
    using Phase = Shared::Phase;
    for (;;) {
        {
            std::unique_lock lock(s->m);
            if (s->stop) return;
            const Clock::time_point now = Clock::now();
            // A wait ended early has been turned into its pause by whoever ended it.
            if (!s->paused && s->phase == Phase::Waiting && now >= s->waitUntil)
                s->PauseFrom(now, now);  // ran its full time: the whole pause follows
            if (!s->paused && s->phase == Phase::Pausing && now >= s->pauseUntil) s->phase = Phase::Ready;
            if (!s->paused && s->phase == Phase::Ready) {
                const std::uint64_t generation = s->generation;
                const std::chrono::microseconds before =
                    s->resumed ? std::chrono::microseconds{0}
                               : std::chrono::duration_cast<std::chrono::microseconds>(now - s->stepEnd);
                s->resumed = false;
                s->woken = false;
                s->input = false;
                s->next = {};
                s->phase = Phase::Stepping;
                lock.unlock();
                QMetaObject::invokeMethod(
                    context,
                    [s, generation, before] {
                        bool run;
                        {
                            std::lock_guard l(s->m);
                            run = !s->stop && !s->paused && s->generation == generation;
                        }
                        TStepWait next;
                        if (run) {
                            s->waited = before;
                            try {
                                s->step();
                                if (s->wait) next = s->wait();
                            } catch (...) {
                                // A failing step must not end the event loop's dispatch.
                                next = {};
                            }
                            s->waited = std::chrono::microseconds{0};
                        }
                        std::lock_guard l(s->m);
                        s->next = next;
                        s->stepEnd = Clock::now();
                        if (!run || s->generation != generation) {
                            s->phase = Phase::Ready;  // the thread waits for a Resume, or goes on
                            s->next = {};
                            s->Kick();
                        } else if (next.longest > std::chrono::milliseconds{0}) {
                            s->phase = Phase::Waiting;
                            s->waitUntil = s->stepEnd + std::min<std::chrono::milliseconds>(next.longest, kLongestWait);
                            s->ArmAt(s->waitUntil);
                            if (s->woken || (next.input && s->input)) s->EndWait(s->stepEnd);
                        } else {
                            s->PauseFrom(s->stepEnd, s->stepEnd);
                            if (s->phase == Phase::Ready) s->Kick();
                        }
                    },
                    Qt::QueuedConnection);
                continue;  // the step ends by arming the timer or kicking
            }
        }
        pollfd fds[2] = {{s->kick, POLLIN, 0}, {s->timer, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;  // EINTR
        std::uint64_t drained;
        if (fds[0].revents & POLLIN) (void)!::read(s->kick, &drained, sizeof drained);
        if (fds[1].revents & POLLIN) (void)!::read(s->timer, &drained, sizeof drained);
    }
}

void TProtocolThread::Resume() {
    {
        std::lock_guard l(shared_->m);
        if (shared_->stop) return;
        if (shared_->paused) shared_->resumed = true;  // no wait is counted across a suspension
        shared_->paused = false;
        shared_->woken = true;  // the steps go on now, whatever the last one waited for
        if (shared_->phase == Shared::Phase::Waiting) shared_->EndWait(Clock::now());
        shared_->Kick();
    }
    if (!thread_) {
        thread_.reset(QThread::create([this] { Run(); }));
        thread_->start(static_cast<QThread::Priority>(priority_));
    }
}

void TProtocolThread::Wake() {
    std::lock_guard l(shared_->m);
    shared_->woken = true;
    if (shared_->phase == Shared::Phase::Waiting) shared_->EndWait(Clock::now());
}

std::function<void()> TProtocolThread::InputNotifier() const {
    return [s = shared_] {
        std::lock_guard l(s->m);
        s->input = true;
        if (s->phase == Shared::Phase::Waiting && s->next.input) s->EndWait(Clock::now());
    };
}

void TProtocolThread::Suspend() {
    std::lock_guard l(shared_->m);
    shared_->paused = true;
    ++shared_->generation;
    // A wait or a pause of the old generation ends; a step handed over is dropped.
    if (shared_->phase != Shared::Phase::Stepping) shared_->phase = Shared::Phase::Ready;
    shared_->Kick();
}

void TProtocolThread::Terminate() {
    {
        std::lock_guard l(shared_->m);
        if (shared_->stop) return;
        shared_->stop = true;
        ++shared_->generation;
        shared_->Kick();
    }
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

std::chrono::microseconds TProtocolThread::Waited() const { return shared_->waited; }

bool TProtocolThread::SetPriority(int priority) {
    if (priority < Idle || priority > TimeCritical) return false;
    priority_ = priority;
    if (thread_ && thread_->isRunning()) thread_->setPriority(static_cast<QThread::Priority>(priority));
    return true;
}

}  // namespace tolver
