#include "parallel/thread_pool.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace parallel {

namespace {

constexpr int mostThreads = 64;

// Set on a thread while it runs a piece of a job: a loop split inside a piece
// runs on that thread alone rather than waiting for workers that are busy.
thread_local bool insideAJob = false;

int coresAvailable()
{
#if defined(__EMSCRIPTEN__)
    return 1;  // the web page runs on one thread: it needs no shared memory from its server
#else
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
#endif
}

int countFromEnvironment()
{
    if (const char* text = std::getenv("FLOWBOX_THREADS")) {
        char* end = nullptr;
        const long count = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && count >= 1 && count <= mostThreads)
            return int(count);
    }
    return std::min(coresAvailable(), mostThreads);
}

// A moment's wait in a spin: the processor told that the thread only polls.
inline void pauseBriefly()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Polls that a thread makes before it sleeps: about a tenth of a millisecond.
// A tick's jobs follow each other closer than that, and a sleeping thread
// takes longer than a small job to wake.
constexpr int pollsBeforeSleeping = 4000;

// Workers poll for a while after a job, then sleep. A job is a body and a
// range cut into one piece per thread; the caller runs the first piece and
// waits for the rest, polling too before it sleeps.
class Pool {
public:
    explicit Pool(int threads) { resize(threads); }
    ~Pool() { resize(1); }

    int size() const { return int(workers.size()) + 1; }

    // Held by the one thread whose job the workers run: of two runs stepping
    // in two threads (as from Python), the second works alone on its own
    // thread meanwhile, to the same numbers.
    std::mutex caller;

    void resize(int threads)
    {
        stopWorkers();
        // A new worker waits for the next job, not the last one.
        for (int index = 1; index < threads; ++index)
            workers.emplace_back([this, index, seen = generation.load()] { work(index, seen); });
    }

    // Cuts [0, count) into `pieces` ranges (2 to size()), one per thread.
    void run(size_t count, size_t pieces, const std::function<void(size_t, size_t)>& body)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            job = &body;
            jobCount = count;
            jobPieces = pieces;
            pending.store(int(workers.size()), std::memory_order_relaxed);
            generation.fetch_add(1, std::memory_order_release);
        }
        wake.notify_all();
        runPiece(0, count, pieces, body);
        for (int poll = 0; poll < pollsBeforeSleeping && pending.load(std::memory_order_acquire) != 0; ++poll)
            pauseBriefly();
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [this] { return pending.load(std::memory_order_acquire) == 0; });
        job = nullptr;
    }

private:
    static void runPiece(int index, size_t count, size_t pieces, const std::function<void(size_t, size_t)>& body)
    {
        if (size_t(index) >= pieces)
            return;
        const size_t first = count * size_t(index) / pieces, last = count * size_t(index + 1) / pieces;
        if (first < last) {
            insideAJob = true;
            body(first, last);
            insideAJob = false;
        }
    }

    void work(int index, unsigned long seen)
    {
        while (true) {
            for (int poll = 0; poll < pollsBeforeSleeping && generation.load(std::memory_order_acquire) == seen &&
                               !stopping.load(std::memory_order_acquire);
                 ++poll)
                pauseBriefly();
            const std::function<void(size_t, size_t)>* body;
            size_t count, pieces;
            {
                // The job is read under the lock its caller wrote it under.
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] {
                    return stopping.load(std::memory_order_relaxed) ||
                           generation.load(std::memory_order_relaxed) != seen;
                });
                if (stopping.load(std::memory_order_relaxed))
                    return;
                seen = generation.load(std::memory_order_relaxed);
                body = job;
                count = jobCount;
                pieces = jobPieces;
            }
            runPiece(index, count, pieces, *body);
            if (pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                // The caller may have gone to sleep: it checks under the lock.
                std::lock_guard<std::mutex> lock(mutex);
                finished.notify_one();
            }
        }
    }

    void stopWorkers()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping.store(true, std::memory_order_release);
        }
        wake.notify_all();
        for (std::thread& worker : workers)
            worker.join();
        workers.clear();
        stopping.store(false, std::memory_order_release);
    }

    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable wake, finished;
    // Written under the mutex; the counters are also polled without it.
    const std::function<void(size_t, size_t)>* job = nullptr;
    size_t jobCount = 0;
    size_t jobPieces = 0;
    std::atomic<int> pending{0};
    std::atomic<unsigned long> generation{0};
    std::atomic<bool> stopping{false};
};

Pool& pool()
{
    static Pool threads(countFromEnvironment());
    return threads;
}

}  // namespace

int threadCount()
{
    return pool().size();
}

bool splitsWork()
{
    return !insideAJob && pool().size() > 1;
}

void setThreadCount(int count)
{
    const std::lock_guard<std::mutex> turn(pool().caller);
    pool().resize(std::clamp(count, 1, mostThreads));
}

void splitOverThreads(size_t count, size_t smallest, const std::function<void(size_t, size_t)>& body)
{
    // Inside a job the workers are busy: the work runs here. (Asking first
    // also keeps the pool from starting for work that never splits.)
    if (insideAJob) {
        body(0, count);
        return;
    }
    Pool& threads = pool();
    // As many pieces as threads, but none below `smallest` (forRanges saw to two at least).
    const size_t pieces = std::min(size_t(threads.size()), count / smallest);
    if (pieces < 2) {
        body(0, count);
        return;
    }
    std::unique_lock<std::mutex> turn(threads.caller, std::try_to_lock);
    if (!turn.owns_lock()) {
        body(0, count);
        return;
    }
    threads.run(count, pieces, body);
}

}  // namespace parallel
