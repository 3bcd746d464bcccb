#include "CompFormRules.h"

#include <cerrno>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QTime>

#include "NativeFiles.h"
#include "NativePath.h"

namespace orvelle {

namespace {

// The long time format names the time zone; the details show the time of
// day only.
QString TimeOfDayFormat(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        kept += c;
    }
    return kept.trimmed();
}

} // namespace

namespace {

// The run-time codes are those of the platform the texts come from; other
// failures keep the system's own number.
int InOutCode(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return 2;
    case ENAMETOOLONG:
    case EINVAL:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
        return 5;
    default:
        return error;
    }
}

[[noreturn]] void RaiseInOut(int error)
{
    const int code = InOutCode(error);
    throw EInOutError(code, InOutErrorText(code));
}

} // namespace

double SizeOfFile(const QString& path)
{
#ifdef _WIN32
    const std::optional<FileStatus> status = StatusOf(path);
    if (!status)
        RaiseInOut(ENOENT);
    return static_cast<double>(status->size);
#else
    const std::optional<QByteArray> name = SystemName(path);
    if (!name)
        RaiseInOut(EINVAL);
    // Non-blocking, so a pipe that passed the existence test cannot hang the
    // window.
    const int fd = ::open(name->constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        RaiseInOut(errno);
    struct stat status {};
    const int statResult = ::fstat(fd, &status);
    const int statError = errno;
    const int closeResult = ::close(fd);
    const int closeError = errno;
    if (statResult != 0)
        RaiseInOut(statError);
    if (closeResult != 0)
        RaiseInOut(closeError);
    return static_cast<double>(status.st_size);
#endif
}

QString NameLine(const QString& path)
{
    return QStringLiteral("ﾌｧｲﾙ名：") + DisplayText(path);
}

QString OverwriteQuestion(const QString& path)
{
    return DisplayText(path) + QStringLiteral(" は既にあります\n上書きしますか？");
}

QString SizeLine(double bytes, const QLocale& locale)
{
    // Grouped even where the locale's own default leaves digits bare.
    QLocale grouping = locale;
    grouping.setNumberOptions(QLocale::DefaultNumberOptions);
    return QStringLiteral("サイズ：") + grouping.toString(bytes, 'f', 0) + QStringLiteral("byte");
}

QDateTime PackedTime(const QDateTime& local)
{
    const QTime time = local.time();
    QDateTime packed = local;
    packed.setTime(QTime(time.hour(), time.minute(), time.second() / 2 * 2));
    return packed;
}

QString TimeLine(const QDateTime& lastWrite, const QLocale& locale)
{
    const QDateTime packed = PackedTime(lastWrite);
    QString text = locale.toString(packed.date(), QLocale::ShortFormat);
    if (packed.time() != QTime(0, 0))
        text += u' ' + locale.toString(packed.time(), TimeOfDayFormat(locale));
    return QStringLiteral("日　時：") + text;
}

QString WidthLine(int width)
{
    return QStringLiteral("画像幅：") + QString::number(width);
}

QString HeightLine(int height)
{
    return QStringLiteral("画像高：") + QString::number(height);
}

TRect FitRect(int pictureWidth, int pictureHeight, int boxWidth, int boxHeight)
{
    double sx = 1.0;
    double sy = 1.0;
    if (pictureWidth > boxWidth)
        sx = static_cast<double>(static_cast<long double>(boxWidth) / pictureWidth);
    if (pictureHeight > boxHeight)
        sy = static_cast<double>(static_cast<long double>(boxHeight) / pictureHeight);
    const double s = sx > sy ? sy : sx;
    const auto scaled = [s](int size) {
        return static_cast<int>(static_cast<long double>(size) * static_cast<long double>(s));
    };
    return TRect{0, 0, scaled(pictureWidth), scaled(pictureHeight)};
}

} // namespace orvelle
