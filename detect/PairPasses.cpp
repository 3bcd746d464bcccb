#include "PairPasses.h"

#include <algorithm>
#include <utility>

#include "WorkPool.h"

namespace orvelle {

namespace {

enum class Answer : std::uint8_t { Pending, No, Yes, Raised };

// The pairs among count entries.
std::int64_t PairsAmong(std::int64_t count)
{
    return count > 1 ? count * (count - 1) / 2 : 0;
}

} // namespace

PairPasses::PairPasses(const QStringList& files, std::vector<PassEntry> entries, WorkPool& pool,
                       const std::atomic<bool>& cancel)
    : files_(files), entries_(std::move(entries)), pool_(pool), cancel_(cancel)
{
    const std::size_t n = entries_.size();
    listed_.assign(n, true);
    placeInClass_.assign(n, -1);
    everyone_.resize(n);
    int classes = 0;
    for (const PassEntry& e : entries_) {
        if (!e.meetsAll)
            classes = std::max(classes, e.klass + 1);
    }
    classes_.resize(std::size_t(classes));
    ahead_.assign(std::size_t(classes), 0);
    for (std::size_t i = 0; i < n; ++i) {
        everyone_[i] = int(i);
        const PassEntry& e = entries_[i];
        if (e.meetsAll) {
            meetAll_.push_back(int(i));
            continue;
        }
        std::vector<int>& members = classes_[std::size_t(e.klass)];
        placeInClass_[i] = int(members.size());
        members.push_back(int(i));
    }
    for (std::size_t c = 0; c < classes_.size(); ++c) {
        ahead_[c] = std::int64_t(classes_[c].size());
        pairsAhead_ += PairsAmong(ahead_[c]);
    }
}

void PairPasses::InnersOf(int outer, std::vector<int>& inners) const
{
    inners.clear();
    const PassEntry& o = entries_[std::size_t(outer)];
    const auto take = [&](int e) {
        if (listed_[std::size_t(e)] && entries_[std::size_t(e)].text != o.text)
            inners.push_back(e);
    };
    if (o.meetsAll) {
        for (int e = int(everyone_.size()) - 1; e > outer; --e)
            take(e);
        return;
    }
    // The class's members and the entries that meet all, both from the end
    // of the list down, merged into one visiting order.
    const std::vector<int>& members = classes_[std::size_t(o.klass)];
    int m = int(members.size()) - 1;
    const int mEnd = placeInClass_[std::size_t(outer)];
    int a = int(meetAll_.size()) - 1;
    const auto firstAllAfter = [&] { return a >= 0 && meetAll_[std::size_t(a)] > outer; };
    while (m > mEnd || firstAllAfter()) {
        if (m > mEnd && (!firstAllAfter() || members[std::size_t(m)] > meetAll_[std::size_t(a)]))
            take(members[std::size_t(m--)]);
        else
            take(meetAll_[std::size_t(a--)]);
    }
}

std::vector<int> PairPasses::OutersAhead(int outer, int inner, std::size_t limit) const
{
    std::vector<int> outers;
    const PassEntry& in = entries_[std::size_t(inner)];
    if (in.meetsAll)
        return outers;
    const std::vector<int>& members = classes_[std::size_t(in.klass)];
    const auto from = std::upper_bound(members.begin(), members.end(), outer);
    const auto to = members.begin() + placeInClass_[std::size_t(inner)];
    for (auto it = from; it < to && outers.size() < limit; ++it) {
        if (listed_[std::size_t(*it)] && entries_[std::size_t(*it)].text != in.text)
            outers.push_back(*it);
    }
    return outers;
}

void PairPasses::Remove(int entry)
{
    listed_[std::size_t(entry)] = false;
    const PassEntry& e = entries_[std::size_t(entry)];
    if (!e.meetsAll) {
        std::int64_t& ahead = ahead_[std::size_t(e.klass)];
        --ahead;
        pairsAhead_ -= ahead;
    }
}

CheckResult PairPasses::Execute(const EntryPairTest& test, const ProgressSink& progress,
                                const Gone& gone)
{
    CheckResult result;
    const auto listNow = [&] {
        QStringList list;
        for (std::size_t e = 0; e < entries_.size(); ++e) {
            if (listed_[e])
                list << files_.at(qsizetype(e));
        }
        return list;
    };
    const auto stop = [&](CheckOutcome outcome, std::exception_ptr error = nullptr) {
        result.outcome = outcome;
        result.error = std::move(error);
        if (outcome == CheckOutcome::Cancelled)
            result.MatchList.clear(); // a cancelled run reports no groups
        result.remaining = listNow();
        return result;
    };

    std::vector<int> inners;
    std::vector<Answer> answers;
    std::vector<std::exception_ptr> errors;
    std::atomic<std::int64_t> decided{0};
    std::int64_t before = 0; // pairs decided in earlier passes
    int group = 0;
    int position = 0; // of the outer entry in the list now
    int count = int(entries_.size());

    for (int outer = 0; outer < int(entries_.size()); ++outer) {
        if (!listed_[std::size_t(outer)])
            continue;
        const PassEntry& o = entries_[std::size_t(outer)];
        if (!o.meetsAll) {
            std::int64_t& ahead = ahead_[std::size_t(o.klass)];
            --ahead;
            pairsAhead_ -= ahead;
        }
        if (cancel_)
            return stop(CheckOutcome::Cancelled);
        InnersOf(outer, inners);
        answers.assign(inners.size(), Answer::Pending);
        errors.assign(inners.size(), nullptr);
        decided = 0;

        const auto report = [&] {
            if (!progress)
                return;
            const std::int64_t k = decided;
            const std::size_t next = std::min(std::size_t(k), inners.size() - 1);
            const int inner = inners.empty() ? outer : inners[next];
            const std::int64_t done = before + k;
            progress({position, count, files_.at(outer), files_.at(inner), done,
                      done + std::int64_t(inners.size()) - k + pairsAhead_});
        };
        const auto decide = [&](std::size_t k) {
            try {
                answers[k] = test(outer, inners[k]) ? Answer::Yes : Answer::No;
            } catch (...) {
                errors[k] = std::current_exception();
                answers[k] = Answer::Raised;
            }
            ++decided;
        };
        if (inners.size() == 1 || pool_.Threads() == 1) {
            // Handing a single pair to another thread costs more than it.
            for (std::size_t k = 0; k < inners.size() && !cancel_; ++k) {
                decide(k);
                if (k % 64 == 63)
                    report();
            }
            report();
        } else {
            pool_.Run(inners.size(), decide, cancel_, report);
        }

        bool groupOpen = false;
        for (std::size_t k = 0; k < inners.size(); ++k) {
            switch (answers[k]) {
            case Answer::Pending:
                return stop(CheckOutcome::Cancelled);
            case Answer::Raised:
                return stop(CheckOutcome::Failed, errors[k]);
            case Answer::No:
                break;
            case Answer::Yes:
                if (!groupOpen) {
                    ++group;
                    groupOpen = true;
                    result.MatchList << MatchRecord(group, files_.at(outer));
                }
                result.MatchList << MatchRecord(group, files_.at(inners[k]));
                Remove(inners[k]);
                --count;
                if (gone)
                    gone(inners[k]);
                break;
            }
        }
        if (gone)
            gone(outer);
        before += std::int64_t(inners.size());
        ++position;
    }
    result.remaining = listNow();
    return result;
}

} // namespace orvelle
