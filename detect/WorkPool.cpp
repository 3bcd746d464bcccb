#include "WorkPool.h"

#include <algorithm>
#include <cstdint>

namespace orvelle {

WorkPool::WorkPool(int threads)
{
    const int n = std::max(threads, 1);
    threads_.reserve(std::size_t(n));
    for (int t = 0; t < n; ++t)
        threads_.emplace_back([this] { Serve(); });
}

WorkPool::~WorkPool()
{
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void WorkPool::Serve()
{
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return closing_ || (work_ && round_ != seen); });
        if (closing_)
            return;
        seen = round_;
        const auto& work = *work_;
        const auto& stop = *stop_;
        const std::size_t count = count_;
        ++busy_;
        lock.unlock();
        for (;;) {
            if (stop || failed_)
                break;
            const std::size_t i = next_++;
            if (i >= count)
                break;
            try {
                work(i);
            } catch (...) {
                const std::lock_guard errorLock(mutex_);
                if (!error_)
                    error_ = std::current_exception();
                failed_ = true;
            }
        }
        lock.lock();
        --busy_;
        changed_.notify_all();
    }
}

void WorkPool::Run(std::size_t count, const std::function<void(std::size_t)>& work,
                   const std::atomic<bool>& stop, const std::function<void()>& poll,
                   std::chrono::milliseconds pollInterval)
{
    std::unique_lock lock(mutex_);
    work_ = &work;
    stop_ = &stop;
    count_ = count;
    next_ = 0;
    failed_ = false;
    error_ = nullptr;
    ++round_;
    changed_.notify_all();
    // A round is over once every item is handed out and no thread is inside
    // one; a thread that has not woken yet finds nothing left and goes back
    // to waiting.
    const auto over = [&] {
        return busy_ == 0 && (next_ >= count_ || failed_ || stop);
    };
    while (!over()) {
        changed_.wait_for(lock, pollInterval, over);
        if (poll && !over()) {
            lock.unlock();
            poll();
            lock.lock();
        }
    }
    work_ = nullptr;
    stop_ = nullptr;
    const std::exception_ptr error = error_;
    error_ = nullptr;
    lock.unlock();
    if (poll)
        poll();
    if (error)
        std::rethrow_exception(error);
}

void ParallelFor(std::size_t count, int threads, const std::function<void(std::size_t)>& work,
                 const std::atomic<bool>& stop, const std::function<void()>& poll,
                 std::chrono::milliseconds pollInterval)
{
    WorkPool pool(int(std::clamp<std::size_t>(count, 1, std::size_t(std::max(threads, 1)))));
    pool.Run(count, work, stop, poll, pollInterval);
}

} // namespace orvelle
