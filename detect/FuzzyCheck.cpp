#include "FuzzyCheck.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <QHash>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "FileIdentity.h"
#include "JPEGImage.h"
#include "PairPasses.h"
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
// Pictures drawn again while the budget is full, kept for the pairs that
// follow.
constexpr std::size_t kRecentPlanes = 8;
// When a picture had to be drawn again for a pair, the pairs it makes with
// this many of the next outer entries are answered while it is at hand. The
// passes take the same inner pictures over and over, so without this a
// picture that did not fit would be drawn again in nearly every pass.
constexpr std::size_t kLookAhead = 64;
// Answers found ahead of their pass, at most; beyond this they are not kept.
constexpr std::size_t kKnownLimit = std::size_t(1) << 18;
// The sums of each picture's top-left corner kept beside its summary: the
// first sample of the picture drawn smaller, up to 32 times smaller, is
// among them.
constexpr int kCorner = 16;

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

// The same at the picture's own size, where bitmaps and JPEG images give
// their pixels without a work bitmap in between.
SumPlane DrawOwnSize(TPicture& picture, int width, int height)
{
    const TBitmap* pixels = dynamic_cast<const TBitmap*>(picture.Graphic());
    if (auto* jpeg = dynamic_cast<TJPEGImage*>(picture.Graphic()))
        pixels = &jpeg->Decoded();
    if (pixels && pixels->Width() == width && pixels->Height() == height)
        return SumPlane::AtOwnSize(*pixels);
    return Draw(picture, width, height);
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
    std::array<std::uint16_t, kCorner * kCorner> corner{};

    // The summary of the draw at the own size, where there is one.
    bool Summarised() const
    {
        return drawn && !drawError && summary.Width() == width && summary.Height() == height &&
               width > 0 && height > 0;
    }
};

using Plane = std::shared_ptr<const SumPlane>;

// A plane a caller holds on to while it answers pairs with it.
struct HeldPlane {
    int text = -1;
    Plane plane;
};

// A pair's answer found ahead of its pass.
struct Known {
    bool similar = false;
    std::exception_ptr error;
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
        std::vector<int> textOf;
        textOf.reserve(std::size_t(files_.size()));
        for (const QString& path : files_) {
            auto it = index_.constFind(path);
            if (it == index_.constEnd()) {
                it = index_.insert(path, int(texts_.size()));
                texts_.push_back(path);
            }
            textOf.push_back(it.value());
        }
        pictures_.resize(texts_.size());
        const std::int64_t n = files_.size();
        // The pairs are not known before the sizes are; until then a fifth
        // of the work is guessed for them.
        const std::int64_t decoding = std::int64_t(texts_.size()) * kDecodeWeight;
        total_ = options_.IgnoreSize ? decoding + n * (n - 1) / 2 : decoding + decoding / 4;

        LookAtAll();
        if (cancel_) {
            CheckResult r;
            r.outcome = CheckOutcome::Cancelled;
            r.remaining = files_;
            return r;
        }

        WorkPool pool(threads_);
        PairPasses passes(files_, Entries(textOf), pool, cancel_);
        passes_ = &passes;
        const ProgressSink pairs = [&](const CheckProgress& p) {
            CheckProgress q = p;
            q.done = decoding + p.done;
            q.total = decoding + p.total;
            progress_(q);
        };
        entriesOf_.assign(texts_.size(), 0);
        for (const int text : textOf)
            ++entriesOf_[std::size_t(text)];
        textOf_ = std::move(textOf);
        return passes.Execute([this](int outer, int inner) { return Visit(outer, inner); },
                              progress_ ? pairs : ProgressSink{},
                              [this](int entry) { Gone(entry); });
    }

    FuzzyStats Stats() const
    {
        FuzzyStats s;
        s.pairs = pairs_;
        s.bySummary = bySummary_;
        s.byScan = byScan_;
        s.pixelsRead = pixelsRead_;
        s.pixelsCompared = pixelsCompared_;
        s.drawnAgain = drawnAgain_;
        return s;
    }

private:
    // ------------------------------------------------------ first stage

    void LookAtAll()
    {
        // Loading tells the sizes. When sizes do not count, every picture is
        // drawn while it is loaded; otherwise only where another of its size
        // exists, which is known once all are loaded.
        // Last first: while the budget has room it goes to the pictures
        // loaded first, and a picture late in the list is an inner picture
        // of nearly every pass, one early in it of only a few.
        const std::size_t count = texts_.size();
        ParallelFor(
            count, threads_, [&](std::size_t i) { Load(count - 1 - i, options_.IgnoreSize); },
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
            toDraw.size(), threads_, [&](std::size_t i) { Summarise(toDraw[toDraw.size() - 1 - i]); },
            cancel_, [this] { Report(); });
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
            Summarise(k, &picture);
    }

    // Draws the picture at its own size once, for its summary and, room
    // allowing, its plane. loaded: the picture already loaded, if any.
    void Summarise(std::size_t k, TPicture* loaded = nullptr)
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
            auto plane =
                std::make_shared<const SumPlane>(DrawOwnSize(*loaded, p.width, p.height));
            p.summary.Assign(*plane);
            for (int y = 0; y < std::min(kCorner, plane->Height()); ++y) {
                for (int x = 0; x < std::min(kCorner, plane->Width()); ++x)
                    p.corner[std::size_t(y * kCorner + x)] = std::uint16_t(plane->At(x, y));
            }
            const std::int64_t bytes = Bytes(*plane);
            if (cached_.fetch_add(bytes) + bytes <= cacheBytes_)
                p.plane = std::move(plane);
            else
                cached_ -= bytes;
        } catch (...) {
            p.drawError = std::current_exception();
        }
    }

    // How each entry takes part in the passes: pictures of different sizes
    // meet only when sizes do not count, and a picture that does not load
    // raises in every pair.
    std::vector<PassEntry> Entries(const std::vector<int>& textOf) const
    {
        std::vector<PassEntry> entries;
        entries.reserve(textOf.size());
        QHash<std::pair<int, int>, int> classes;
        for (const int text : textOf) {
            const Picture& p = pictures_[std::size_t(text)];
            PassEntry e;
            e.text = text;
            e.meetsAll = bool(p.loadError);
            if (!e.meetsAll && !options_.IgnoreSize) {
                const auto size = std::make_pair(p.width, p.height);
                auto it = classes.constFind(size);
                if (it == classes.constEnd())
                    it = classes.insert(size, int(classes.size()));
                e.klass = it.value();
            }
            entries.push_back(e);
        }
        return entries;
    }

    // ----------------------------------------------------------- pairs

    // Once no pair will take a picture again, its plane makes room for one
    // that did not fit: the passes move on through the list, and the pairs
    // of the matches found leave with them.
    void Gone(int entry)
    {
        const std::size_t text = std::size_t(textOf_[std::size_t(entry)]);
        if (--entriesOf_[text] > 0)
            return;
        Picture& p = pictures_[text];
        if (p.plane) {
            cached_ -= Bytes(*p.plane);
            p.plane.reset();
        }
        const std::lock_guard lock(recentMutex_);
        if (const auto it = kept_.find(int(text)); it != kept_.end()) {
            cached_ -= Bytes(*it->second);
            kept_.erase(it);
        }
        std::erase_if(recent_, [&](const HeldPlane& h) { return h.text == int(text); });
    }

    static std::int64_t Bytes(const SumPlane& plane)
    {
        return std::int64_t(plane.Width()) * plane.Height() * 2;
    }

    // The pair of two list entries as the passes visit it.
    bool Visit(int outer, int inner)
    {
        ++pairs_;
        if (std::optional<Known> known = TakeKnown(outer, inner)) {
            if (known->error)
                std::rethrow_exception(known->error);
            return known->similar;
        }
        HeldPlane drawn;
        const bool similar = *Decide(textOf_[std::size_t(outer)], textOf_[std::size_t(inner)],
                                     true, nullptr, &drawn);
        if (drawn.plane && drawn.text == textOf_[std::size_t(inner)])
            AnswerAhead(outer, inner, drawn);
        return similar;
    }

    // The inner picture had to be drawn: answer its pairs with the next
    // outer entries that need no drawing, while it is at hand.
    void AnswerAhead(int outer, int inner, const HeldPlane& held)
    {
        for (const int ahead : passes_->OutersAhead(outer, inner, kLookAhead)) {
            if (cancel_)
                return;
            Known known;
            try {
                const std::optional<bool> similar = Decide(
                    textOf_[std::size_t(ahead)], held.text, false, &held, nullptr);
                if (!similar)
                    continue;
                known.similar = *similar;
            } catch (...) {
                known.error = std::current_exception();
            }
            Keep(ahead, inner, std::move(known));
        }
    }

    static std::uint64_t Key(int outer, int inner)
    {
        return std::uint64_t(std::uint32_t(outer)) << 32 | std::uint32_t(inner);
    }

    std::optional<Known> TakeKnown(int outer, int inner)
    {
        const std::lock_guard lock(knownMutex_);
        passOuter_ = outer;
        const auto it = known_.find(Key(outer, inner));
        if (it == known_.end())
            return std::nullopt;
        Known k = std::move(it->second);
        known_.erase(it);
        return k;
    }

    void Keep(int outer, int inner, Known known)
    {
        const std::lock_guard lock(knownMutex_);
        if (known_.size() >= kKnownLimit) {
            // Answers for passes already over are of no further use.
            const auto over = std::uint64_t(std::uint32_t(passOuter_)) << 32;
            std::erase_if(known_, [&](const auto& entry) { return entry.first < over; });
            if (known_.size() >= kKnownLimit)
                return;
        }
        known_.emplace(Key(outer, inner), std::move(known));
    }

    // IsDuplicate of the fuzzy mode for two different path texts, raising
    // its errors in its order. Without mayDraw, nothing is drawn: the answer
    // is std::nullopt where it would need a drawing that is not at hand
    // (held, when given, is). With mayDraw, drawn receives the own-size
    // plane of second when it had to be drawn again.
    std::optional<bool> Decide(int first, int second, bool mayDraw, const HeldPlane* held,
                               HeldPlane* drawn)
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
        // Named variables, not a structured binding: the lambdas below use
        // them, which clang before 16 refuses for bindings.
        const PictureSize common = CommonSize({a.width, a.height}, {b.width, b.height});
        const int width = common.width;
        const int height = common.height;
        if (!WorkBitmapsFit(width, height))
            throw EOutOfResources(OutOfResourcesText());

        const bool ownSizes = width == a.width && height == a.height && width == b.width &&
                              height == b.height;
        const std::int64_t area = std::int64_t(width) * height;
        // Two own-size planes at hand go straight to the scan, which looks
        // at the summaries first itself.
        Plane planeA;
        Plane planeB;
        if (ownSizes && a.Summarised() && b.Summarised()) {
            planeA = PlaneAt(first, width, height, false, held, nullptr);
            planeB = planeA ? PlaneAt(second, width, height, false, held, nullptr) : nullptr;
        }
        if (!planeB && a.Summarised() && b.Summarised()) {
            // Most pairs end here, without a pixel: from the summaries, or
            // for a picture drawn at the other's size, from bounds its own
            // summary gives.
            ScanSummary boundsA;
            ScanSummary boundsB;
            const ScanSummary* first = SummaryAt(a, width, height, boundsA);
            const ScanSummary* second = SummaryAt(b, width, height, boundsB);
            if (first && second) {
                const Verdict verdict =
                    SummaryVerdict(*first, *second, options_.Err_Count, options_.Err_Clr);
                if (verdict != Verdict::Unknown) {
                    ++bySummary_;
                    pixelsCompared_ += area;
                    return verdict == Verdict::Similar;
                }
            }
        }
        if (!planeA)
            planeA = PlaneAt(first, width, height, mayDraw, held, nullptr);
        if (!planeA)
            return std::nullopt;
        if (!planeB)
            planeB = PlaneAt(second, width, height, mayDraw, held, drawn);
        if (!planeB)
            return std::nullopt;
        if (width <= 0 || height <= 0)
            return false;
        ScanStats stats;
        bool similar = false;
        if (ownSizes) {
            similar = PlanesSimilar(*planeA, a.summary, *planeB, b.summary, options_.Err_Count,
                                    options_.Err_Clr, &stats);
        } else {
            // One of the two is at its own size (CommonSize takes one of
            // them), and its summary is made already.
            const auto summaryOf = [&](const Picture& p, const SumPlane& plane) {
                return p.Summarised() && p.width == width && p.height == height
                           ? std::optional<ScanSummary>()
                           : std::optional<ScanSummary>(plane);
            };
            const std::optional<ScanSummary> madeA = summaryOf(a, *planeA);
            const std::optional<ScanSummary> madeB = summaryOf(b, *planeB);
            similar = PlanesSimilar(*planeA, madeA ? *madeA : a.summary, *planeB,
                                    madeB ? *madeB : b.summary, options_.Err_Count,
                                    options_.Err_Clr, &stats);
        }
        ++(stats.settled == ScanStats::Settled::Scan ? byScan_ : bySummary_);
        pixelsRead_ += stats.pixelsScanned;
        pixelsCompared_ += area;
        return similar;
    }

    // The summary of the picture drawn at this size: its own, or bounds from
    // it for a picture the draw samples (made in bounds); null where neither
    // can be had.
    static const ScanSummary* SummaryAt(const Picture& p, int width, int height,
                                        ScanSummary& bounds)
    {
        if (width == p.width && height == p.height)
            return &p.summary;
        if (!p.sampled || width <= 0 || height <= 0)
            return nullptr;
        const int x = NearestSource(0, p.width, width);
        const int y = NearestSource(0, p.height, height);
        if (x >= kCorner || y >= kCorner)
            return nullptr;
        bounds.AssignSampled(p.summary, p.corner[std::size_t(y * kCorner + x)], width, height);
        return &bounds;
    }

    // The sums of the work bitmap the picture is drawn into at this size,
    // raising what that draw would raise; null without mayDraw where a
    // drawing would be needed.
    Plane PlaneAt(int k, int width, int height, bool mayDraw, const HeldPlane* held,
                  HeldPlane* drawn)
    {
        const Picture& p = pictures_[std::size_t(k)];
        const bool ownSize = width == p.width && height == p.height;
        if (p.drawn && (ownSize || p.sampled)) {
            if (p.drawError)
                std::rethrow_exception(p.drawError);
            Plane own = p.plane;
            if (!own && held && held->text == k)
                own = held->plane;
            if (!own)
                own = Recent(k, mayDraw, drawn);
            if (own)
                return ownSize ? own : std::make_shared<const SumPlane>(own->Resampled(width, height));
            // Only a picture whose own size cannot be had comes this far.
        }
        if (!mayDraw)
            return nullptr;
        TPicture picture;
        picture.LoadFile(texts_[std::size_t(k)]);
        return std::make_shared<const SumPlane>(Draw(picture, width, height));
    }

    // An own-size plane that did not fit, from those drawn again since, or
    // drawn again now (once, when several threads want it at the same time).
    // It is kept while the budget has room, else among the last few.
    Plane Recent(int k, bool mayDraw, HeldPlane* drawn)
    {
        const Picture& p = pictures_[std::size_t(k)];
        std::unique_lock lock(recentMutex_);
        for (;;) {
            if (const auto it = kept_.find(k); it != kept_.end())
                return it->second;
            for (auto it = recent_.begin(); it != recent_.end(); ++it) {
                if (it->text == k) {
                    recent_.splice(recent_.begin(), recent_, it);
                    return it->plane;
                }
            }
            if (!mayDraw || !WorkBitmapsFit(p.width, p.height))
                return nullptr;
            if (!drawing_.contains(k))
                break;
            drawn_.wait(lock);
        }
        drawing_.insert(k);
        lock.unlock();
        ++drawnAgain_;
        Plane plane;
        std::exception_ptr error;
        try {
            TPicture picture;
            picture.LoadFile(texts_[std::size_t(k)]);
            plane = std::make_shared<const SumPlane>(DrawOwnSize(picture, p.width, p.height));
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        drawing_.erase(k);
        if (plane) {
            const std::int64_t bytes = Bytes(*plane);
            if (cached_ + bytes <= cacheBytes_) {
                cached_ += bytes;
                kept_.emplace(k, plane);
            } else {
                recent_.push_front({k, plane});
                if (recent_.size() > kRecentPlanes)
                    recent_.pop_back();
            }
        }
        lock.unlock();
        drawn_.notify_all();
        if (error)
            std::rethrow_exception(error);
        if (drawn)
            *drawn = {k, plane};
        return plane;
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
    std::vector<int> textOf_; // of each list entry
    std::vector<Picture> pictures_;
    std::atomic<std::int64_t> cached_{0};
    std::atomic<std::int64_t> done_{0};
    std::int64_t total_ = 0;
    const PairPasses* passes_ = nullptr;

    std::mutex recentMutex_;
    std::condition_variable drawn_;
    std::unordered_map<int, Plane> kept_;
    std::list<HeldPlane> recent_;
    std::unordered_set<int> drawing_;
    std::vector<int> entriesOf_; // list entries of each text not yet gone

    std::atomic<std::int64_t> pairs_{0};
    std::atomic<std::int64_t> bySummary_{0};
    std::atomic<std::int64_t> byScan_{0};
    std::atomic<std::int64_t> pixelsRead_{0};
    std::atomic<std::int64_t> pixelsCompared_{0};
    std::atomic<std::int64_t> drawnAgain_{0};

    std::mutex knownMutex_;
    std::unordered_map<std::uint64_t, Known> known_;
    int passOuter_ = 0;
};

} // namespace

CheckResult RunFuzzyCheck(const QStringList& files, const FuzzyOptions& options,
                          std::int64_t cacheBytes, const std::atomic<bool>& cancel,
                          const ProgressSink& progress, int threads, FuzzyStats* stats)
{
    FuzzyCheck check(files, options, cacheBytes, cancel, progress, threads);
    CheckResult result = check.Execute();
    if (stats)
        *stats = check.Stats();
    return result;
}

} // namespace orvelle
