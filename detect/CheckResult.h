#pragma once

#include <cstdint>
#include <exception>
#include <functional>

#include <QString>
#include <QStringList>

namespace orvelle {

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

} // namespace orvelle
