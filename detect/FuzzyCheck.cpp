#include "FuzzyCheck.h"

#include <algorithm>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <QHash>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "FileIdentity.h"
#include "JPEGImage.h"
#include "Picture.h"
#include "PixelScan.h"
#include "ScanSummary.h"
#include "SumPlane.h"
#include "WorkPool.h"

namespace orvelle {

namespace {

// A decode costs about as much as this many pairs settled from summaries,
// which is how the progress bar weighs the two stages.
constexpr std::int64_t kDecodeWeight = 1000;
// Pictures drawn again for lack of room, kept for the pairs that follow.
constexpr std::size_t kRecentPlanes = 4;

// Whether drawing the graphic at any size is its own pixels sampled by the
// canvas's nearest-pixel rule: bitmaps and JPEG images, but not two-colour
// bitmaps, which a shrinking draw combines.
bool Sampled(const TGraphic* graphic)
{
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(graphic))
        return bitmap->Format().bitsPerPixel != 1;
    return dynamic_cast<const TJPEGImage*>(graphic) != nullptr;
}

// The work bitmap ImagesSimilar draws the picture into at this size.
SumPlane Draw(TPicture& picture, int width, int height)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    TCanvas(bitmap).DrawStretched({0, 0, width, height}, picture.Graphic());
    return SumPlane(bitmap);
}

// Whether the two work bitmaps of this size can be had at all.
bool WorkBitmapsFit(int width, int height)
{
    return width <= 0 || height <= 0 ||
           RowStride(width, 24) * std::int64_t(height) <= PixelMemoryLimit();
}

// What looking at one path text once tells.
struct Picture {
    std::optional<FileId> id;
    std::exception_ptr loadError;
    int width = 0;
    int height = 0;
    bool sampled = false;
    // The draw at the picture's own size, where a pair may need it.
    bool drawn = false;
    std::exception_ptr drawError;
    std::shared_ptr<const SumPlane> plane; // null when it did not fit
    ScanSummary summary;
};

class FuzzyCheck {
public:
    FuzzyCheck(const QStringList& files, const FuzzyOptions& options, std::int64_t cacheBytes,
               const std::atomic<bool>& cancel, const ProgressSink& progress, int threads)
        : files_(files), options_(options), cacheBytes_(cacheBytes), cancel_(cancel),
          progress_(progress), threads_(std::max(threads, 1))
    {
    }

    CheckResult Execute()
    {
        for (const QString& path : files_) {
            if (!index_.contains(path)) {
                index_.insert(path, int(texts_.size()));
                texts_.push_back(path);
            }
        }
        pictures_.resize(texts_.size());
        const std::int64_t n = files_.size();
        total_ = std::int64_t(texts_.size()) * kDecodeWeight + n * (n - 1) / 2;

        LookAtAll();
        if (cancel_) {
            CheckResult r;
            r.outcome = CheckOutcome::Cancelled;
            r.remaining = files_;
            return r;
        }
        const std::int64_t decoded = done_;
        const ProgressSink pairs = [&](const CheckProgress& p) {
            if (!progress_)
                return;
            CheckProgress q = p;
            q.done = decoded + p.done;
            q.total = decoded + p.total;
            progress_(q);
        };
        const PairTest test = [this](const QString& a, const QString& b) {
            return IsDuplicate(index_.value(a), index_.value(b));
        };
        return CheckRun(files_, test, cancel_, progress_ ? pairs : ProgressSink{}, threads_)
            .Execute();
    }

private:
    // ------------------------------------------------------ first stage

    void LookAtAll()
    {
        // Loading tells the sizes. When sizes do not count, every picture is
        // drawn while it is loaded; otherwise only where another of its size
        // exists, which is known once all are loaded.
        ParallelFor(
            texts_.size(), threads_, [this](std::size_t k) { Load(k, options_.IgnoreSize); },
            cancel_, [this] { Report(); });
        if (cancel_ || options_.IgnoreSize)
            return;
        std::vector<std::size_t> toDraw;
        {
            QHash<std::pair<int, int>, int> sizes;
            for (const Picture& p : pictures_) {
                if (!p.loadError)
                    ++sizes[{p.width, p.height}];
            }
            for (std::size_t k = 0; k < pictures_.size(); ++k) {
                const Picture& p = pictures_[k];
                if (!p.loadError && sizes.value({p.width, p.height}) > 1)
                    toDraw.push_back(k);
            }
        }
        ParallelFor(
            toDraw.size(), threads_, [&](std::size_t i) { DrawOwnSize(toDraw[i]); }, cancel_,
            [this] { Report(); });
    }

    void Load(std::size_t k, bool draw)
    {
        Picture& p = pictures_[k];
        p.id = IdentifyFile(texts_[k]);
        TPicture picture;
        try {
            picture.LoadFile(texts_[k]);
        } catch (...) {
            p.loadError = std::current_exception();
            done_ += kDecodeWeight;
            return;
        }
        p.width = picture.Width();
        p.height = picture.Height();
        p.sampled = Sampled(picture.Graphic());
        done_ += kDecodeWeight / 10;
        if (draw)
            DrawOwnSize(k, &picture);
    }

    // loaded: the picture already loaded from the path, if any.
    void DrawOwnSize(std::size_t k, TPicture* loaded = nullptr)
    {
        Picture& p = pictures_[k];
        p.drawn = true;
        done_ += kDecodeWeight - kDecodeWeight / 10;
        if (!WorkBitmapsFit(p.width, p.height))
            return; // every pair at this size fails before drawing
        try {
            TPicture reloaded;
            if (!loaded) {
                reloaded.LoadFile(texts_[k]);
                loaded = &reloaded;
            }
            auto plane = std::make_shared<const SumPlane>(Draw(*loaded, p.width, p.height));
            p.summary.Assign(*plane);
            const auto bytes = std::int64_t(plane->Width()) * plane->Height() * 2;
            if (cached_.fetch_add(bytes) + bytes <= cacheBytes_)
                p.plane = std::move(plane);
            else
                cached_ -= bytes;
        } catch (...) {
            p.drawError = std::current_exception();
        }
    }

    // ----------------------------------------------------------- pairs

    // IsDuplicate of the fuzzy mode for two different path texts.
    bool IsDuplicate(int first, int second)
    {
        const Picture& a = pictures_[std::size_t(first)];
        const Picture& b = pictures_[std::size_t(second)];
        // Two names of one file are never compared.
        if (a.id && a.id == b.id)
            return false;
        if (a.loadError)
            std::rethrow_exception(a.loadError);
        if (b.loadError)
            std::rethrow_exception(b.loadError);
        if (!options_.IgnoreSize && (a.width != b.width || a.height != b.height))
            return false;
        const auto [width, height] = CommonSize({a.width, a.height}, {b.width, b.height});
        if (!WorkBitmapsFit(width, height))
            throw EOutOfResources(OutOfResourcesText());

        const bool ownSizes = width == a.width && height == a.height && width == b.width &&
                              height == b.height;
        if (ownSizes && a.drawn && b.drawn && !a.drawError && !b.drawError) {
            // Most pairs end here, without a pixel.
            const Verdict verdict =
                SummaryVerdict(a.summary, b.summary, options_.Err_Count, options_.Err_Clr);
            if (verdict != Verdict::Unknown)
                return verdict == Verdict::Similar;
        }
        const std::shared_ptr<const SumPlane> planeA = PlaneAt(first, width, height);
        const std::shared_ptr<const SumPlane> planeB = PlaneAt(second, width, height);
        if (width <= 0 || height <= 0)
            return false;
        if (ownSizes)
            return PlanesSimilar(*planeA, a.summary, *planeB, b.summary, options_.Err_Count,
                                 options_.Err_Clr);
        const ScanSummary summaryA(*planeA);
        const ScanSummary summaryB(*planeB);
        return PlanesSimilar(*planeA, summaryA, *planeB, summaryB, options_.Err_Count,
                             options_.Err_Clr);
    }

    // The sums of the work bitmap the picture is drawn into at this size,
    // raising what that draw would raise.
    std::shared_ptr<const SumPlane> PlaneAt(int k, int width, int height)
    {
        const Picture& p = pictures_[std::size_t(k)];
        const bool ownSize = width == p.width && height == p.height;
        if (p.drawn && (ownSize || p.sampled)) {
            if (p.drawError)
                std::rethrow_exception(p.drawError);
            std::shared_ptr<const SumPlane> own = p.plane ? p.plane : Recent(k);
            if (own)
                return ownSize ? own : std::make_shared<const SumPlane>(own->Resampled(width, height));
        }
        TPicture picture;
        picture.LoadFile(texts_[std::size_t(k)]);
        auto plane = std::make_shared<const SumPlane>(Draw(picture, width, height));
        if (ownSize)
            KeepRecent(k, plane);
        return plane;
    }

    // Own-size planes drawn again because they did not fit, kept for the
    // next few pairs: a pass compares one outer picture with all the rest.
    std::shared_ptr<const SumPlane> Recent(int k)
    {
        const Picture& p = pictures_[std::size_t(k)];
        {
            const std::lock_guard lock(mutex_);
            for (auto it = recent_.begin(); it != recent_.end(); ++it) {
                if (it->first == k) {
                    recent_.splice(recent_.begin(), recent_, it);
                    return it->second;
                }
            }
        }
        if (!WorkBitmapsFit(p.width, p.height))
            return nullptr;
        TPicture picture;
        picture.LoadFile(texts_[std::size_t(k)]);
        auto plane = std::make_shared<const SumPlane>(Draw(picture, p.width, p.height));
        KeepRecent(k, plane);
        return plane;
    }

    void KeepRecent(int k, std::shared_ptr<const SumPlane> plane)
    {
        const std::lock_guard lock(mutex_);
        recent_.emplace_front(k, std::move(plane));
        if (recent_.size() > kRecentPlanes)
            recent_.pop_back();
    }

    void Report()
    {
        if (!progress_ || files_.isEmpty())
            return;
        CheckProgress p;
        p.count = int(files_.size());
        p.from = files_.front();
        p.to = files_.front();
        p.done = done_;
        p.total = total_;
        progress_(p);
    }

    const QStringList& files_;
    const FuzzyOptions options_;
    const std::int64_t cacheBytes_;
    const std::atomic<bool>& cancel_;
    const ProgressSink& progress_;
    const int threads_;

    QHash<QString, int> index_;
    std::vector<QString> texts_;
    std::vector<Picture> pictures_;
    std::atomic<std::int64_t> cached_{0};
    std::atomic<std::int64_t> done_{0};
    std::int64_t total_ = 0;

    std::mutex mutex_;
    std::list<std::pair<int, std::shared_ptr<const SumPlane>>> recent_;
};

} // namespace

CheckResult RunFuzzyCheck(const QStringList& files, const FuzzyOptions& options,
                          std::int64_t cacheBytes, const std::atomic<bool>& cancel,
                          const ProgressSink& progress, int threads)
{
    return FuzzyCheck(files, options, cacheBytes, cancel, progress, threads).Execute();
}

} // namespace orvelle
