#pragma once

#include <atomic>
#include <functional>

#include <QString>
#include <QStringList>

#include "CheckResult.h"

namespace orvelle {

// Decides one pair of different path texts; may throw the layer's errors.
using PairTest = std::function<bool(const QString& Path1, const QString& Path2)>;

// The check over a file list: every outer entry upward, every inner entry
// from the end of the list down to it; a matched inner entry leaves the
// list at once and joins the outer entry's group. Pairs of equal path texts
// are never compared. Cancellation is looked at before every pair; an error
// abandons the run after the deletions that came before it.
//
// With more than one thread the comparisons of one outer entry run side by
// side (they do not depend on each other) and their results are applied in
// visiting order, so the outcome is that of the one-thread run.
//
// This is the plain engine for any pair test, with progress at every pair.
// The check's own modes (ExactCheck, and FuzzyCheck over PairPasses) reach
// the same outcome without visiting every pair.
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
