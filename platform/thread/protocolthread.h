#pragma once
// The protocol thread of a driver: it does nothing but hand the engine's next step to
// the thread that created it (the Qt main thread) and wait until the step has run, so
// that every step, every port access and every event of the engine runs there and
// needs no lock. It is created suspended; Suspend and Terminate take effect at once:
// once either returns, no step runs any more, not even one already handed over.
//
// Between two steps the thread sleeps until there is work. After each step the
// engine's wait function says what the next one waits for: at most a time (the
// engine's earliest deadline, less the pause), ended early by Wake (a command was
// queued) and, when the engine reads input next, by input (InputNotifier); then a
// pause, a gap on the line that must pass in any case (Wake does not shorten it). A
// wait that runs its full time is followed by the whole pause; one ended early counts
// toward it, so that the step comes at least the pause after the one before. A step
// is handed over at once when the wait is empty.

#include <chrono>
#include <functional>
#include <memory>

class QObject;
class QThread;

namespace tolver {

// What the protocol thread waits for before it hands over the next step.
struct TStepWait {
    std::chrono::milliseconds longest{0};  // at most this long for work first
    bool input = false;                    // bytes arriving end that wait too
    std::chrono::microseconds pause{0};    // spent in any case
};

class TProtocolThread {
public:
    // Priorities of the thread, as the drivers' Priority setting numbers them.
    enum { Idle = 0, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

    // step runs on the creating thread, which must run a Qt event loop; so does wait,
    // after each step.
    explicit TProtocolThread(std::function<void()> step, std::function<TStepWait()> wait = {});
    ~TProtocolThread();  // terminates
    TProtocolThread(const TProtocolThread&) = delete;
    TProtocolThread& operator=(const TProtocolThread&) = delete;

    void Resume();
    void Suspend();
    // Stops the thread and waits for it; it cannot be resumed again.
    void Terminate();
    // Ends a wait for work: the next step is handed over once its pause has passed.
    void Wake();
    // Ends a wait for work that input ends, as a function callable from any thread
    // that stays safe to call after the thread object is gone (a port's reader thread
    // may outlive it).
    std::function<void()> InputNotifier() const;
    bool Suspended() const;
    bool Terminated() const;

    // Inside a step: how long the thread paused and waited for work before it handed
    // this step over (0 for a step that followed at once).
    std::chrono::microseconds Waited() const;

    // 0 idle .. 6 time critical; any other value is refused (false) and the priority
    // stays as it was.
    bool SetPriority(int priority);
    int Priority() const { return priority_; }

private:
    struct Shared;
    void Run();

    std::shared_ptr<Shared> shared_;
    std::unique_ptr<QObject> context_;  // lives on the creating thread; steps run there
    std::unique_ptr<QThread> thread_;
    int priority_ = Normal;
};

}  // namespace tolver
