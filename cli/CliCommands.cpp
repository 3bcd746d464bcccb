#include "CliCommands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <new>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QSize>
#include <QThread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "Bitmap.h"
#include "Canvas.h"
#include "Check.h"
#include "CheckDefaults.h"
#include "Errors.h"
#include "FolderScan.h"
#include "NativeFiles.h"
#include "NativePath.h"
#include "Picture.h"

namespace orvelle::cli {

namespace {

bool IsTerminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream));
#else
    return isatty(fileno(stream));
#endif
}

constexpr int kUsage = 2;

// Text as UTF-8, but a path with bytes that are not UTF-8 as those very
// bytes, so that a script can reach the file by what it reads.
void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = orvelle::PathToNative(text);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString UsageText()
{
    return QStringLiteral(
        "usage: orvelle-cli info FILE...\n"
        "       orvelle-cli render FILE [--size WxH] [-o OUT]\n"
        "       orvelle-cli check [--exact | --fuzzy] [--ignore-size | --compare-size]\n"
        "                         [--noise N] [--color N] [--ext PATTERN,...]\n"
        "                         [--list FILE] [--cache-mib N] [--stats] [-0] PATH...\n"
        "       orvelle-cli --help | --version\n");
}

int Usage(std::FILE* err)
{
    Print(err, UsageText());
    return kUsage;
}

int Help(std::FILE* out)
{
    Print(out,
          UsageText() +
              QStringLiteral(
                  "\n"
                  "check prints the match records, each a group number of eight digits followed\n"
                  "by the path, the path as the very bytes of its name; a record ends with a line\n"
                  "break, or with a zero byte under -0 (for names that hold a line break).\n"
                  "\n"
                  "exit status: 0 done; 1 a file failed (info, render); 2 misuse, or a file\n"
                  "stopped the check, which then prints no records at all.\n"));
    return 0;
}

QString ErrorText(const orvelle::Exception& e)
{
    return QString::fromLatin1(e.ClassName()) + QStringLiteral(": ") + e.Message();
}

// The text of a standard exception: memory the system refused is reported as
// the picture layer reports it.
QString ErrorText(const std::exception& e)
{
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return ErrorText(orvelle::EOutOfResources(orvelle::OutOfResourcesText()));
    return QString::fromUtf8(e.what());
}

int Info(const QStringList& files, std::FILE* out)
{
    int status = 0;
    for (const QString& path : files) {
        TPicture picture;
        try {
            picture.LoadFile(path);
            Print(out, QStringLiteral("%1\t%2\t%3\t%4\n")
                           .arg(path, QString::fromLatin1(picture.Graphic()->ClassName()))
                           .arg(picture.Width())
                           .arg(picture.Height()));
        } catch (const orvelle::Exception& e) {
            Print(out, QStringLiteral("%1\terror\t%2\t%3\n")
                           .arg(path, QString::fromLatin1(e.ClassName()), e.Message()));
            status = 1;
        } catch (const std::bad_alloc&) {
            Print(out, QStringLiteral("%1\terror\tEOutOfResources\t%2\n")
                           .arg(path, orvelle::OutOfResourcesText()));
            status = 1;
        }
    }
    return status;
}

// Binary PPM: the work bitmap's blue-green-red rows turned to red-green-blue.
QByteArray ToPpm(const TBitmap& bitmap)
{
    QByteArray ppm =
        QStringLiteral("P6\n%1 %2\n255\n").arg(bitmap.Width()).arg(bitmap.Height()).toLatin1();
    const qsizetype header = ppm.size();
    ppm.resize(header + qsizetype(bitmap.Width()) * bitmap.Height() * 3);
    char* to = ppm.data() + header;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.PixelRow(y);
        for (int x = 0; x < bitmap.Width(); ++x, row += 3, to += 3) {
            to[0] = static_cast<char>(row[2]);
            to[1] = static_cast<char>(row[1]);
            to[2] = static_cast<char>(row[0]);
        }
    }
    return ppm;
}

int Render(const QStringList& args, std::FILE* out, std::FILE* err)
{
    QString file;
    QString output;
    std::optional<QSize> size;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == u"--size" && i + 1 < args.size()) {
            static const QRegularExpression form(QStringLiteral("^(\\d{1,6})x(\\d{1,6})$"));
            const QRegularExpressionMatch m = form.match(args.at(++i));
            if (!m.hasMatch())
                return Usage(err);
            size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        } else if (a == u"-o" && i + 1 < args.size()) {
            output = args.at(++i);
        } else if (file.isEmpty() && !a.startsWith(u'-')) {
            file = a;
        } else {
            return Usage(err);
        }
    }
    if (file.isEmpty())
        return Usage(err);

    QByteArray ppm;
    try {
        TPicture picture;
        picture.LoadFile(file);
        const QSize target = size.value_or(QSize(picture.Width(), picture.Height()));
        TBitmap work;
        work.SetPixelFormat(TPixelFormat::pf24bit);
        work.SetWidth(target.width());
        work.SetHeight(target.height());
        TCanvas canvas(work);
        canvas.DrawStretched({0, 0, target.width(), target.height()}, picture.Graphic());
        ppm = ToPpm(work);
    } catch (const orvelle::Exception& e) {
        Print(err, ErrorText(e) + u'\n');
        return 1;
    } catch (const std::exception& e) {
        Print(err, ErrorText(e) + u'\n');
        return 1;
    }

    if (output.isEmpty()) {
        std::fwrite(ppm.constData(), 1, static_cast<std::size_t>(ppm.size()), out);
        return std::fflush(out) == 0 ? 0 : 1;
    }
    const std::unique_ptr<QFile> target = orvelle::OpenForWriting(output);
    if (!target || target->write(ppm) != ppm.size() || !target->flush()) {
        Print(err, ErrorText(orvelle::EFCreateError(orvelle::FileCreateText(output))) + u'\n');
        return 1;
    }
    return 0;
}

// The lines of a list file as they stand, line breaks (LF or CR LF) removed,
// each a path by its bytes. A pipe will do, as in --list <(find ...).
std::optional<QStringList> ListFileLines(const QString& path)
{
    const std::unique_ptr<QFile> file = orvelle::OpenForReading(path, orvelle::Readable::PipesToo);
    if (!file)
        return std::nullopt;
    QList<QByteArray> lines = file->readAll().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    QStringList paths;
    paths.reserve(lines.size());
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        paths << orvelle::PathFromNative(line);
    }
    return paths;
}

// What the fuzzy run did, on standard error (--stats).
void PrintStats(std::FILE* err, const orvelle::FuzzyStats& s)
{
    const double share =
        s.pixelsCompared > 0 ? 100.0 * double(s.pixelsRead) / double(s.pixelsCompared) : 0.0;
    Print(err, QStringLiteral("pairs %1; settled by block bounds %2, by pixels %3; pixels read "
                              "%4 of %5 (%6 %); pictures drawn again %7\n")
                   .arg(s.pairs)
                   .arg(s.bySummary)
                   .arg(s.byScan)
                   .arg(s.pixelsRead)
                   .arg(s.pixelsCompared)
                   .arg(share, 0, 'f', 2)
                   .arg(s.drawnAgain));
}

int Check(const QStringList& args, std::FILE* out, std::FILE* err)
{
    bool exact = true;
    orvelle::FuzzyOptions options; // size ignored, the window's default tolerances
    orvelle::ExtensionItems patterns;
    for (const QString& p : orvelle::DefaultExtensionPatterns())
        patterns.push_back({p, true});
    QStringList files;
    bool anyPath = false;
    std::int64_t cacheBytes = orvelle::CheckOptions{}.cacheBytes;
    bool stats = false;
    char recordEnd = '\n';
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == u"--exact") {
            exact = true;
        } else if (a == u"--fuzzy") {
            exact = false;
        } else if (a == u"--ignore-size") {
            options.IgnoreSize = true;
        } else if (a == u"--compare-size") {
            options.IgnoreSize = false;
        } else if (a == u"--noise" && hasValue) {
            options.Err_Count = args.at(++i).toInt(&ok);
        } else if (a == u"--color" && hasValue) {
            options.Err_Clr = args.at(++i).toInt(&ok);
        } else if (a == u"--cache-mib" && hasValue) {
            const qint64 mib = args.at(++i).toLongLong(&ok);
            ok = ok && mib >= 0 && mib <= (qint64(1) << 40);
            cacheBytes = mib * 1024 * 1024;
        } else if (a == u"--stats") {
            stats = true;
        } else if (a == u"-0") {
            recordEnd = '\0';
        } else if (a == u"--ext" && hasValue) {
            patterns.clear();
            for (const QString& p : args.at(++i).split(u','))
                patterns.push_back({p, true});
        } else if (a == u"--list" && hasValue) {
            const QString path = args.at(++i);
            const std::optional<QStringList> lines = ListFileLines(path);
            if (!lines) {
                Print(err, orvelle::ErrorBoxText(orvelle::FileOpenText(path)) + u'\n');
                return 2;
            }
            files << *lines;
            anyPath = true;
        } else if (a.startsWith(u"--")) {
            ok = false;
        } else {
            // A folder is scanned like the folder command does; anything
            // else is taken as a chosen file, even one that does not exist.
            if (orvelle::IsFolder(a))
                files << orvelle::ScanFolder(a, patterns);
            else
                files << a;
            anyPath = true;
        }
        if (!ok)
            return Usage(err);
    }
    if (!anyPath)
        return Usage(err);

    const std::atomic<bool> cancel{false};
    orvelle::ProgressSink progress;
    auto last = std::chrono::steady_clock::now();
    if (IsTerminal(err)) {
        progress = [&](const orvelle::CheckProgress& p) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last < std::chrono::milliseconds(100))
                return;
            last = now;
            if (p.total > 0)
                Print(err, QStringLiteral("\r%1%").arg(100 * std::min(p.done, p.total) / p.total));
        };
    }
    orvelle::FuzzyStats fuzzyStats;
    const orvelle::CheckResult result =
        orvelle::RunCheck(files, {exact, options, cacheBytes, stats ? &fuzzyStats : nullptr},
                          cancel, progress, std::max(1, QThread::idealThreadCount()));
    if (progress)
        Print(err, QStringLiteral("\r\x1b[K"));
    if (stats && !exact)
        PrintStats(err, fuzzyStats);
    // A run a file stopped has no results: the records found until then
    // would read as a finished check's.
    if (result.outcome != orvelle::CheckOutcome::Failed) {
        for (const QString& record : result.MatchList) {
            Print(out, record);
            std::fputc(recordEnd, out);
        }
        return 0;
    }
    // The text of the program's error box for the same run.
    try {
        std::rethrow_exception(result.error);
    } catch (const std::exception& e) {
        Print(err, orvelle::ErrorBoxText(orvelle::ErrorMessage(e)) + u'\n');
    }
    return 2;
}

} // namespace

bool NeedsPictures(const QStringList& args)
{
    if (args.isEmpty() || args.front() != u"check")
        return true;
    bool exact = true;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == u"--exact")
            exact = true;
        else if (a == u"--fuzzy")
            exact = false;
        else if (a == u"--noise" || a == u"--color" || a == u"--ext" || a == u"--list" ||
                 a == u"--cache-mib")
            ++i; // its value
    }
    return !exact;
}

int Run(const QStringList& args, std::FILE* out, std::FILE* err)
{
    if (args.isEmpty())
        return Usage(err);
    const QString& command = args.front();
    if (command == u"--help" || command == u"-h" || command == u"help")
        return Help(out);
    if (command == u"--version") {
        Print(out, QStringLiteral("orvelle-cli " ORVELLE_VERSION "\n"));
        return 0;
    }
    const QStringList rest = args.mid(1);
    // Whatever a command lets out ends it with a message, never the program
    // with an uncaught exception.
    try {
        if (command == u"info")
            return rest.isEmpty() ? Usage(err) : Info(rest, out);
        if (command == u"render")
            return Render(rest, out, err);
        if (command == u"check")
            return Check(rest, out, err);
    } catch (const orvelle::Exception& e) {
        Print(err, ErrorText(e) + u'\n');
        return 2;
    } catch (const std::exception& e) {
        Print(err, ErrorText(e) + u'\n');
        return 2;
    }
    return Usage(err);
}

} // namespace orvelle::cli
