#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "CheckRun.h"

namespace orvelle::test {

// The check run exactly as its algorithm reads, step by step and one pair
// at a time, kept apart from the engines so that they can be checked
// against it.
struct Reference {
    QStringList MatchList;
    QStringList files;
    CheckOutcome outcome = CheckOutcome::Finished;
    QString error; // the message of the error that ended the run
};

// cancelBeforePair: the poll before that pair (counting every visited pair
// from 0, skipped ones included) finds Cancel set. listAtPolls, when given,
// receives the list as every poll sees it: the states a cancelled run may
// leave.
Reference RunReference(QStringList files, const PairTest& IsDuplicate, int cancelBeforePair = -1,
                       std::vector<QStringList>* listAtPolls = nullptr);

// The message of a result's error, empty without one.
QString MessageOf(const CheckResult& result);

// The engine's result against the reference's, as GoogleTest expectations.
void ExpectSame(const CheckResult& engine, const Reference& reference, const std::string& what);

// A random list of size entries from good, with an entry of bad now and then
// (about one in badOneIn) where bad is not empty.
QStringList RandomList(std::mt19937& random, const QStringList& good, const QStringList& bad,
                       int size, int badOneIn);

// Runs the engine with Cancel set after delay (before it starts when delay
// is zero). A cancelled run must leave a list the reference passes through;
// a run that ended otherwise must equal the reference. True when cancelled.
bool ExpectCancelSeenBetweenPairs(const QStringList& files, const PairTest& IsDuplicate,
                                  std::chrono::microseconds delay,
                                  const std::function<CheckResult(const std::atomic<bool>&)>& run,
                                  const std::string& what);

} // namespace orvelle::test
