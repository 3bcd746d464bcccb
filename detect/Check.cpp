#include "Check.h"

#include "DuplicateTest.h"
#include "ExactCheck.h"

namespace orvelle {

CheckResult RunCheck(const QStringList& files, const CheckOptions& options,
                     const std::atomic<bool>& cancel, const ProgressSink& progress, int threads)
{
    if (options.ExactMode)
        return RunExactCheck(files, cancel, progress, threads);
    const DuplicateTest test(false, options.fuzzy);
    const PairTest pair = [&test](const QString& a, const QString& b) {
        return test.IsDuplicate(a, b);
    };
    return CheckRun(files, pair, cancel, progress, threads).Execute();
}

} // namespace orvelle
