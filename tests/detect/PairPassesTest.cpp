#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Errors.h"
#include "PairPasses.h"
#include "ReferenceRun.h"
#include "WorkPool.h"

using orvelle::CheckOutcome;
using orvelle::CheckResult;
using orvelle::PairPasses;
using orvelle::PassEntry;
using orvelle::WorkPool;
using orvelle::test::ExpectSame;
using orvelle::test::RunReference;

namespace {

// A made-up world of texts: each has a class (a picture size), may fail in
// every pair (a picture that does not load), may be a second name of another
// text's file, and a random table says which pairs of one class match.
struct World {
    std::vector<int> klass;
    std::vector<bool> fails;
    std::vector<int> file;
    std::vector<std::vector<bool>> matches;

    World(std::mt19937& random, int texts, int classes, int failOneIn, int matchOneIn)
    {
        for (int t = 0; t < texts; ++t) {
            klass.push_back(int(random() % unsigned(classes)));
            fails.push_back(random() % unsigned(failOneIn) == 0);
            // Now and then the same file as an earlier text.
            file.push_back(t > 0 && random() % 10 == 0 ? file[random() % unsigned(t)] : t);
            matches.emplace_back();
            for (int u = 0; u < texts; ++u)
                matches.back().push_back(random() % unsigned(matchOneIn) == 0);
        }
    }

    // What a pair of two different texts gives, in the order the fuzzy
    // comparison looks at things.
    bool Pair(int a, int b) const
    {
        if (file[std::size_t(a)] == file[std::size_t(b)])
            return false;
        for (const int t : {a, b}) {
            if (fails[std::size_t(t)])
                throw EReadError(QStringLiteral("fails ") + QString::number(t));
        }
        if (klass[std::size_t(a)] != klass[std::size_t(b)])
            return false;
        return matches[std::size_t(a)][std::size_t(b)];
    }

    static int TextOf(const QString& path) { return path.mid(1).toInt(); }
    static QString PathOf(int text) { return u't' + QString::number(text); }

    orvelle::PairTest Oracle() const
    {
        return [this](const QString& a, const QString& b) { return Pair(TextOf(a), TextOf(b)); };
    }

    QStringList List(std::mt19937& random, int size) const
    {
        QStringList files;
        for (int i = 0; i < size; ++i)
            files << PathOf(int(random() % klass.size()));
        return files;
    }

    std::vector<PassEntry> Entries(const QStringList& files) const
    {
        std::vector<PassEntry> entries;
        for (const QString& path : files) {
            const int t = TextOf(path);
            // A failing text's class is nobody's business.
            entries.push_back({t, fails[std::size_t(t)] ? 0 : klass[std::size_t(t)],
                               bool(fails[std::size_t(t)])});
        }
        return entries;
    }
};

} // namespace

TEST(PairPasses, MatchesTheReferenceOnRandomWorlds)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 120; ++round) {
        const int classes = 1 + int(random() % 6);
        // Failures are rare or absent in most rounds, so most runs get far.
        const int failOneIn = round % 3 == 0 ? 1000000 : 40 + int(random() % 200);
        const World world(random, 20 + int(random() % 60), classes, failOneIn,
                          2 + int(random() % 12));
        const QStringList files = world.List(random, 1 + int(random() % 160));
        const int threads = 1 + int(random() % 3);
        WorkPool pool(threads);
        const std::atomic<bool> cancel{false};
        PairPasses passes(files, world.Entries(files), pool, cancel);
        // The test is also asked which entries come ahead; what it is told
        // must be listed entries between the two that meet inner: not the
        // inner entry of a match of an earlier pass.
        std::atomic<int> wrongAhead{0};
        std::mutex mutex;
        std::vector<std::pair<int, int>> matched;
        const auto entries = world.Entries(files);
        const CheckResult r = passes.Execute([&](int outer, int inner) {
            const std::lock_guard lock(mutex);
            for (const int e : passes.OutersAhead(outer, inner, 8)) {
                const PassEntry& a = entries[std::size_t(e)];
                const PassEntry& b = entries[std::size_t(inner)];
                if (e <= outer || e >= inner || a.meetsAll || a.klass != b.klass || a.text == b.text)
                    ++wrongAhead;
                for (const auto& [o, i] : matched)
                    wrongAhead += o < outer && i == e;
            }
            const bool match =
                world.Pair(entries[std::size_t(outer)].text, entries[std::size_t(inner)].text);
            if (match)
                matched.emplace_back(outer, inner);
            return match;
        });
        const std::string what = "round " + std::to_string(round);
        ExpectSame(r, RunReference(files, world.Oracle()), what);
        EXPECT_EQ(wrongAhead, 0) << what;
    }
}

TEST(PairPasses, CancelInsideAPassKeepsTheListBetweenTwoPairs)
{
    std::mt19937 random(7);
    int cancelledWithMatches = 0;
    for (int round = 0; round < 60; ++round) {
        const World world(random, 30, 2, 1000000, 3);
        const QStringList files = world.List(random, 40);
        std::vector<QStringList> states;
        RunReference(files, world.Oracle(), -1, &states);
        WorkPool pool(1 + round % 3);
        std::atomic<bool> cancel{false};
        PairPasses passes(files, world.Entries(files), pool, cancel);
        const auto entries = world.Entries(files);
        const int cancelAt = int(random() % 200);
        std::atomic<int> calls{0};
        const CheckResult r = passes.Execute([&](int outer, int inner) {
            if (calls++ == cancelAt)
                cancel = true;
            return world.Pair(entries[std::size_t(outer)].text, entries[std::size_t(inner)].text);
        });
        if (r.outcome != CheckOutcome::Cancelled)
            continue;
        EXPECT_TRUE(r.MatchList.isEmpty());
        EXPECT_NE(std::find(states.begin(), states.end(), r.remaining), states.end())
            << "round " << round;
        cancelledWithMatches += r.remaining.size() < files.size();
    }
    // Some runs were cancelled after matches had left the list.
    EXPECT_GT(cancelledWithMatches, 0);
}

TEST(WorkPool, RoundsAfterRoundsDoEveryItemOnceAndRaiseTheFirstError)
{
    WorkPool pool(3);
    const std::atomic<bool> stop{false};
    for (std::size_t count : {0, 1, 2, 7, 1000}) {
        std::vector<std::atomic<int>> seen(count);
        pool.Run(count, [&](std::size_t i) { ++seen[i]; }, stop);
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(seen[i], 1) << count << " " << i;
    }
    EXPECT_THROW(pool.Run(
                     100,
                     [](std::size_t i) {
                         if (i == 40)
                             throw std::runtime_error("40");
                     },
                     stop),
                 std::runtime_error);
    // The pool is still good after an error.
    std::atomic<int> done{0};
    pool.Run(50, [&](std::size_t) { ++done; }, stop);
    EXPECT_EQ(done, 50);
}
