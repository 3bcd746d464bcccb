#include "ExactCheck.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
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
    ContentSample sample;
};

// Progress is counted in bytes looked at; opening a file counts as a block.
constexpr std::int64_t kOpenWeight = 4096;
constexpr std::int64_t kHeadWeight = kSampleBytes;

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
        total_ = std::int64_t(textEntry_.size()) * (kOpenWeight + kHeadWeight);
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

    // Each distinct path text once, by the first entry that has it. An
    // open-addressing table of entry numbers keeps this to a few bytes an
    // entry, where lists run to a million paths.
    void IndexTexts()
    {
        const std::size_t n = static_cast<std::size_t>(files_.size());
        std::size_t capacity = 16;
        while (capacity < 2 * n)
            capacity *= 2;
        std::vector<int> table(capacity, -1);
        textOf_.reserve(n);
        for (int e = 0; e < int(n); ++e) {
            const QString& path = files_.at(e);
            std::size_t at = qHash(path) & (capacity - 1);
            while (table[at] >= 0 && files_.at(textEntry_[std::size_t(table[at])]) != path)
                at = (at + 1) & (capacity - 1);
            if (table[at] < 0) {
                table[at] = int(textEntry_.size());
                textEntry_.push_back(e);
            }
            textOf_.push_back(table[at]);
        }
    }

    const QString& Text(int text) const { return files_.at(textEntry_[std::size_t(text)]); }

    void ProbeAll()
    {
        probes_.assign(textEntry_.size(), {});
        ParallelFor(
            textEntry_.size(), threads_,
            [this](std::size_t k) {
                // The first block is hashed while the file is open anyway:
                // most files share their size with another in a large list.
                if (std::optional<ReadOnlyFile> file = ReadOnlyFile::Open(Text(int(k))))
                    probes_[k] = {true, file->Size(), file->Id(), SampleOf(*file)};
                done_ += kOpenWeight;
            },
            cancel_, [this] { Report(0, {}); });
    }

    int FirstEntryOf(int file) const { return textEntry_[std::size_t(fileText_[std::size_t(file)])]; }

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
        std::vector<ContentSample> samples{outer.sample};
        std::vector<int> entries{0};
        for (int i = n - 1; i > failure; --i) {
            const Probe& p = ProbeOf(i);
            if (!SameText(0, i) && p.size == outer.size) {
                paths.push_back(files_.at(i));
                samples.push_back(p.sample);
                entries.push_back(i);
            }
        }
        std::vector<int> matched;
        if (paths.size() > 1) {
            const std::optional<std::vector<int>> labels =
                SplitByContent(paths, outer.size, std::move(samples), cancel_);
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
        // Texts naming one file (device and file number) become one file,
        // numbered in order of its first entry.
        std::vector<int> byId(textEntry_.size());
        for (std::size_t t = 0; t < byId.size(); ++t)
            byId[t] = int(t);
        const auto idOf = [this](int t) -> const FileId& { return probes_[std::size_t(t)].id; };
        std::sort(byId.begin(), byId.end(), [&](int a, int b) {
            const FileId& x = idOf(a);
            const FileId& y = idOf(b);
            return x.device != y.device ? x.device < y.device : x.node != y.node ? x.node < y.node : a < b;
        });
        std::vector<int> firstTextOf(textEntry_.size());
        for (std::size_t i = 0; i < byId.size(); ++i) {
            const bool same = i > 0 && idOf(byId[i]) == idOf(byId[i - 1]);
            firstTextOf[std::size_t(byId[i])] = same ? firstTextOf[std::size_t(byId[i - 1])] : byId[i];
        }
        byId = {};
        // Texts are numbered by their first entry, so the first text of a
        // file is also its first entry's.
        fileOfText_.assign(textEntry_.size(), -1);
        for (std::size_t t = 0; t < textEntry_.size(); ++t) {
            const int first = firstTextOf[t];
            if (first == int(t)) {
                fileOfText_[t] = int(fileText_.size());
                fileText_.push_back(int(t));
                fileSize_.push_back(probes_[t].size);
                fileSample_.push_back(probes_[t].sample);
            } else {
                fileOfText_[t] = fileOfText_[std::size_t(first)];
            }
        }
        probes_ = {};
        classOf_.resize(fileText_.size());
        for (std::size_t f = 0; f < classOf_.size(); ++f)
            classOf_[f] = int(f);

        // Files of one size, ordered by the first entry of any of them: the
        // groups are resolved in that order, so that the passes settled so
        // far form an unbroken prefix of the run.
        std::vector<int> bySize(fileText_.size());
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
                g.firstEntry = FirstEntryOf(g.files.front());
                for (int f : g.files)
                    g.firstEntry = std::min(g.firstEntry, FirstEntryOf(f));
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
                std::vector<ContentSample> samples;
                paths.reserve(group.files.size());
                samples.reserve(group.files.size());
                for (int f : group.files) {
                    paths.push_back(Text(fileText_[std::size_t(f)]));
                    samples.push_back(fileSample_[std::size_t(f)]);
                }
                const std::optional<std::vector<int>> labels =
                    SplitByContent(paths, fileSize_[std::size_t(group.files.front())],
                                   std::move(samples), cancel_, reading);
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
        // The members of each class in list order, one array for all.
        std::vector<int> start(fileText_.size() + 1, 0);
        for (int e = 0; e < n; ++e)
            ++start[std::size_t(classOfEntry(e)) + 1];
        for (std::size_t c = 1; c < start.size(); ++c)
            start[c] += start[c - 1];
        std::vector<int> members(static_cast<std::size_t>(n));
        {
            std::vector<int> fill(start.begin(), start.end() - 1);
            for (int e = 0; e < n; ++e)
                members[std::size_t(fill[std::size_t(classOfEntry(e))]++)] = e;
        }

        std::vector<bool> deleted(static_cast<std::size_t>(n), false);
        std::vector<bool> settled(fileText_.size(), false);
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
            for (int k = start[std::size_t(cls) + 1] - 1; k >= start[std::size_t(cls)]; --k) {
                const int i = members[std::size_t(k)];
                if (i <= leader)
                    break;
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

    std::vector<int> textEntry_; // the first entry of each distinct text
    std::vector<int> textOf_;
    std::vector<Probe> probes_;

    std::vector<int> fileText_; // the first text naming each file
    std::vector<std::uint64_t> fileSize_;
    std::vector<ContentSample> fileSample_;
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
