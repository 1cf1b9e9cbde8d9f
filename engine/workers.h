// workers.h -- the threads that share out the samples of a pass
#pragma once

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
