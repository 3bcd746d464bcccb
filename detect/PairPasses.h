#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

#include <QStringList>

#include "CheckResult.h"

namespace orvelle {

class WorkPool;

// How one entry of the file list takes part in the passes.
struct PassEntry {
    // Which of the distinct path texts it is; entries of one text are never
    // compared with each other.
    int text = 0;
    // Pairs of different classes are known to be no match and to raise
    // nothing (pictures of different sizes when sizes count) ...
    int klass = 0;
    // ... unless one of the two meets every entry (a picture that does not
    // load raises in every pair).
    bool meetsAll = false;
};

// Decides the pair of two entries (outer first), which are of different
// texts and meet; may throw the layer's errors. Called from several threads.
using EntryPairTest = std::function<bool(int outer, int inner)>;

// The check's passes over a list whose pairs are decided by an EntryPairTest:
// every outer entry upward, every inner entry from the end of the list down
// to it; a matched inner entry leaves the list at once and joins the outer
// entry's group; the first error abandons the run, Cancel keeps the list as
// it is between two pairs. Pairs that do not meet are passed over, which
// changes nothing, so only the pairs that meet cost anything.
//
// The pairs of one pass do not depend on each other: they are decided side by
// side on the pool's threads and their answers are applied in visiting order,
// so the outcome is that of one thread visiting every pair.
class PairPasses {
public:
    PairPasses(const QStringList& files, std::vector<PassEntry> entries, WorkPool& pool,
               const std::atomic<bool>& cancel);

    // Called between passes for each entry that no pair will take again: an
    // outer entry whose pass is over, an entry that left the list.
    using Gone = std::function<void(int entry)>;

    // done and total of the progress are pairs that meet.
    CheckResult Execute(const EntryPairTest& test, const ProgressSink& progress = {},
                        const Gone& gone = {});

    // For the test, while a pass runs: the entries after outer and before
    // inner that are still listed and will meet inner as their inner entry,
    // the nearest first, at most limit of them. A test that made something
    // costly for inner can answer those pairs ahead of time.
    std::vector<int> OutersAhead(int outer, int inner, std::size_t limit) const;

    // The pairs that meet in the list as given.
    std::int64_t PairsThatMeet() const noexcept { return pairsAhead_; }

private:
    // The entries that meet outer as its inner entries, in visiting order.
    void InnersOf(int outer, std::vector<int>& inners) const;
    void Remove(int entry);

    const QStringList& files_;
    std::vector<PassEntry> entries_;
    WorkPool& pool_;
    const std::atomic<bool>& cancel_;

    std::vector<bool> listed_;
    // The entries of each class, and of those that meet all, in list order.
    std::vector<std::vector<int>> classes_;
    std::vector<int> meetAll_;
    std::vector<int> everyone_;
    // Where each entry stands in its class's member list.
    std::vector<int> placeInClass_;
    // Listed entries of each class after the current outer one, and the
    // pairs among them: what is still to come if nothing more matched.
    std::vector<std::int64_t> ahead_;
    std::int64_t pairsAhead_ = 0;
};

} // namespace orvelle
