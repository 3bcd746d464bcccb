#include "WorkPool.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace orvelle {

void ParallelFor(std::size_t count, int threads, const std::function<void(std::size_t)>& work,
                 const std::atomic<bool>& stop, const std::function<void()>& poll,
                 std::chrono::milliseconds pollInterval)
{
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::condition_variable finished;
    std::exception_ptr error;
    int running = 0;

    const auto body = [&] {
        for (;;) {
            if (stop || failed)
                break;
            const std::size_t i = next++;
            if (i >= count)
                break;
            try {
                work(i);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (!error)
                    error = std::current_exception();
                failed = true;
            }
        }
        const std::lock_guard lock(mutex);
        --running;
        finished.notify_all();
    };

    const int n = static_cast<int>(std::clamp<std::size_t>(count, 1, std::size_t(std::max(threads, 1))));
    {
        std::vector<std::jthread> pool;
        pool.reserve(static_cast<std::size_t>(n));
        running = n;
        for (int t = 0; t < n; ++t)
            pool.emplace_back(body);
        std::unique_lock lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, pollInterval, [&] { return running == 0; });
            if (poll && running > 0) {
                lock.unlock();
                poll();
                lock.lock();
            }
        }
    }
    if (poll)
        poll();
    if (error)
        std::rethrow_exception(error);
}

} // namespace orvelle
