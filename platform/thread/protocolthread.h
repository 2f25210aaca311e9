#pragma once
// The protocol thread of a driver: it does nothing but hand the engine's next step to
// the thread that created it (the Qt main thread) and wait until the step has run, so
// that every step, every port access and every event of the engine runs there and
// needs no lock. It is created suspended; Suspend and Terminate take effect at once:
// once either returns, no step runs any more, not even one already handed over.
// An engine with nothing to do for a while (polling an idle line) says so through its
// idle function, and the thread then waits that long, or until Wake, instead of
// handing over steps that would only pause. An engine that must leave a gap on the
// line before its next step says so through its pace function: the thread spends
// that pause itself (Wake does not shorten it), so the creating thread never sleeps.

#include <functional>
#include <memory>

class QObject;
class QThread;

namespace tolver {

class TProtocolThread {
public:
    // Priorities of the thread, as the drivers' Priority setting numbers them.
    enum { Idle = 0, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

    // step runs on the creating thread, which must run a Qt event loop; so do idle and
    // pace, after each step: idle the milliseconds before a step can do anything (0: at
    // once), pace the milliseconds the next step must wait in any case.
    explicit TProtocolThread(std::function<void()> step, std::function<int()> idle = {},
                             std::function<int()> pace = {});
    ~TProtocolThread();  // terminates
    TProtocolThread(const TProtocolThread&) = delete;
    TProtocolThread& operator=(const TProtocolThread&) = delete;

    void Resume();
    void Suspend();
    // Stops the thread and waits for it; it cannot be resumed again.
    void Terminate();
    // Ends an idle wait: the next step is handed over at once.
    void Wake();
    bool Suspended() const;
    bool Terminated() const;

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
