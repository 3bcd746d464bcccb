#pragma once

#include <atomic>
#include <mutex>

#include <QObject>
#include <QStringList>

#include "CheckResult.h"
#include "FuzzyCompare.h"

class TProgressDlg;

namespace orvelle {

// One check run on a worker thread while the event loop goes on, so the
// windows repaint and the progress dialog's Cancel reaches the run. The
// progress dialog shows the pair being compared, refreshed ten times a
// second.
class CheckSession final : public QObject {
    Q_OBJECT
public:
    // progress may be null (no progress display).
    CheckSession(TProgressDlg* progress, const std::atomic<bool>& cancel);

    // Shows the progress dialog, runs the check and returns once it has
    // ended, whichever way.
    CheckResult Run(const QStringList& files, bool ExactMode, const FuzzyOptions& options);

private:
    void ShowProgress();

    TProgressDlg* progress_;
    const std::atomic<bool>& cancel_;
    std::mutex mutex_;
    CheckProgress latest_;
    bool fresh_ = false;
};

} // namespace orvelle
