#include "ExactCheck.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include <QHash>

#include "ContentClasses.h"
#include "Errors.h"
#include "ReadOnlyFile.h"
#include "WorkPool.h"

namespace orvelle {

namespace {

// What one look at a path text tells.
struct Probe {
    bool opens = false;
    std::uint64_t size = 0;
    FileId id{};
};

struct FileIdHash {
    std::size_t operator()(const FileId& id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.node * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

// Progress is counted in bytes looked at; opening a file counts as a block.
constexpr std::int64_t kOpenWeight = 4096;
constexpr std::int64_t kHeadWeight = 64 * 1024;

class ExactCheck {
public:
    ExactCheck(const QStringList& files, const std::atomic<bool>& cancel,
               const ProgressSink& progress, int threads)
        : files_(files), cancel_(cancel), progress_(progress), threads_(std::max(threads, 1))
    {
    }

    CheckResult Execute()
    {
        const int n = int(files_.size());
        if (n == 0)
            return Finished({});
        IndexTexts();
        // Until the sizes are known, most files are guessed to need their
        // first block read.
        total_ = std::int64_t(texts_.size()) * (kOpenWeight + kHeadWeight);
        ProbeAll();
        total_ = done_;
        if (cancel_)
            return Cancelled({});

        const auto failing = std::find_if(probes_.begin(), probes_.end(),
                                          [](const Probe& p) { return !p.opens; });
        if (failing != probes_.end())
            return FirstPassFails();

        GroupFiles();
        ResolveGroups();
        return Compose(cut_);
    }

private:
    // --------------------------------------------------------- the entries

    void IndexTexts()
    {
        QHash<QString, int> index;
        index.reserve(files_.size());
        textOf_.reserve(static_cast<std::size_t>(files_.size()));
        for (const QString& path : files_) {
            auto it = index.find(path);
            if (it == index.end()) {
                it = index.insert(path, int(texts_.size()));
                texts_.push_back(path);
            }
            textOf_.push_back(*it);
        }
    }

    void ProbeAll()
    {
        probes_.assign(texts_.size(), {});
        ParallelFor(
            texts_.size(), threads_,
            [this](std::size_t k) {
                if (std::optional<ReadOnlyFile> file = ReadOnlyFile::Open(texts_[k]))
                    probes_[k] = {true, file->Size(), file->Id()};
                done_ += kOpenWeight;
            },
            cancel_, [this] { Report(0, {}); });
    }

    const Probe& ProbeOf(int entry) const
    {
        return probes_[static_cast<std::size_t>(textOf_[static_cast<std::size_t>(entry)])];
    }
    bool SameText(int a, int b) const
    {
        return textOf_[static_cast<std::size_t>(a)] == textOf_[static_cast<std::size_t>(b)];
    }

    // ------------------------------------------ an entry that cannot open

    // The first pass (outer entry 0) visits every entry under another path
    // text, so an entry that cannot be opened always ends the run there.
    CheckResult FirstPassFails()
    {
        const int n = int(files_.size());
        const Probe& outer = ProbeOf(0);
        if (!outer.opens) {
            // The outer entry is opened first: its error comes at the first
            // pair compared at all.
            for (int i = n - 1; i > 0; --i) {
                if (!SameText(0, i))
                    return Failed({}, {}, files_.at(0));
            }
            return Finished({}); // nothing but the one path text
        }
        int failure = 0;
        for (int i = n - 1; i > 0 && failure == 0; --i) {
            const Probe& p = ProbeOf(i);
            if (!p.opens || (!SameText(0, i) && p.id == outer.id))
                failure = i;
        }
        // The pairs visited before it: the entries after it that match the
        // outer entry leave the list.
        std::vector<QString> paths{files_.at(0)};
        std::vector<int> entries{0};
        for (int i = n - 1; i > failure; --i) {
            const Probe& p = ProbeOf(i);
            if (!SameText(0, i) && p.size == outer.size) {
                paths.push_back(files_.at(i));
                entries.push_back(i);
            }
        }
        std::vector<int> matched;
        if (paths.size() > 1) {
            const std::optional<std::vector<int>> labels = SplitByContent(paths, outer.size, cancel_);
            if (!labels)
                return Cancelled({});
            for (std::size_t k = 1; k < paths.size(); ++k) {
                if ((*labels)[k] == (*labels)[0])
                    matched.push_back(entries[k]);
            }
        }
        std::vector<bool> deleted(static_cast<std::size_t>(n), false);
        QStringList records;
        if (!matched.empty()) {
            records << MatchRecord(1, files_.at(0));
            for (int i : matched) {
                records << MatchRecord(1, files_.at(i));
                deleted[static_cast<std::size_t>(i)] = true;
            }
        }
        return Failed(records, deleted, files_.at(failure));
    }

    // ------------------------------------------------------------ classes

    void GroupFiles()
    {
        std::unordered_map<FileId, int, FileIdHash> index;
        fileOfText_.assign(texts_.size(), -1);
        for (int e = 0; e < int(files_.size()); ++e) {
            const int text = textOf_[static_cast<std::size_t>(e)];
            if (fileOfText_[static_cast<std::size_t>(text)] >= 0)
                continue;
            const Probe& p = probes_[static_cast<std::size_t>(text)];
            auto [it, fresh] = index.try_emplace(p.id, int(filePath_.size()));
            if (fresh) {
                filePath_.push_back(texts_[static_cast<std::size_t>(text)]);
                fileSize_.push_back(p.size);
                fileFirstEntry_.push_back(e);
            }
            fileOfText_[static_cast<std::size_t>(text)] = it->second;
        }
        classOf_.resize(filePath_.size());
        for (std::size_t f = 0; f < classOf_.size(); ++f)
            classOf_[f] = int(f);

        // Files of one size, ordered by the first entry of any of them: the
        // groups are resolved in that order, so that the passes settled so
        // far form an unbroken prefix of the run.
        std::vector<int> bySize(filePath_.size());
        for (std::size_t f = 0; f < bySize.size(); ++f)
            bySize[f] = int(f);
        std::sort(bySize.begin(), bySize.end(), [this](int a, int b) {
            return fileSize_[std::size_t(a)] != fileSize_[std::size_t(b)]
                       ? fileSize_[std::size_t(a)] < fileSize_[std::size_t(b)]
                       : a < b;
        });
        for (std::size_t i = 0; i < bySize.size();) {
            std::size_t j = i + 1;
            while (j < bySize.size() &&
                   fileSize_[std::size_t(bySize[j])] == fileSize_[std::size_t(bySize[i])])
                ++j;
            if (j - i > 1) {
                Group g;
                g.files.assign(bySize.begin() + std::ptrdiff_t(i), bySize.begin() + std::ptrdiff_t(j));
                g.firstEntry = fileFirstEntry_[std::size_t(g.files.front())];
                for (int f : g.files)
                    g.firstEntry = std::min(g.firstEntry, fileFirstEntry_[std::size_t(f)]);
                const std::int64_t size = std::int64_t(fileSize_[std::size_t(g.files.front())]);
                g.weight = std::int64_t(g.files.size()) * (std::min(size, kHeadWeight) + kOpenWeight);
                total_ += g.weight;
                groups_.push_back(std::move(g));
            }
            i = j;
        }
        std::sort(groups_.begin(), groups_.end(),
                  [](const Group& a, const Group& b) { return a.firstEntry < b.firstEntry; });
        cut_ = int(files_.size());
    }

    void ResolveGroups()
    {
        resolved_ = std::make_unique<std::atomic<bool>[]>(groups_.size());
        const auto reading = [this](const QString& path) {
            const std::lock_guard lock(mutex_);
            reading_ = path;
        };
        ParallelFor(
            groups_.size(), threads_,
            [&](std::size_t g) {
                Group& group = groups_[g];
                std::vector<QString> paths;
                paths.reserve(group.files.size());
                for (int f : group.files)
                    paths.push_back(filePath_[std::size_t(f)]);
                const std::optional<std::vector<int>> labels =
                    SplitByContent(paths, fileSize_[std::size_t(group.files.front())], cancel_, reading);
                if (!labels)
                    return;
                // Each class is named by its first file.
                std::vector<int> first(group.files.size(), -1);
                for (std::size_t k = 0; k < group.files.size(); ++k) {
                    int& head = first[std::size_t((*labels)[k])];
                    if (head < 0)
                        head = group.files[k];
                    classOf_[std::size_t(group.files[k])] = head;
                }
                done_ += group.weight;
                resolved_[g] = true;
            },
            cancel_, [this] { Report(Cut(), ReadingNow()); });
        cut_ = Cut();
    }

    // The first entry whose pass is not known yet.
    int Cut()
    {
        while (settled_ < groups_.size() && resolved_[settled_])
            ++settled_;
        return settled_ < groups_.size() ? groups_[settled_].firstEntry : int(files_.size());
    }

    QString ReadingNow()
    {
        const std::lock_guard lock(mutex_);
        return reading_;
    }

    // The passes before entry `limit` as the run makes them.
    CheckResult Compose(int limit)
    {
        const int n = int(files_.size());
        const auto classOfEntry = [this](int e) {
            return classOf_[std::size_t(fileOfText_[std::size_t(textOf_[std::size_t(e)])])];
        };
        std::vector<std::vector<int>> members(filePath_.size());
        for (int e = 0; e < n; ++e)
            members[std::size_t(classOfEntry(e))].push_back(e);

        std::vector<bool> deleted(static_cast<std::size_t>(n), false);
        std::vector<bool> settled(filePath_.size(), false);
        QStringList records;
        int group = 0;
        for (int leader = 0; leader < n; ++leader) {
            if (leader >= limit)
                return Cancelled(deleted);
            const int cls = classOfEntry(leader);
            if (settled[std::size_t(cls)])
                continue;
            settled[std::size_t(cls)] = true;
            const int leaderFile = fileOfText_[std::size_t(textOf_[std::size_t(leader)])];
            // Visited from the end of the list: the first member that is the
            // leader's own file under another name stops the run.
            bool open = false;
            const std::vector<int>& all = members[std::size_t(cls)];
            for (auto it = all.rbegin(); it != all.rend() && *it > leader; ++it) {
                const int i = *it;
                if (SameText(leader, i))
                    continue;
                if (fileOfText_[std::size_t(textOf_[std::size_t(i)])] == leaderFile)
                    return Failed(records, deleted, files_.at(i));
                if (!open) {
                    ++group;
                    open = true;
                    records << MatchRecord(group, files_.at(leader));
                }
                records << MatchRecord(group, files_.at(i));
                deleted[std::size_t(i)] = true;
            }
        }
        CheckResult result = Finished(deleted);
        result.MatchList = records;
        return result;
    }

    // ------------------------------------------------------------ results

    QStringList Remaining(const std::vector<bool>& deleted) const
    {
        if (deleted.empty())
            return files_;
        QStringList left;
        left.reserve(files_.size());
        for (int e = 0; e < int(files_.size()); ++e) {
            if (!deleted[std::size_t(e)])
                left << files_.at(e);
        }
        return left;
    }

    CheckResult Finished(const std::vector<bool>& deleted) const
    {
        CheckResult r;
        r.remaining = Remaining(deleted);
        return r;
    }

    CheckResult Cancelled(const std::vector<bool>& deleted) const
    {
        CheckResult r;
        r.outcome = CheckOutcome::Cancelled;
        r.remaining = Remaining(deleted);
        return r;
    }

    CheckResult Failed(const QStringList& records, const std::vector<bool>& deleted,
                       const QString& path) const
    {
        CheckResult r;
        r.outcome = CheckOutcome::Failed;
        r.MatchList = records;
        r.remaining = Remaining(deleted);
        r.error = std::make_exception_ptr(EFOpenError(FileOpenText(path)));
        return r;
    }

    void Report(int cut, const QString& reading)
    {
        if (!progress_)
            return;
        CheckProgress p;
        p.outer = std::min(cut, int(files_.size()) - 1);
        p.count = int(files_.size());
        p.from = files_.at(p.outer);
        p.to = reading.isEmpty() ? p.from : reading;
        p.done = done_;
        p.total = total_;
        progress_(p);
    }

    struct Group {
        std::vector<int> files;
        int firstEntry = 0;
        std::int64_t weight = 0;
    };

    const QStringList& files_;
    const std::atomic<bool>& cancel_;
    const ProgressSink& progress_;
    const int threads_;

    std::vector<QString> texts_;
    std::vector<int> textOf_;
    std::vector<Probe> probes_;

    std::vector<QString> filePath_;
    std::vector<std::uint64_t> fileSize_;
    std::vector<int> fileFirstEntry_;
    std::vector<int> fileOfText_;
    std::vector<int> classOf_;
    std::vector<Group> groups_;
    std::unique_ptr<std::atomic<bool>[]> resolved_;
    std::size_t settled_ = 0;
    int cut_ = 0;

    std::atomic<std::int64_t> done_{0};
    std::int64_t total_ = 0;
    std::mutex mutex_;
    QString reading_;
};

} // namespace

CheckResult RunExactCheck(const QStringList& files, const std::atomic<bool>& cancel,
                          const ProgressSink& progress, int threads)
{
    return ExactCheck(files, cancel, progress, threads).Execute();
}

} // namespace orvelle
