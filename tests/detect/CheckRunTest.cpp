#include <atomic>
#include <random>

#include <gtest/gtest.h>

#include <QSet>

#include "CheckRun.h"
#include "Errors.h"
#include "ReferenceRun.h"

using orvelle::CheckOutcome;
using orvelle::CheckResult;
using orvelle::CheckRun;
using orvelle::test::ExpectSame;
using orvelle::test::MessageOf;
using orvelle::test::Reference;
using orvelle::test::RunReference;

namespace {

// A relation given by a table of "outer>inner" pairs.
orvelle::PairTest Matches(QSet<QString> pairs)
{
    return [pairs](const QString& a, const QString& b) { return pairs.contains(a + u'>' + b); };
}

CheckResult RunEngine(const QStringList& files, const orvelle::PairTest& test, int threads = 1)
{
    const std::atomic<bool> cancel{false};
    return CheckRun(files, test, cancel, {}, threads).Execute();
}

} // namespace

TEST(CheckRun, WorkedExamples)
{
    // A matches B and D: records A, D, B (inner entries from the end); the list keeps A, C.
    const auto abd = Matches({"A>B", "A>D"});
    CheckResult r = RunEngine({"A", "B", "C", "D"}, abd);
    EXPECT_EQ(r.outcome, CheckOutcome::Finished);
    EXPECT_EQ(r.MatchList, (QStringList{"00000001A", "00000001D", "00000001B"}));
    EXPECT_EQ(r.remaining, (QStringList{"A", "C"}));

    // Two groups.
    r = RunEngine({"A", "B", "C", "D"}, Matches({"A>C", "B>D"}));
    EXPECT_EQ(r.MatchList, (QStringList{"00000001A", "00000001C", "00000002B", "00000002D"}));

    // Matches are not followed: A~B and B~C, but not A~C, leaves C alone.
    r = RunEngine({"A", "B", "C"}, Matches({"A>B", "B>C"}));
    EXPECT_EQ(r.MatchList, (QStringList{"00000001A", "00000001B"}));
    EXPECT_EQ(r.remaining, (QStringList{"A", "C"}));

    // Only the outer entry is ever Path1.
    r = RunEngine({"A", "B"}, Matches({"B>A"}));
    EXPECT_TRUE(r.MatchList.isEmpty());

    // The same text twice is never compared; one entry compares nothing.
    int calls = 0;
    const orvelle::PairTest counting = [&](const QString&, const QString&) {
        ++calls;
        return true;
    };
    r = RunEngine({"X", "X"}, counting);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(r.MatchList.isEmpty());
    r = RunEngine({"only"}, counting);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(r.remaining, QStringList{"only"});

    EXPECT_EQ(orvelle::MatchRecord(12, "X"), QStringLiteral("00000012X"));
    EXPECT_EQ(orvelle::MatchRecord(123456789, "X"), QStringLiteral("123456789X"));
}

TEST(CheckRun, AnErrorStopsTheRunAfterTheDeletionsBeforeIt)
{
    // D matches A and is deleted first (visited from the end); then C fails.
    const orvelle::PairTest test = [](const QString& a, const QString& b) {
        if (b == u"C")
            throw EFOpenError(orvelle::FileOpenText(b));
        return a == u"A" && b == u"D";
    };
    for (int threads : {1, 2, 4}) {
        const CheckResult r = RunEngine({"A", "B", "C", "D"}, test, threads);
        EXPECT_EQ(r.outcome, CheckOutcome::Failed);
        EXPECT_EQ(MessageOf(r), QStringLiteral("ファイル C は開けません"));
        EXPECT_EQ(r.remaining, (QStringList{"A", "B", "C"})) << threads;
        EXPECT_EQ(r.MatchList, (QStringList{"00000001A", "00000001D"}));
    }
}

TEST(CheckRun, CancelIsSeenBeforeTheNextPair)
{
    std::atomic<bool> cancel{false};
    int compared = 0;
    const orvelle::PairTest test = [&](const QString& a, const QString& b) {
        if (++compared == 2)
            cancel = true;
        return a == u"A" && b == u"D";
    };
    const CheckResult r = CheckRun({"A", "B", "C", "D"}, test, cancel).Execute();
    EXPECT_EQ(r.outcome, CheckOutcome::Cancelled);
    EXPECT_EQ(compared, 2);
    EXPECT_EQ(r.remaining, (QStringList{"A", "B", "C"})); // D's deletion stays
}

TEST(CheckRun, ProgressNamesEveryVisitedPair)
{
    const std::atomic<bool> cancel{false};
    QStringList seen;
    CheckRun run({"A", "B", "A"}, Matches({}), cancel, [&](const orvelle::CheckProgress& p) {
        seen << QStringLiteral("%1/%2 %3-%4").arg(p.outer).arg(p.count).arg(p.from, p.to);
    });
    run.Execute();
    // Equal texts and the outer entry itself are visited too (and skipped).
    EXPECT_EQ(seen, (QStringList{"0/3 A-A", "0/3 A-B", "0/3 A-A", "1/3 B-A", "1/3 B-B", "2/3 A-A"}));
}

TEST(CheckRun, MatchesTheReferenceOnRandomLists)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 400; ++round) {
        // Few distinct names, so equal texts are common.
        const int size = int(random() % 14);
        const int names = 1 + int(random() % 10);
        QStringList files;
        for (int i = 0; i < size; ++i)
            files << QStringLiteral("f%1").arg(random() % names);
        const unsigned salt = random();
        const int density = int(random() % 100);
        const bool failing = random() % 5 == 0;
        const QString bad = QStringLiteral("f%1").arg(random() % names);
        // A fixed random directional relation, with one unreadable name now and then.
        const orvelle::PairTest test = [=](const QString& a, const QString& b) {
            if (failing && (a == bad || b == bad))
                throw EFOpenError(orvelle::FileOpenText(a == bad ? a : b));
            const size_t h = qHash(a + u'>' + b, salt);
            return int(h % 100) < density;
        };
        const Reference reference = RunReference(files, test);
        for (int threads : {1, 2, 3}) {
            const std::string what = "round " + std::to_string(round) + " threads " +
                                     std::to_string(threads);
            ExpectSame(RunEngine(files, test, threads), reference, what);
        }

        // Cancelled at a random pair, on one thread, where the cut is exact.
        std::atomic<bool> cancel{false};
        int pairs = 0;
        const int cut = int(random() % 40);
        CheckRun cancelled(files, test, cancel, [&](const orvelle::CheckProgress&) {
            if (++pairs == cut + 1)
                cancel = true;
        });
        // The progress of pair k comes before its cancellation test for pair k + 1.
        const CheckResult r = cancelled.Execute();
        const Reference cut_reference = RunReference(files, test, cut + 1);
        if (cut_reference.outcome == CheckOutcome::Cancelled) {
            EXPECT_EQ(r.outcome, CheckOutcome::Cancelled) << round;
            EXPECT_EQ(r.remaining, cut_reference.files) << round;
            EXPECT_EQ(r.MatchList, cut_reference.MatchList) << round;
        }
    }
}
