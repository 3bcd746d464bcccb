#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvelle {

// Threads kept for many short rounds of work, such as the comparisons of one
// pass after another: starting threads for every round would cost more than
// a small round's work.
class WorkPool {
public:
    explicit WorkPool(int threads);
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    int Threads() const noexcept { return int(threads_.size()); }

    // Runs work(i) for every i below count, handing out the items in order.
    // The calling thread meanwhile runs poll() about every pollInterval and
    // once more at the end. No new item is started once stop is set; items
    // already started finish (work should look at stop itself when it is
    // long). The first exception work throws stops the rest and is thrown
    // again here, after every item under way has finished.
    void Run(std::size_t count, const std::function<void(std::size_t)>& work,
             const std::atomic<bool>& stop, const std::function<void()>& poll = {},
             std::chrono::milliseconds pollInterval = std::chrono::milliseconds(50));

private:
    void Serve();

    std::mutex mutex_;
    std::condition_variable changed_;
    // The round under way; work_ is null between rounds.
    const std::function<void(std::size_t)>* work_ = nullptr;
    const std::atomic<bool>* stop_ = nullptr;
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> failed_{false};
    std::exception_ptr error_;
    std::uint64_t round_ = 0;
    int busy_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

// One round on threads made for it (at most count of them).
void ParallelFor(std::size_t count, int threads, const std::function<void(std::size_t)>& work,
                 const std::atomic<bool>& stop, const std::function<void()>& poll = {},
                 std::chrono::milliseconds pollInterval = std::chrono::milliseconds(50));

} // namespace orvelle
