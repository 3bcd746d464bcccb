// Decoding photograph-sized JPEG files four ways, each reported in
// megapixels per second:
//   Layer/LoadAndDraw  what the comparison does: TPicture::LoadFile and the
//                      first draw into a work bitmap of the image's size
//   Layer/Decode       the layer's decode alone, into a new decoded bitmap
//   Library            libjpeg-turbo with the same settings, into new memory
//                      for each decode like the layer; WarmBuffer into one
//                      buffer reused for every decode
//   djpeg              the command-line decoder with the same settings,
//                      process start included, for reference
// The pictures are made at start-up with ImageMagick: plasma fractals,
// blurred to look like photographs, saved at quality 90.
// Fresh memory is dear: whether the allocator hands back pages it has just
// freed or asks the kernel for new ones shows in the times, and depends on
// what ran before. --benchmark_enable_random_interleaving with a few
// --benchmark_repetitions gives steadier ratios.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

// jpeglib.h needs the definitions of stdio.h before it.
#include <jpeglib.h>

#include "Bitmap.h"
#include "Canvas.h"
#include "JpegDecoder.h"
#include "Picture.h"

namespace orvelle {
namespace {

struct Photo {
    std::string name;
    QString path;
    QByteArray bytes;
    JpegHeader header;
};

struct Recipe {
    const char* name;
    QStringList options;
};

constexpr int kRowsPerRead = 16;

// A photograph-like source, the same on every run: soft colour fields from
// a few waves, with fine grain on top.
QString WriteSourcePicture(const QString& folder)
{
    constexpr int kWidth = 3000;
    constexpr int kHeight = 2000;
    QByteArray ppm = QByteArrayLiteral("P6\n3000 2000\n255\n");
    ppm.reserve(ppm.size() + kWidth * kHeight * 3);
    std::uint32_t grain = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            grain = grain * 1103515245u + 12345u;
            const double noise = double((grain >> 16) % 24) - 12.0;
            for (int c = 0; c < 3; ++c) {
                const double v = 128 + 55 * std::sin(x / (97.0 + 31 * c) + y / 143.0) +
                                 35 * std::sin((x - 2 * y) / (41.0 + 7 * c)) + noise;
                ppm.append(char(std::clamp(int(v), 0, 255)));
            }
        }
    }
    const QString path = folder + QStringLiteral("/source.ppm");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ppm) != ppm.size())
        return {};
    return path;
}

std::vector<Photo> MakePhotos(const QString& folder)
{
    const QString source = WriteSourcePicture(folder);
    if (source.isEmpty())
        return {};
    const QStringList picture{source, "-blur", "0x1.5", "-quality", "90"};
    const Recipe recipes[] = {
        {"colour444", picture + QStringList{"-sampling-factor", "1x1"}},
        {"colour420", picture + QStringList{"-sampling-factor", "2x2"}},
        {"progressive420", picture + QStringList{"-sampling-factor", "2x2", "-interlace", "Plane"}},
        {"gray", picture + QStringList{"-colorspace", "Gray"}},
    };
    std::vector<Photo> photos;
    for (const Recipe& recipe : recipes) {
        Photo photo;
        photo.name = recipe.name;
        photo.path = folder + u'/' + QString::fromLatin1(recipe.name) + QStringLiteral(".jpg");
        std::fprintf(stderr, "making %s\n", recipe.name);
        if (QProcess::execute(QStringLiteral("convert"),
                              recipe.options + QStringList{photo.path}) != 0)
            return {};
        QFile file(photo.path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        photo.bytes = file.readAll();
        photo.header =
            ReadJpegHeader(reinterpret_cast<const std::uint8_t*>(photo.bytes.constData()),
                           static_cast<std::size_t>(photo.bytes.size()));
        std::fprintf(stderr, "  %d x %d, %s, %lld bytes\n", photo.header.width, photo.header.height,
                     photo.header.grayscale ? "grayscale" : "colour",
                     static_cast<long long>(photo.bytes.size()));
        photos.push_back(std::move(photo));
    }
    return photos;
}

void CountPixels(benchmark::State& state, const Photo& photo)
{
    const double megapixels = double(photo.header.width) * photo.header.height * 1e-6;
    state.counters["MP/s"] =
        benchmark::Counter(megapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

void LayerLoadAndDraw(benchmark::State& state, const Photo& photo)
{
    const int width = photo.header.width;
    const int height = photo.header.height;
    for (auto _ : state) {
        TPicture picture;
        picture.LoadFile(photo.path);
        TBitmap work;
        work.SetPixelFormat(TPixelFormat::pf24bit);
        work.SetSize(width, height);
        TCanvas canvas(work);
        canvas.DrawStretched({0, 0, width, height}, picture.Graphic());
        benchmark::DoNotOptimize(work.PixelRow(height - 1));
    }
    CountPixels(state, photo);
}

void LayerDecode(benchmark::State& state, const Photo& photo)
{
    for (auto _ : state) {
        TBitmap decoded;
        DecodeJpeg(reinterpret_cast<const std::uint8_t*>(photo.bytes.constData()),
                   static_cast<std::size_t>(photo.bytes.size()), decoded);
        benchmark::DoNotOptimize(decoded.PixelRow(0));
    }
    CountPixels(state, photo);
}

// The library on its own, set up as the layer sets it up, with its stock
// error manager and memory source.
void LibraryDecode(const QByteArray& bytes, std::uint8_t* out)
{
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 1;
    info.do_block_smoothing = TRUE;
    info.dct_method = JDCT_FLOAT;
    info.do_fancy_upsampling = TRUE;
    info.buffered_image = FALSE;
    if (info.out_color_space == JCS_GRAYSCALE) {
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = 236;
        info.dither_mode = JDITHER_FS;
    } else {
        info.out_color_space = JCS_EXT_BGR;
    }
    jpeg_start_decompress(&info);
    const std::size_t stride = std::size_t(info.output_width) * info.output_components;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[kRowsPerRead];
        const JDIMENSION wanted =
            std::min<JDIMENSION>(kRowsPerRead, info.output_height - info.output_scanline);
        for (JDIMENSION i = 0; i < wanted; ++i)
            rows[i] = out + stride * (info.output_scanline + i);
        jpeg_read_scanlines(&info, rows, wanted);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

std::size_t OutputBytes(const Photo& photo)
{
    return std::size_t(photo.header.width) * photo.header.height * (photo.header.grayscale ? 1 : 3);
}

// Into new memory for every decode, as the layer must decode into a new
// bitmap: the page faults of fresh memory are part of any such decode.
void Library(benchmark::State& state, const Photo& photo)
{
    for (auto _ : state) {
        const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(OutputBytes(photo));
        LibraryDecode(photo.bytes, buffer.get());
        benchmark::DoNotOptimize(buffer.get());
    }
    CountPixels(state, photo);
}

// Into one buffer kept warm across decodes: the library's best case.
void LibraryWarmBuffer(benchmark::State& state, const Photo& photo)
{
    std::vector<std::uint8_t> buffer(OutputBytes(photo));
    for (auto _ : state) {
        LibraryDecode(photo.bytes, buffer.data());
        benchmark::DoNotOptimize(buffer.data());
    }
    CountPixels(state, photo);
}

void Djpeg(benchmark::State& state, const Photo& photo)
{
    QStringList args{"-dct", "float", "-outfile", "/dev/null"};
    if (photo.header.grayscale)
        args << "-colors"
             << "236"
             << "-dither"
             << "fs";
    args << photo.path;
    for (auto _ : state) {
        if (QProcess::execute(QStringLiteral("djpeg"), args) != 0) {
            state.SkipWithError("djpeg failed");
            break;
        }
    }
    CountPixels(state, photo);
}

} // namespace
} // namespace orvelle

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty()) {
        std::fprintf(stderr, "ImageMagick's convert is needed to make the pictures\n");
        return 1;
    }
    QTemporaryDir folder;
    const std::vector<orvelle::Photo> photos = orvelle::MakePhotos(folder.path());
    if (photos.empty()) {
        std::fprintf(stderr, "could not make the pictures\n");
        return 1;
    }
    const bool haveDjpeg = !QStandardPaths::findExecutable(QStringLiteral("djpeg")).isEmpty();
    for (const orvelle::Photo& photo : photos) {
        const auto add = [&](const std::string& kind, auto run) {
            benchmark::RegisterBenchmark(
                (kind + '/' + photo.name).c_str(),
                [&photo, run](benchmark::State& state) { run(state, photo); })
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        };
        add("Layer/LoadAndDraw", orvelle::LayerLoadAndDraw);
        add("Layer/Decode", orvelle::LayerDecode);
        add("Library", orvelle::Library);
        add("Library/WarmBuffer", orvelle::LibraryWarmBuffer);
        if (haveDjpeg)
            add("djpeg", orvelle::Djpeg);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
