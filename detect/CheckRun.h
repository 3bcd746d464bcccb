#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>

#include <QString>
#include <QStringList>

namespace orvelle {

// Decides one pair of different path texts; may throw the layer's errors.
using PairTest = std::function<bool(const QString& Path1, const QString& Path2)>;

// Where the run stands: the outer entry and the entry it is compared with.
struct CheckProgress {
    int outer = 0; // index of the outer entry
    int count = 0; // entries in the list now
    QString from;
    QString to;
    // The share of the whole run's work done so far, done out of total in
    // units of the engine's choosing.
    std::int64_t done = 0;
    std::int64_t total = 0;
};
using ProgressSink = std::function<void(const CheckProgress&)>;

enum class CheckOutcome { Finished, Cancelled, Failed };

struct CheckResult {
    CheckOutcome outcome = CheckOutcome::Finished;
    // "%.8d" group number followed by the path, in the order found.
    QStringList MatchList;
    // The file list after the run's deletions.
    QStringList remaining;
    // The first error in visiting order, when the run was abandoned.
    std::exception_ptr error;
};

// The match record of a group number and a path.
QString MatchRecord(int group, const QString& path);

// The check over a file list: every outer entry upward, every inner entry
// from the end of the list down to it; a matched inner entry leaves the
// list at once and joins the outer entry's group. Pairs of equal path texts
// are never compared. Cancellation is looked at before every pair; an error
// abandons the run after the deletions that came before it.
//
// With more than one thread the comparisons of one outer entry run side by
// side (they do not depend on each other) and their results are applied in
// visiting order, so the outcome is that of the one-thread run.
class CheckRun {
public:
    CheckRun(QStringList files, PairTest test, const std::atomic<bool>& cancel,
             ProgressSink progress = {}, int threads = 1);

    CheckResult Execute();

private:
    class Workers;

    QStringList files_;
    PairTest test_;
    const std::atomic<bool>& cancel_;
    ProgressSink progress_;
    int threads_;
};

} // namespace orvelle
