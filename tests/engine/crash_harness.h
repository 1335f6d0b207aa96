// crash_harness.h -- a change to an archive file killed at each of its
// moments: every step of the platform layer (each write, flush, seek, cut)
// and every progress call. The change runs once whole to count them, then
// once per moment in a child process that SIGKILL stops there, after which
// the caller checks what the file holds.
#ifndef CASKWRIGHT_CRASH_HARNESS_H
#define CASKWRIGHT_CRASH_HARNESS_H

#ifndef _WIN32
#include <grf.h>
#include <platform_hooks.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace crash {

inline int32_t g_moment = 0;
inline int32_t g_killAt = 0;

inline void Moment() {
    if (++g_moment == g_killAt) kill(getpid(), SIGKILL);
}

inline void StepMoment(uint32_t) {
    Moment();
}

// The progress callback the change passes on: each call is a moment.
inline int32_t ProgressMoment(GrfEntry*, uint32_t, uint32_t) {
    Moment();
    return 0;
}

// Runs change here, whole, and returns the moments it had.
inline int32_t CountMoments(const std::function<void()>& change) {
    g_moment = 0;
    g_killAt = 0;
    PlatformWatchSteps(StepMoment);
    change();
    PlatformWatchSteps(nullptr);
    return g_moment;
}

// In a child process: prepare (not counted), then change killed at moment
// at. True when the child died there by the signal, as it must.
inline bool KilledAt(int32_t at, const std::function<void()>& prepare,
                     const std::function<void()>& change) {
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        prepare();
        g_moment = 0;
        g_killAt = at;
        PlatformWatchSteps(StepMoment);
        change();
        _exit(3);  // not killed: the moments were miscounted
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
           WTERMSIG(status) == SIGKILL;
}

}  // namespace crash

#endif
#endif
