#include "ReferenceRun.h"

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "Errors.h"

namespace orvelle::test {

Reference RunReference(QStringList files, const PairTest& IsDuplicate, int cancelBeforePair,
                       std::vector<QStringList>* listAtPolls)
{
    Reference r;
    int pairs = 0;
    int group = 0;
    int b = 0;
    while (b <= files.size() - 1) {
        bool open = false;
        const int n = int(files.size());
        for (int i = n - 1; i >= b; --i) {
            if (listAtPolls)
                listAtPolls->push_back(files);
            if (pairs++ == cancelBeforePair) {
                r.outcome = CheckOutcome::Cancelled;
                r.files = files;
                return r;
            }
            if (files[b] == files[i])
                continue;
            bool dup = false;
            try {
                dup = IsDuplicate(files[b], files[i]);
            } catch (const orvelle::Exception& e) {
                r.outcome = CheckOutcome::Failed;
                r.error = e.Message();
                r.files = files;
                return r;
            }
            if (dup) {
                if (!open) {
                    ++group;
                    open = true;
                    r.MatchList << QString::asprintf("%.8d", group) + files[b];
                }
                r.MatchList << QString::asprintf("%.8d", group) + files[i];
                files.removeAt(i);
            }
        }
        ++b;
    }
    r.files = files;
    return r;
}

QString MessageOf(const CheckResult& result)
{
    if (!result.error)
        return {};
    try {
        std::rethrow_exception(result.error);
    } catch (const orvelle::Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

void ExpectSame(const CheckResult& engine, const Reference& reference, const std::string& what)
{
    EXPECT_EQ(engine.outcome, reference.outcome) << what;
    EXPECT_EQ(engine.MatchList, reference.MatchList) << what;
    EXPECT_EQ(engine.remaining, reference.files) << what;
    EXPECT_EQ(MessageOf(engine), reference.error) << what;
}

QStringList RandomList(std::mt19937& random, const QStringList& good, const QStringList& bad,
                       int size, int badOneIn)
{
    QStringList files;
    for (int i = 0; i < size; ++i) {
        if (!bad.isEmpty() && random() % unsigned(badOneIn) == 0)
            files << bad.at(qsizetype(random() % bad.size()));
        else
            files << good.at(qsizetype(random() % good.size()));
    }
    return files;
}

bool ExpectCancelSeenBetweenPairs(const QStringList& files, const PairTest& IsDuplicate,
                                  std::chrono::microseconds delay,
                                  const std::function<CheckResult(const std::atomic<bool>&)>& run,
                                  const std::string& what)
{
    std::vector<QStringList> states;
    const Reference reference = RunReference(files, IsDuplicate, -1, &states);
    std::atomic<bool> cancel{delay.count() == 0};
    std::thread canceller([&] {
        std::this_thread::sleep_for(delay);
        cancel = true;
    });
    const CheckResult r = run(cancel);
    canceller.join();
    if (r.outcome != CheckOutcome::Cancelled) {
        ExpectSame(r, reference, what);
        return false;
    }
    EXPECT_TRUE(r.MatchList.isEmpty()) << what;
    EXPECT_NE(std::find(states.begin(), states.end(), r.remaining), states.end()) << what;
    return true;
}

} // namespace orvelle::test
