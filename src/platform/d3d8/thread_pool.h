#pragma once
// A small pool of threads that run one job together: Run(job) calls job(0) on the calling thread
// and job(1) .. job(size() - 1) on the workers, and returns when all have returned.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace ms {

// Waits until `value` differs from `old` and returns the new value: spins for `spins` rounds
// first (the threads of a draw mostly wait for moments shorter than a sleeping thread takes to
// wake), then sleeps.
template <typename T>
T WaitForChange(const std::atomic<T>& value, T old, int spins) {
    for (int spin = 0; spin < spins; ++spin) {
        const T now = value.load(std::memory_order_acquire);
        if (now != old) return now;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    for (;;) {
        value.wait(old, std::memory_order_acquire);
        const T now = value.load(std::memory_order_acquire);
        if (now != old) return now;
    }
}

// A barrier for the threads of one job.
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
        WaitForChange(generation_, generation, kSpins);
    }

private:
    static constexpr int kSpins = 2000;  // some tens of microseconds
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
    // Workers keep looking for the next job for a while (a frame's clear and draws follow each
    // other closely) before they sleep.
    static constexpr int kIdleSpins = 10000;
    static constexpr int kDoneSpins = 2000;
    void Work(int index);

    std::vector<std::thread> workers_;
    const std::function<void(int)>* job_ = nullptr;  // published by generation_
    std::atomic<unsigned> generation_{0};            // counts the jobs handed out
    std::atomic<int> running_{0};                    // workers still in the current job
    std::atomic<bool> stop_{false};
};

}  // namespace ms
