#include "Check.h"

#include "ExactCheck.h"
#include "FuzzyCheck.h"

namespace orvelle {

CheckResult RunCheck(const QStringList& files, const CheckOptions& options,
                     const std::atomic<bool>& cancel, const ProgressSink& progress, int threads)
{
    if (options.ExactMode)
        return RunExactCheck(files, cancel, progress, threads);
    return RunFuzzyCheck(files, options.fuzzy, options.cacheBytes, cancel, progress, threads,
                         options.stats);
}

} // namespace orvelle
