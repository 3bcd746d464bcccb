#include "CheckRun.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace orvelle {

// Threads that work through the comparisons of one outer entry while the
// run takes their results in visiting order.
class CheckRun::Workers {
public:
    Workers(int count, const PairTest& test, const std::atomic<bool>& cancel)
        : test_(test), cancel_(cancel)
    {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this] { Work(); });
    }

    ~Workers()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }

    // The comparisons of outer with each of inners, to be taken in order.
    void Start(const QString& outer, std::vector<QString> inners)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return busy_ == 0; });
        outer_ = outer;
        inners_ = std::move(inners);
        done_.assign(inners_.size(), false);
        answers_.assign(inners_.size(), false);
        errors_.assign(inners_.size(), nullptr);
        next_ = 0;
        lock.unlock();
        changed_.notify_all();
    }

    // The answer for inners[k], waiting for it; its error is thrown here.
    bool Result(std::size_t k)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return bool(done_[k]); });
        if (errors_[k])
            std::rethrow_exception(errors_[k]);
        return answers_[k];
    }

    // No further comparisons of this outer entry are started.
    void Abandon()
    {
        const std::lock_guard lock(mutex_);
        next_ = inners_.size();
    }

private:
    void Work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || next_ < inners_.size(); });
            if (stop_)
                return;
            const std::size_t k = next_++;
            const QString outer = outer_;
            const QString inner = inners_[k];
            ++busy_;
            lock.unlock();

            bool answer = false;
            std::exception_ptr error;
            if (!cancel_) {
                try {
                    answer = test_(outer, inner);
                } catch (...) {
                    error = std::current_exception();
                }
            }

            lock.lock();
            --busy_;
            answers_[k] = answer;
            errors_[k] = error;
            done_[k] = true;
            changed_.notify_all();
        }
    }

    const PairTest& test_;
    const std::atomic<bool>& cancel_;
    std::mutex mutex_;
    std::condition_variable changed_;
    QString outer_;
    std::vector<QString> inners_;
    std::vector<bool> done_;
    std::vector<bool> answers_;
    std::vector<std::exception_ptr> errors_;
    std::size_t next_ = 0;
    int busy_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

namespace {

// The pairs the passes of outer entries b … n − 1 visit in a list of n.
std::int64_t PairsFrom(int b, int n)
{
    const std::int64_t k = std::max(0, n - b);
    return k * (k + 1) / 2;
}

} // namespace

CheckRun::CheckRun(QStringList files, PairTest test, const std::atomic<bool>& cancel,
                   ProgressSink progress, int threads)
    : files_(std::move(files)), test_(std::move(test)), cancel_(cancel),
      progress_(std::move(progress)), threads_(threads)
{
}

CheckResult CheckRun::Execute()
{
    CheckResult result;
    QStringList list = files_;
    const std::unique_ptr<Workers> workers =
        threads_ > 1 ? std::make_unique<Workers>(threads_, test_, cancel_) : nullptr;
    int group = 0;
    std::int64_t visited = 0;

    for (int b = 0; b <= list.size() - 1; ++b) {
        const int n = int(list.size());
        const QString outer = list.at(b);
        bool groupOpen = false;
        if (workers) {
            std::vector<QString> inners;
            for (int i = n - 1; i > b; --i) {
                if (list.at(i) != outer)
                    inners.push_back(list.at(i));
            }
            workers->Start(outer, std::move(inners));
        }
        std::size_t k = 0; // the next of this entry's comparisons
        for (int i = n - 1; i >= b; --i) {
            if (cancel_) {
                result.outcome = CheckOutcome::Cancelled;
                result.remaining = list;
                return result;
            }
            const QString inner = list.at(i);
            ++visited;
            if (progress_) {
                // What is left is counted as if nothing more matched.
                const std::int64_t left = std::int64_t(i - b) + PairsFrom(b + 1, n);
                progress_({b, n, outer, inner, visited, visited + left});
            }
            if (inner == outer)
                continue;
            bool duplicate = false;
            try {
                duplicate = workers ? workers->Result(k++) : test_(outer, inner);
            } catch (...) {
                if (workers)
                    workers->Abandon();
                result.outcome = CheckOutcome::Failed;
                result.error = std::current_exception();
                result.remaining = list;
                return result;
            }
            if (duplicate) {
                if (!groupOpen) {
                    ++group;
                    groupOpen = true;
                    result.MatchList << MatchRecord(group, outer);
                }
                result.MatchList << MatchRecord(group, inner);
                list.removeAt(i);
            }
        }
    }
    result.remaining = list;
    return result;
}

} // namespace orvelle
