#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>

namespace orvelle {

// Runs work(i) for every i below count on `threads` worker threads, handing
// out the items in order. The calling thread meanwhile runs poll() about
// every pollInterval and once more at the end. No new item is started once
// stop is set; items already started finish (work should look at stop
// itself when it is long). The first exception work throws stops the rest
// and is thrown again here, after every thread has been joined.
void ParallelFor(std::size_t count, int threads, const std::function<void(std::size_t)>& work,
                 const std::atomic<bool>& stop, const std::function<void()>& poll = {},
                 std::chrono::milliseconds pollInterval = std::chrono::milliseconds(50));

} // namespace orvelle
