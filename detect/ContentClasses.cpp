#include "ContentClasses.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <utility>

#include <xxhash.h>

#include "ReadOnlyFile.h"

namespace orvelle {

namespace {

// Files read side by side, and the block each read takes.
constexpr std::size_t kSideBySide = 16;
constexpr std::int64_t kChunk = 256 * 1024;

struct Hash128 {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    friend bool operator==(const Hash128&, const Hash128&) = default;
    friend bool operator<(const Hash128& a, const Hash128& b)
    {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
};

class Splitter {
public:
    Splitter(const std::vector<QString>& paths, std::uint64_t size,
             std::vector<ContentSample> samples, const std::atomic<bool>& cancel,
             const std::function<void(const QString&)>& reading)
        : paths_(paths), size_(static_cast<std::int64_t>(size)), samples_(std::move(samples)),
          cancel_(cancel), reading_(reading), labels_(paths.size(), -1)
    {
    }

    std::optional<std::vector<int>> Run()
    {
        std::vector<int> all(paths_.size());
        std::iota(all.begin(), all.end(), 0);
        if (size_ == 0) {
            Settle(all);
        } else {
            for (std::vector<int>& bucket : BucketsOf(HeadHashes(all)))
                SplitBucket(bucket, /*wholeHashed=*/size_ <= kSampleBytes);
        }
        if (cancel_)
            return std::nullopt;
        // Numbered in order of first appearance.
        std::vector<int> renumbered(labels_.size());
        std::vector<int> seen(labels_.size(), -1);
        int next = 0;
        for (std::size_t i = 0; i < labels_.size(); ++i) {
            int& to = seen[static_cast<std::size_t>(labels_[i])];
            if (to < 0)
                to = next++;
            renumbered[i] = to;
        }
        return renumbered;
    }

private:
    std::optional<ReadOnlyFile> OpenMember(int member)
    {
        const QString& path = paths_[static_cast<std::size_t>(member)];
        if (reading_)
            reading_(path);
        std::optional<ReadOnlyFile> file = ReadOnlyFile::Open(path);
        // A file that changed its size since it was measured is no longer
        // the file the class was meant for.
        if (file && static_cast<std::int64_t>(file->Size()) != size_)
            file.reset();
        return file;
    }

    void Settle(const std::vector<int>& members)
    {
        const int label = nextLabel_++;
        for (int m : members)
            labels_[static_cast<std::size_t>(m)] = label;
    }

    void Alone(int member) { Settle({member}); }

    // The hash of each member's first block; an unreadable member is settled
    // alone and left out.
    std::vector<std::pair<Hash128, int>> HeadHashes(const std::vector<int>& members)
    {
        if (samples_.size() != paths_.size()) {
            samples_.assign(paths_.size(), {});
            for (int m : members) {
                if (cancel_)
                    return {};
                if (std::optional<ReadOnlyFile> file = OpenMember(m))
                    samples_[static_cast<std::size_t>(m)] = SampleOf(*file);
            }
        }
        std::vector<std::pair<Hash128, int>> hashes;
        for (int m : members) {
            const ContentSample& sample = samples_[static_cast<std::size_t>(m)];
            if (sample.read)
                hashes.emplace_back(Hash128{sample.high, sample.low}, m);
            else
                Alone(m);
        }
        return hashes;
    }

    // The hash of each member's whole contents.
    std::vector<std::pair<Hash128, int>> WholeHashes(const std::vector<int>& members)
    {
        std::vector<std::pair<Hash128, int>> hashes;
        std::vector<char> block(static_cast<std::size_t>(std::min(size_, kChunk)));
        const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(),
                                                                             &XXH3_freeState);
        if (!state)
            throw std::bad_alloc();
        for (int m : members) {
            if (cancel_)
                return {};
            std::optional<ReadOnlyFile> file = OpenMember(m);
            bool ok = file.has_value();
            XXH3_128bits_reset(state.get());
            for (std::int64_t left = size_; ok && left > 0;) {
                const std::int64_t want = std::min(left, kChunk);
                ok = file->ReadExactly(block.data(), want) && !cancel_;
                if (ok)
                    XXH3_128bits_update(state.get(), block.data(), static_cast<std::size_t>(want));
                left -= want;
            }
            if (!ok) {
                Alone(m);
                continue;
            }
            const XXH128_hash_t h = XXH3_128bits_digest(state.get());
            hashes.emplace_back(Hash128{h.high64, h.low64}, m);
        }
        return hashes;
    }

    // Members of equal hashes together; a member alone in its bucket is
    // settled at once.
    std::vector<std::vector<int>> BucketsOf(std::vector<std::pair<Hash128, int>> hashes)
    {
        std::sort(hashes.begin(), hashes.end());
        std::vector<std::vector<int>> buckets;
        for (std::size_t i = 0; i < hashes.size();) {
            std::size_t j = i + 1;
            while (j < hashes.size() && hashes[j].first == hashes[i].first)
                ++j;
            if (j - i == 1) {
                Alone(hashes[i].second);
            } else {
                std::vector<int> bucket;
                for (std::size_t k = i; k < j; ++k)
                    bucket.push_back(hashes[k].second);
                std::sort(bucket.begin(), bucket.end());
                buckets.push_back(std::move(bucket));
            }
            i = j;
        }
        return buckets;
    }

    void SplitBucket(const std::vector<int>& bucket, bool wholeHashed)
    {
        if (cancel_)
            return;
        if (bucket.size() <= kSideBySide) {
            SideBySide(bucket);
        } else if (!wholeHashed) {
            for (std::vector<int>& part : BucketsOf(WholeHashes(bucket)))
                SplitBucket(part, true);
        } else {
            AgainstFirst(bucket);
        }
    }

    // Up to kSideBySide files read block by block together; a group splits
    // where its blocks differ, and a file left alone stops being read.
    void SideBySide(const std::vector<int>& bucket)
    {
        struct Reader {
            int member;
            std::optional<ReadOnlyFile> file;
            std::vector<char> block;
        };
        std::vector<Reader> readers;
        std::vector<std::vector<std::size_t>> groups(1);
        for (int m : bucket) {
            std::optional<ReadOnlyFile> file = OpenMember(m);
            if (!file) {
                Alone(m);
                continue;
            }
            groups.front().push_back(readers.size());
            readers.push_back({m, std::move(file), {}});
        }
        const auto settleGroup = [&](const std::vector<std::size_t>& group) {
            std::vector<int> members;
            for (std::size_t r : group) {
                members.push_back(readers[r].member);
                readers[r].file.reset();
            }
            Settle(members);
        };
        for (std::int64_t offset = 0; offset < size_ && !groups.empty(); ) {
            if (cancel_)
                return;
            const std::int64_t want = std::min(size_ - offset, kChunk);
            std::vector<std::vector<std::size_t>> next;
            for (const std::vector<std::size_t>& group : groups) {
                std::vector<std::vector<std::size_t>> parts;
                for (std::size_t r : group) {
                    Reader& reader = readers[r];
                    reader.block.resize(static_cast<std::size_t>(want));
                    if (!reader.file->ReadExactly(reader.block.data(), want)) {
                        reader.file.reset();
                        Alone(reader.member);
                        continue;
                    }
                    auto same = std::find_if(parts.begin(), parts.end(), [&](const auto& part) {
                        return std::memcmp(readers[part.front()].block.data(), reader.block.data(),
                                           static_cast<std::size_t>(want)) == 0;
                    });
                    if (same == parts.end())
                        parts.push_back({r});
                    else
                        same->push_back(r);
                }
                for (std::vector<std::size_t>& part : parts) {
                    if (part.size() == 1)
                        settleGroup(part);
                    else
                        next.push_back(std::move(part));
                }
            }
            groups = std::move(next);
            offset += want;
        }
        for (const std::vector<std::size_t>& group : groups)
            settleGroup(group);
    }

    // A large bucket of equal whole-file hashes: each member is compared
    // with the first; those that differ (a hash collision) are split again.
    void AgainstFirst(std::vector<int> bucket)
    {
        while (!bucket.empty() && !cancel_) {
            const int first = bucket.front();
            std::vector<int> same{first};
            std::vector<int> rest;
            for (std::size_t k = 1; k < bucket.size(); ++k) {
                if (cancel_)
                    return;
                (EqualBytes(first, bucket[k]) ? same : rest).push_back(bucket[k]);
            }
            Settle(same);
            bucket = std::move(rest);
        }
    }

    bool EqualBytes(int a, int b)
    {
        std::optional<ReadOnlyFile> fa = OpenMember(a);
        std::optional<ReadOnlyFile> fb = OpenMember(b);
        if (!fa || !fb)
            return false;
        std::vector<char> x(static_cast<std::size_t>(std::min(size_, kChunk)));
        std::vector<char> y(x.size());
        for (std::int64_t left = size_; left > 0;) {
            const std::int64_t want = std::min(left, kChunk);
            if (!fa->ReadExactly(x.data(), want) || !fb->ReadExactly(y.data(), want) ||
                std::memcmp(x.data(), y.data(), static_cast<std::size_t>(want)) != 0)
                return false;
            left -= want;
        }
        return true;
    }

    const std::vector<QString>& paths_;
    const std::int64_t size_;
    std::vector<ContentSample> samples_;
    const std::atomic<bool>& cancel_;
    const std::function<void(const QString&)>& reading_;
    std::vector<int> labels_;
    int nextLabel_ = 0;
};

} // namespace

ContentSample SampleOf(ReadOnlyFile& file)
{
    char block[kSampleBytes];
    const auto bytes = static_cast<std::int64_t>(std::min<std::uint64_t>(file.Size(), kSampleBytes));
    if (!file.ReadExactly(block, bytes))
        return {};
    const XXH128_hash_t h = XXH3_128bits(block, static_cast<std::size_t>(bytes));
    return {h.high64, h.low64, true};
}

std::optional<std::vector<int>> SplitByContent(const std::vector<QString>& paths,
                                               std::uint64_t size,
                                               std::vector<ContentSample> samples,
                                               const std::atomic<bool>& cancel,
                                               const std::function<void(const QString&)>& reading)
{
    return Splitter(paths, size, std::move(samples), cancel, reading).Run();
}

} // namespace orvelle
