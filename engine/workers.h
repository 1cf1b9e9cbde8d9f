// workers.h -- the threads that share out the samples of a pass
#pragma once

#include <pthread.h>
#include <signal.h>

#include <thread>
#include <utility>

extern int render_threads;  // threads a pass is spread over: every CPU the process may run on; rootzoom-render --threads and tests change it

// The CPUs this process may run on (its affinity mask), at least 1.
int usable_cpus();

// Runs job(worker, context) for every worker from 0 to threads - 1 and
// returns when all have returned. Worker 0 is the calling thread; the others
// are threads that persist from call to call and sleep in between. When
// threads cannot be started, fewer workers run: the job must share its work
// out dynamically, not by worker number.
void run_shared(int threads, void (*job)(int worker, void *context), void *context);

// The same with any callable taking the worker number.
template <class Job>
void run_shared(int threads, Job &job)
{
    run_shared(threads, [](int worker, void *context) { (*static_cast<Job *>(context))(worker); }, &job);
}

// Holds every signal back on the calling thread while it lives.
class signals_held {
public:
    signals_held()
    {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &before_);
    }
    ~signals_held() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    signals_held(const signals_held &) = delete;
    signals_held &operator=(const signals_held &) = delete;

private:
    sigset_t before_;
};

// Starts a thread with every signal blocked, for good: a thread inherits
// its creator's mask, so only the main thread ever runs a signal handler,
// and Ctrl-C never interrupts a worker halfway through the state the
// handler reads. Throws std::system_error when the thread cannot start.
template <class F>
std::thread quiet_thread(F &&f)
{
    signals_held held;
    return std::thread(std::forward<F>(f));
}
