#include "cluster/worker_pool.h"

#include <system_error>

WorkerPool::WorkerPool(int parts) {
    const int workers = parts > 1 ? parts - 1 : 0;
    threads_.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i) {
        // A thread the system refuses leaves the pool with fewer parts; the
        // work is split over the parts there are.
        try {
            threads_.emplace_back([this, i] { worker_body(i + 1); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    start_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void WorkerPool::run_erased(void* task, Call call) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = task;
        call_ = call;
        outstanding_ = static_cast<int>(threads_.size());
        ++generation_;
    }
    start_.notify_all();
    call(task, 0);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return outstanding_ == 0; });
}

void WorkerPool::worker_body(int part) {
    uint64_t seen = 0;
    for (;;) {
        void* task;
        Call call;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            start_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            task = task_;
            call = call_;
        }
        call(task, part);
        std::lock_guard<std::mutex> lock(mutex_);
        if (--outstanding_ == 0) done_.notify_one();
    }
}
