#pragma once
// A small pool of threads that run one job together: Run(job) calls job(0) on the calling thread
// and job(1) .. job(size() - 1) on the workers, and returns when all have returned.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ms {

// A barrier for the threads of one job, which mostly wait at it for short moments: it spins a
// little, then sleeps until the last thread arrives.
class SpinBarrier {
public:
    explicit SpinBarrier(int threads) : threads_(threads) {}
    void Wait() {
        const unsigned generation = generation_.load(std::memory_order_acquire);
        if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == threads_) {
            arrived_.store(0, std::memory_order_relaxed);
            generation_.fetch_add(1, std::memory_order_acq_rel);
            generation_.notify_all();
            return;
        }
        for (int spin = 0; spin < kSpins; ++spin) {
            if (generation_.load(std::memory_order_acquire) != generation) return;
            Pause();
        }
        while (generation_.load(std::memory_order_acquire) == generation) generation_.wait(generation);
    }

private:
    // Some tens of microseconds: the other threads of a draw mostly arrive within that, and a
    // sleeping thread takes about as long to wake.
    static constexpr int kSpins = 2000;
    static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    const int threads_;
    std::atomic<int> arrived_{0};
    std::atomic<unsigned> generation_{0};
};

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
