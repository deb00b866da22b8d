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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void ThreadPool::Run(const std::function<void(int)>& job) {
    if (workers_.empty()) {
        job(0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &job;
        running_ = static_cast<int>(workers_.size());
        ++generation_;
    }
    wake_.notify_all();
    job(0);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return running_ == 0; });
    job_ = nullptr;
}

void ThreadPool::Work(int index) {
    unsigned seen = 0;
    for (;;) {
        const std::function<void(int)>* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
            job = job_;
        }
        (*job)(index);
        std::lock_guard<std::mutex> lock(mutex_);
        if (--running_ == 0) done_.notify_one();
    }
}

}  // namespace ms
