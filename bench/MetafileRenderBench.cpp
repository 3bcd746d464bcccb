// Loading and drawing every metafile of the test corpus (the folder given
// by ORVELLE_CORPUS, else the one the build knows) the way the fuzzy
// comparison does: TPicture::LoadFile, then a stretched draw into a new
// white work bitmap. Reported per file and for the whole set:
//   Metafiles/Thumbnail  128 × 128, the size comparisons usually run at
//   Metafiles/Screen     1024 × 768, a preview-sized drawing
// Files that fail to load are left out of the set.

#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QGuiApplication>
#include <QString>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "FormatRegistry.h"
#include "Picture.h"

namespace orvelle {
namespace {

std::vector<QString> LoadableMetafiles(const QString& corpus)
{
    std::vector<QString> files;
    for (const char* folder : {"emf", "wmf"}) {
        const QDir dir(corpus + u'/' + QLatin1String(folder));
        for (const QString& name : dir.entryList({QStringLiteral("*.emf"), QStringLiteral("*.wmf")},
                                                 QDir::Files, QDir::Name)) {
            const QString path = dir.filePath(name);
            try {
                TPicture picture;
                picture.LoadFile(path);
                files.push_back(path);
            } catch (const Exception&) {
            }
        }
    }
    return files;
}

void DrawAll(benchmark::State& state, const std::vector<QString>& files, int width, int height)
{
    for (auto _ : state) {
        for (const QString& path : files) {
            TPicture picture;
            picture.LoadFile(path);
            TBitmap target;
            target.SetPixelFormat(TPixelFormat::pf24bit);
            target.SetWidth(width);
            target.SetHeight(height);
            TCanvas canvas(target);
            canvas.DrawStretched({0, 0, width, height}, picture.Graphic());
            benchmark::DoNotOptimize(target.PixelRow(0));
        }
    }
    state.counters["files"] = double(files.size());
    state.counters["files/s"] =
        benchmark::Counter(double(files.size()), benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace
} // namespace orvelle

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    orvelle::FormatRegistry::Instance();
    const QString corpus = qEnvironmentVariableIsSet("ORVELLE_CORPUS")
                               ? qEnvironmentVariable("ORVELLE_CORPUS")
                               : QStringLiteral(ORVELLE_CORPUS_DIR);
    const std::vector<QString> files = orvelle::LoadableMetafiles(corpus);
    if (files.empty()) {
        std::fprintf(stderr, "no metafiles under %s\n", qPrintable(corpus));
        return 1;
    }
    const auto add = [&](const std::string& name, int width, int height) {
        benchmark::RegisterBenchmark(name.c_str(),
                                     [&files, width, height](benchmark::State& state) {
                                         orvelle::DrawAll(state, files, width, height);
                                     })
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    };
    add("Metafiles/Thumbnail", 128, 128);
    add("Metafiles/Screen", 1024, 768);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
