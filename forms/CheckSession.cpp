#include "CheckSession.h"

#include <algorithm>

#include <QEventLoop>
#include <QFutureWatcher>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>

#include "Check.h"
#include "NativePath.h"
#include "ProgressUnit.h"

namespace orvelle {

namespace {

constexpr int kRefreshMs = 100;
constexpr int kBarSteps = 1000;

} // namespace

CheckSession::CheckSession(TProgressDlg* progress, const std::atomic<bool>& cancel)
    : progress_(progress), cancel_(cancel)
{
}

void CheckSession::ShowProgress()
{
    CheckProgress now;
    {
        const std::lock_guard lock(mutex_);
        if (!fresh_)
            return;
        now = latest_;
        fresh_ = false;
    }
    if (!progress_)
        return;
    // The bar shows the share of the whole run's work done.
    progress_->ProgressBar1()->setMaximum(kBarSteps);
    progress_->ProgressBar1()->setValue(
        now.total > 0 ? int(std::min(now.done, now.total) * kBarSteps / now.total) : 0);
    progress_->Label1()->setText(QStringLiteral("比較元：") + DisplayText(now.from));
    progress_->Label2()->setText(QStringLiteral("比較先：") + DisplayText(now.to));
}

CheckResult CheckSession::Run(const QStringList& files, bool ExactMode, const FuzzyOptions& options)
{
    if (progress_)
        progress_->show();

    const ProgressSink sink = [this](const CheckProgress& p) {
        const std::lock_guard lock(mutex_);
        latest_ = p;
        fresh_ = true;
    };
    const int threads = std::max(1, QThread::idealThreadCount());
    QFuture<CheckResult> future = QtConcurrent::run([=, this] {
        try {
            return RunCheck(files, {ExactMode, options}, cancel_, sink, threads);
        } catch (...) {
            // The engine keeps the errors of comparisons; this is for the rest
            // (memory running out while copying the list, say).
            CheckResult failed;
            failed.outcome = CheckOutcome::Failed;
            failed.error = std::current_exception();
            failed.remaining = files;
            return failed;
        }
    });

    QEventLoop loop;
    QFutureWatcher<CheckResult> watcher;
    connect(&watcher, &QFutureWatcher<CheckResult>::finished, &loop, &QEventLoop::quit);
    QTimer refresh;
    connect(&refresh, &QTimer::timeout, this, &CheckSession::ShowProgress);
    refresh.start(kRefreshMs);
    watcher.setFuture(future);
    loop.exec();
    refresh.stop();
    ShowProgress();
    return future.result();
}

} // namespace orvelle
