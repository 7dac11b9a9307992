#pragma once
// A fixed set of persistent worker threads that run one task in parts. The
// caller runs the first part itself and waits until every other part is done, so a
// call is a fork and a join without creating threads.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    // One part runs on the caller; up to `parts` - 1 threads wait for the
    // others (fewer if the system refuses to start one).
    explicit WorkerPool(int parts);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int parts() const { return static_cast<int>(threads_.size()) + 1; }

    // Calls task(part) for every part index from 0 to parts() - 1, the first on the
    // calling thread, and returns when all have returned. The task must not
    // throw.
    template <class Task>
    void run(Task& task) {
        run_erased(&task, [](void* t, int part) { (*static_cast<Task*>(t))(part); });
    }

private:
    using Call = void (*)(void*, int);
    void run_erased(void* task, Call call);
    void worker_body(int part);

    std::mutex mutex_;
    std::condition_variable start_;  // a new generation of work, or stop
    std::condition_variable done_;   // the last outstanding part finished
    uint64_t generation_ = 0;        // counts calls of run(); workers wait for a change
    int outstanding_ = 0;            // parts of the current generation still running
    bool stopping_ = false;
    void* task_ = nullptr;
    Call call_ = nullptr;
    std::vector<std::thread> threads_;
};
