// platform_threads_posix.cpp -- platform_threads.h on pthreads.
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "platform_threads.h"

struct PlatformThread {
    pthread_t id;
    void (*run)(void*);
    void* argument;
};

namespace {

void* Start(void* self) {
    auto* thread = static_cast<PlatformThread*>(self);
    thread->run(thread->argument);
    return nullptr;
}

}  // namespace

PlatformThread* PlatformStartThread(void (*run)(void*), void* argument) {
    auto* thread = static_cast<PlatformThread*>(calloc(1, sizeof(PlatformThread)));
    if (!thread) return nullptr;
    thread->run = run;
    thread->argument = argument;
    if (pthread_create(&thread->id, nullptr, Start, thread) != 0) {
        free(thread);
        return nullptr;
    }
    return thread;
}

void PlatformJoinThread(PlatformThread* thread) {
    if (!thread) return;
    pthread_join(thread->id, nullptr);
    free(thread);
}

void PlatformPause(void) {
    struct timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
}

uint32_t PlatformCoreCount(void) {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return static_cast<uint32_t>(n);
    }
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<uint32_t>(n) : 1;
}
