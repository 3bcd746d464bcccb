// Many check runs over a folder of good, broken and vanishing files: every run
// ends as a finished run or with one of the layer's errors, and the memory the
// runs take is given back.
#include <atomic>
#include <exception>
#include <thread>

#include <gtest/gtest.h>

#include <QFile>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "Check.h"
#include "Errors.h"
#include "TestSupport.h"

using orvelle::CheckOptions;
using orvelle::CheckOutcome;
using orvelle::CheckResult;
using orvelle::test::Bmp24;
using orvelle::test::Jpeg;
using orvelle::test::Sandbox;

namespace {

// The bytes the allocator has handed out and not had back.
std::size_t HeapInUse()
{
#if defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#else
    return 0;
#endif
}

// A folder that mixes what users' folders hold: duplicates, pictures that
// are not what their extension says, files cut short, an empty file, and
// files that another program keeps removing and writing again.
struct MixedFolder {
    Sandbox box;
    QStringList good;
    QStringList broken;
    QStringList vanishing;

    MixedFolder()
    {
        for (unsigned i = 0; i < 8; ++i) {
            const QByteArray bmp = Bmp24(40 + int(i % 2) * 8, 30, [i](int x, int y) {
                return unsigned(x * 6 + i * 20) << 16 | unsigned(y * 8);
            });
            const unsigned shade = i / 2;
            const QByteArray photo = Jpeg(64, 48, 90, false, [shade](int x, int y) {
                return (x * 3 + shade) % 256 << 16 | (y * 5) % 256 << 8 | (x ^ y) % 256;
            });
            const QString n = QString::number(i);
            good << box.WriteFile(n + "a.bmp", bmp) << box.WriteFile(n + "b.bmp", bmp)
                 << box.WriteFile(n + "c.jpg", photo);
        }
        const QByteArray bmp = box.ReadFile("0a.bmp");
        const QByteArray photo = box.ReadFile("0c.jpg");
        broken << box.WriteFile("cut.bmp", bmp.left(bmp.size() / 2))
               << box.WriteFile("cut.jpg", photo.left(photo.size() / 3))
               << box.WriteFile("empty.jpg") << box.WriteFile("text.emf", "not a metafile")
               << box.WriteFile("text.ico", QByteArray(100, '\x01'));
        for (const char* name : {"v1.bmp", "v2.jpg", "v3.bmp"})
            vanishing << box.WriteFile(name, QByteArray(name).endsWith("jpg") ? photo : bmp);
    }

    // The good files alone, with the vanishing ones, and with everything.
    QStringList List(int run) const
    {
        switch (run % 3) {
        case 0:
            return good;
        case 1:
            return good + vanishing;
        default:
            return good + broken + vanishing;
        }
    }
};

// Removes, rewrites and truncates the vanishing files until told to stop.
class Churn {
public:
    explicit Churn(const MixedFolder& folder)
        : thread_([this, &folder] {
              const QByteArray bmp = Bmp24(40, 30, [](int x, int) { return unsigned(x) << 8; });
              for (unsigned turn = 0; !stop_; ++turn) {
                  const QString& path = folder.vanishing.at(int(turn % 3));
                  QFile::remove(path);
                  std::this_thread::yield();
                  QFile file(path);
                  if (file.open(QIODevice::WriteOnly))
                      file.write(turn % 2 ? bmp : bmp.left(int(turn % 200)));
              }
          })
    {
    }
    ~Churn()
    {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The run ended as a run may: finished, or abandoned with one of the
// program's own errors.
::testing::AssertionResult EndedSoundly(const CheckResult& r)
{
    if (r.outcome == CheckOutcome::Finished)
        return ::testing::AssertionSuccess();
    if (r.outcome != CheckOutcome::Failed || !r.error)
        return ::testing::AssertionFailure() << "neither finished nor failed";
    try {
        std::rethrow_exception(r.error);
    } catch (const orvelle::Exception&) {
        return ::testing::AssertionSuccess();
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << "a foreign error: " << e.what();
    }
}

} // namespace

TEST(CheckSoak, RunsOverChangingFilesEndSoundlyAndGiveTheirMemoryBack)
{
    orvelle::test::EnsureGuiApplication();
    MixedFolder folder;
    const std::atomic<bool> cancel{false};
    auto options = [](int run) {
        CheckOptions o;
        o.ExactMode = run % 2 == 0;
        o.fuzzy.IgnoreSize = run % 4 == 1;
        o.cacheBytes = run % 5 == 0 ? 0 : std::int64_t(64) << 20;
        return o;
    };

    std::size_t settled = 0;
    std::size_t churned = 0;
    std::size_t rested = 0;
    {
        Churn churn(folder);
        for (int run = 0; run < 60; ++run) {
            const CheckResult r = orvelle::RunCheck(folder.List(run), options(run), cancel, {}, 2);
            ASSERT_TRUE(EndedSoundly(r)) << "run " << run;
            if (run == 9)
                settled = HeapInUse();
        }
        churned = HeapInUse();
    }
    // The same runs again over the folder at rest: runs of one mode over one
    // list agree, whatever room for planes they had.
    CheckResult first[12];
    for (int run = 0; run < 40; ++run) {
        const CheckResult r = orvelle::RunCheck(folder.List(run), options(run), cancel, {}, 2);
        ASSERT_TRUE(EndedSoundly(r)) << "run " << run;
        CheckResult& seen = first[run % 12];
        if (run == 11)
            rested = HeapInUse();
        if (run < 12) {
            seen = r;
            continue;
        }
        EXPECT_EQ(r.outcome, seen.outcome) << "run " << run;
        EXPECT_EQ(r.MatchList, seen.MatchList) << "run " << run;
        EXPECT_EQ(r.remaining, seen.remaining) << "run " << run;
    }
#if defined(__GLIBC__)
    // After the first runs have filled what lasts (the registry, the
    // platform's font and codec tables) the heap stays level: a picture, a
    // plane or an error left behind by each run would show as tens of KiB.
    const std::size_t end = HeapInUse();
    EXPECT_LT(churned, settled + (64 << 10)) << "fifty runs over changing files kept memory";
    EXPECT_LT(end, rested + (32 << 10)) << "thirty runs at rest kept memory";
#endif
}
