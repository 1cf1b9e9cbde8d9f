// workers.cpp -- threads that persist between frames and sleep on a barrier between jobs
#include "engine/workers.h"

#include <sched.h>

#include <barrier>
#include <system_error>
#include <thread>
#include <vector>

int usable_cpus()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0)  // more CPUs than a cpu_set_t holds
        return std::thread::hardware_concurrency() > 0 ? int(std::thread::hardware_concurrency()) : 1;
    return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
}

int render_threads = usable_cpus();

namespace {

// The caller and size - 1 threads meet at start, run the job, and meet
// again at done; a job for fewer workers leaves the others idle. Between
// jobs the threads wait at start, where the barrier puts them to sleep.
struct pool {
    explicit pool(int n) : size(n), start(n), done(n) {}
    const int size;  // the workers asked for, the caller included
    std::barrier<> start, done;
    void (*job)(int, void *) = nullptr;
    void *context = nullptr;
    int active = 0;  // the workers the job is for
    bool stopping = false;
    std::vector<std::thread> threads;
};

// Jobs must not throw: a throw past the barriers would leave the other
// workers waiting for ever, so it ends the process at once instead.
void run_job(void (*job)(int, void *), int worker, void *context) noexcept { job(worker, context); }

void serve(pool *p, int worker)
{
    for (;;) {
        p->start.arrive_and_wait();
        if (p->stopping)
            return;
        if (worker < p->active)
            run_job(p->job, worker, p->context);
        p->done.arrive_and_wait();
    }
}

// A thread that cannot be started drops out of both barriers, so the
// workers that did start carry on without it.
pool *start_pool(int n)
{
    pool *p = new pool(n);
    for (int w = 1; w < n; w++) {
        try {
            p->threads.push_back(quiet_thread([p, w] { serve(p, w); }));
        } catch (const std::system_error &) {
            for (int missing = w; missing < n; missing++) {
                p->start.arrive_and_drop();
                p->done.arrive_and_drop();
            }
            break;
        }
    }
    return p;
}

void stop_pool(pool *p)
{
    p->stopping = true;
    p->start.arrive_and_wait();
    for (std::thread &t : p->threads)
        t.join();
    delete p;
}

// Replaced only when more workers are asked for than it has. It is never freed
// at exit: the program ends through exit() from a callback, and joining
// there (or in a forked child, which has none of the threads) would hang.
pool *current = nullptr;

}  // namespace

void run_shared(int threads, void (*job)(int, void *), void *context)
{
    if (threads <= 1) {
        job(0, context);
        return;
    }
    if (!current || current->size < threads) {
        if (current)
            stop_pool(current);
        current = start_pool(threads);
    }
    current->job = job;
    current->context = context;
    current->active = threads;
    current->start.arrive_and_wait();
    run_job(job, 0, context);
    current->done.arrive_and_wait();
}
