#pragma once
// A writer in a child process that stops half-way and waits for the parent: the
// parent looks at the store meanwhile, then kills the child or lets it finish. Tests
// of stores that must survive a writer killed mid-way use it.
//
//   PausedChild child;
//   ASSERT_TRUE(child.Start([&] { ...; child.Pause(); ...; }));
//   ASSERT_TRUE(child.WaitPaused());
//   ... the store as a reader sees it ...
//   const int status = child.Finish(killIt);

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolver::testutil {

class PausedChild {
public:
    PausedChild() = default;
    PausedChild(const PausedChild&) = delete;
    PausedChild& operator=(const PausedChild&) = delete;
    // A child still paused (a failed check ended the test early) is killed.
    ~PausedChild() {
        if (pid_ > 0) Finish(true);
        CloseAll();
    }

    // Forks; the child runs work and exits with 0, or with 1 when work throws.
    // False when the pipes or the fork fail.
    template <class Work>
    bool Start(Work work) {
        if (pipe(toParent_) != 0 || pipe(toChild_) != 0) return false;
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            try {
                work();
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        return true;
    }

    // In the child: tells the parent it has paused, then waits for its word.
    void Pause() const {
        char c = 0;
        (void)!write(toParent_[1], "h", 1);
        (void)!read(toChild_[0], &c, 1);
    }

    // In the parent: true once the child has paused.
    bool WaitPaused() const {
        char c = 0;
        return read(toParent_[0], &c, 1) == 1;
    }

    // In the parent: kills the paused child (kill) or lets it go on, and waits for its
    // end; its wait status.
    int Finish(bool kill) {
        if (kill) ::kill(pid_, SIGKILL);
        (void)!write(toChild_[1], "g", 1);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        CloseAll();
        return status;
    }

private:
    void CloseAll() {
        for (int* fd : {&toParent_[0], &toParent_[1], &toChild_[0], &toChild_[1]})
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
    }

    int toParent_[2] = {-1, -1};
    int toChild_[2] = {-1, -1};
    pid_t pid_ = -1;
};

}  // namespace tolver::testutil
