#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include <QFile>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ExactCheck.h"
#include "Errors.h"
#include "ExactCompare.h"
#include "ReferenceRun.h"
#include "TestSupport.h"

using orvelle::CheckOutcome;
using orvelle::CheckResult;
using orvelle::RunExactCheck;
using orvelle::test::ExpectSame;
using orvelle::test::MessageOf;
using orvelle::test::Reference;
using orvelle::test::RunReference;
using orvelle::test::Sandbox;

namespace {

// The exact mode's IsDuplicate, pair by pair: the oracle the engine must
// agree with.
bool PairIdentical(const QString& a, const QString& b)
{
    return a != b && orvelle::FilesIdentical(a, b);
}

QByteArray Random(std::mt19937& random, qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

QByteArray Flipped(QByteArray bytes, qsizetype at)
{
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    return bytes;
}

bool Link(const QString& from, const QString& to)
{
#ifdef _WIN32
    return false;
#else
    return ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

// Files that exercise every way of telling equal files apart: copies,
// traps of one size with a byte flipped at the start, the middle, the end
// and across the block boundaries, buckets too large to read side by side,
// empty files, other names of one file, and paths that cannot be opened.
struct Pool {
    Sandbox box;
    QStringList good;
    QStringList bad;

    Pool()
    {
        std::mt19937 random(515);
        const QByteArray small = Random(random, 3000);
        const QByteArray big = Random(random, 300 * 1024 + 7); // past the first block and a chunk
        const QByteArray mid = Random(random, 70 * 1024);      // one block and a bit
        const QByteArray tiny = Random(random, 100);
        for (int k = 0; k < 3; ++k)
            good << box.WriteFile(QStringLiteral("s%1/small.jpg").arg(k), small);
        good << box.WriteFile("trap/small-size.jpg", Random(random, small.size()));
        good << box.WriteFile("trap/small-first.jpg", Flipped(small, 0));
        good << box.WriteFile("trap/small-last.jpg", Flipped(small, small.size() - 1));
        for (int k = 0; k < 3; ++k)
            good << box.WriteFile(QStringLiteral("b%1/big.bmp").arg(k), big);
        good << box.WriteFile("trap/big-last.bmp", Flipped(big, big.size() - 1));
        good << box.WriteFile("trap/big-chunk.bmp", Flipped(big, 256 * 1024));
        good << box.WriteFile("trap/big-head.bmp", Flipped(big, 64 * 1024));
        // More of one size and first block than are read side by side.
        for (int k = 0; k < 20; ++k)
            good << box.WriteFile(QStringLiteral("m/mid%1.jpg").arg(k), mid);
        for (int k = 0; k < 3; ++k)
            good << box.WriteFile(QStringLiteral("m/mid-tail%1.jpg").arg(k),
                                  Flipped(mid, mid.size() - 1 - k));
        for (int k = 0; k < 20; ++k)
            good << box.WriteFile(QStringLiteral("t/tiny%1.jpg").arg(k), k % 7 ? tiny : Flipped(tiny, k));
        for (int k = 0; k < 3; ++k)
            good << box.WriteFile(QStringLiteral("e/empty%1.jpg").arg(k));
        good << box.WriteFile("other.jpg", Random(random, 5000));
        // Other names of files already in the pool.
        if (Link(good.front(), box("s0/hard.jpg")))
            good << box("s0/hard.jpg");
        if (QFile::link(box("b0/big.bmp"), box("b0/soft.bmp")))
            good << box("b0/soft.bmp");
        good << box("s1/../s1/small.jpg") << box("./m/mid0.jpg");

        bad << box("missing.jpg") << box.MakeDir("folder.jpg");
#ifndef _WIN32
        if (::mkfifo(QFile::encodeName(box("pipe.jpg")).constData(), 0600) == 0)
            bad << box("pipe.jpg");
#endif
    }

    QStringList Draw(std::mt19937& random, int size, bool withBad) const
    {
        return orvelle::test::RandomList(random, good, withBad ? bad : QStringList{}, size, 12);
    }
};

const Pool& ThePool()
{
    static const Pool pool;
    return pool;
}

CheckResult Engine(const QStringList& files, int threads)
{
    const std::atomic<bool> cancel{false};
    return RunExactCheck(files, cancel, {}, threads);
}

} // namespace

TEST(ExactCheck, WorkedExamples)
{
    Sandbox box;
    const QString a = box.WriteFile("a.jpg", "same"), copy = box.WriteFile("copy.jpg", "same");
    const QString c = box.WriteFile("c.jpg", "other"), missing = box("missing.jpg");
    const QString link = box("link.jpg");
    const bool linked = Link(a, link);

    // Deletions in visiting order come before the error that stops the run.
    CheckResult r = Engine({a, missing, copy, c}, 2);
    EXPECT_EQ(r.outcome, CheckOutcome::Failed);
    EXPECT_EQ(MessageOf(r), orvelle::FileOpenText(missing));
    EXPECT_EQ(r.MatchList, (QStringList{"00000001" + a, "00000001" + copy}));
    EXPECT_EQ(r.remaining, (QStringList{a, missing, c}));

    // An outer entry that cannot be opened is named, whatever comes after it.
    r = Engine({missing, a, copy}, 2);
    EXPECT_EQ(MessageOf(r), orvelle::FileOpenText(missing));
    EXPECT_TRUE(r.MatchList.isEmpty());
    // ... unless it is never compared with anything.
    r = Engine({missing, missing}, 2);
    EXPECT_EQ(r.outcome, CheckOutcome::Finished);

    if (linked) {
        // The file's second name is refused when its pair comes, not before.
        r = Engine({a, link, copy}, 2);
        EXPECT_EQ(MessageOf(r), orvelle::FileOpenText(link));
        EXPECT_EQ(r.remaining, (QStringList{a, link}));
        r = Engine({c, a, link}, 2);
        EXPECT_EQ(MessageOf(r), orvelle::FileOpenText(link));
        EXPECT_TRUE(r.MatchList.isEmpty());
    }

    // Equal path texts are never compared; groups come in order of their first entry.
    r = Engine({c, a, a, box.WriteFile("c2.jpg", "other"), copy}, 2);
    EXPECT_EQ(r.outcome, CheckOutcome::Finished);
    EXPECT_EQ(r.MatchList, (QStringList{"00000001" + c, "00000001" + box("c2.jpg"),
                                        "00000002" + a, "00000002" + copy}));
    EXPECT_EQ(r.remaining, (QStringList{c, a, a}));
}

TEST(ExactCheck, MatchesTheReferenceOnRandomListsOfRealFiles)
{
    const Pool& pool = ThePool();
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        const QStringList files = pool.Draw(random, int(random() % 16), round % 3 == 0);
        const Reference reference = RunReference(files, PairIdentical);
        for (int threads : {1, 2, 3})
            ExpectSame(Engine(files, threads), reference,
                       "round " + std::to_string(round) + " threads " + std::to_string(threads));
    }
    // A long list, where most entries meet many others of their size.
    const QStringList files = pool.Draw(random, 250, false);
    ExpectSame(Engine(files, 2), RunReference(files, PairIdentical), "long list");
}

TEST(ExactCheck, CancelLeavesAStateTheRunPassesThrough)
{
    const Pool& pool = ThePool();
    std::mt19937 random(77);
    int cancelled = 0;
    for (int round = 0; round < 40; ++round) {
        // Round 0 is cancelled before it starts; the others somewhere in the
        // few milliseconds a run of 200 entries takes.
        const auto delay = std::chrono::microseconds(round == 0 ? 0 : 1 + random() % 2500);
        const QStringList files = pool.Draw(random, 200, false);
        cancelled += orvelle::test::ExpectCancelSeenBetweenPairs(
            files, PairIdentical, delay,
            [&](const std::atomic<bool>& cancel) { return RunExactCheck(files, cancel, {}, 2); },
            "round " + std::to_string(round));
    }
    EXPECT_GT(cancelled, 0);
}

TEST(ExactCheck, ReportsTheShareOfWorkDone)
{
    const Pool& pool = ThePool();
    const std::atomic<bool> cancel{false};
    std::int64_t last = 0, total = 0;
    bool backwards = false;
    const orvelle::ProgressSink sink = [&](const orvelle::CheckProgress& p) {
        backwards = backwards || p.done < last || p.done > p.total;
        last = p.done;
        total = p.total;
        EXPECT_TRUE(p.from.startsWith(pool.box.Path()) && p.to.startsWith(pool.box.Path()));
    };
    RunExactCheck(pool.good, cancel, sink, 2);
    EXPECT_FALSE(backwards);
    EXPECT_GT(total, 0);
    EXPECT_EQ(last, total); // the last report says all is done
}
