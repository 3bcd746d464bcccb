#pragma once

#include <atomic>
#include <cstdint>

#include <QStringList>

#include "CheckResult.h"
#include "FuzzyCheck.h"
#include "FuzzyCompare.h"

namespace orvelle {

// What the user chose for one run.
struct CheckOptions {
    bool ExactMode = true;
    FuzzyOptions fuzzy;
    // How much decoded picture memory the fuzzy mode may keep for reuse.
    std::int64_t cacheBytes = std::int64_t(1) << 30;
    // Receives what a fuzzy run did, when given.
    FuzzyStats* stats = nullptr;
};

// The whole check over a file list, on up to `threads` threads: the records,
// the list after the run's deletions, and the first error or the
// cancellation, exactly as the one-pair-at-a-time run gives them.
CheckResult RunCheck(const QStringList& files, const CheckOptions& options,
                     const std::atomic<bool>& cancel, const ProgressSink& progress = {},
                     int threads = 1);

} // namespace orvelle
