#pragma once
// A small pool of threads that run one job together: Run(job) calls job(0) on the calling thread
// and job(1) .. job(size() - 1) on the workers, and returns when all have returned.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ms {

class ThreadPool {
public:
    // `threads` counts the caller; workers that cannot be started are left out.
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int size() const { return static_cast<int>(workers_.size()) + 1; }
    void Run(const std::function<void(int)>& job);

private:
    void Work(int index);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::function<void(int)>* job_ = nullptr;
    unsigned generation_ = 0;
    int running_ = 0;
    bool stop_ = false;
};

}  // namespace ms
