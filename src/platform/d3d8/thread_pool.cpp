#include "platform/d3d8/thread_pool.h"

#include <system_error>

namespace ms {

ThreadPool::ThreadPool(int threads) {
    for (int i = 1; i < threads; ++i) {
        try {
            workers_.emplace_back([this, i] { Work(i); });
        } catch (const std::system_error&) {
            break;  // fewer threads draw the same picture
        }
    }
}

ThreadPool::~ThreadPool() {
    stop_.store(true, std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void ThreadPool::Run(const std::function<void(int)>& job) {
    if (workers_.empty()) {
        job(0);
        return;
    }
    job_ = &job;
    running_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    job(0);
    for (int left = running_.load(std::memory_order_acquire); left != 0;)
        left = WaitForChange(running_, left, kDoneSpins);
    job_ = nullptr;
}

void ThreadPool::Work(int index) {
    unsigned seen = 0;
    for (;;) {
        seen = WaitForChange(generation_, seen, kIdleSpins);
        if (stop_.load(std::memory_order_relaxed)) return;
        (*job_)(index);
        if (running_.fetch_sub(1, std::memory_order_acq_rel) == 1) running_.notify_one();
    }
}

}  // namespace ms
