#include "TestSupport.h"

#include <functional>
#include <stdexcept>

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QThread>

#include "ByteWriter.h"

namespace orvelle::test {

Sandbox::Sandbox()
{
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    path_ = QDir(dir_.path()).canonicalPath();
}

QString Sandbox::operator()(const QString& relative) const
{
    return path_ + u'/' + relative;
}

QString Sandbox::WriteFile(const QString& relative, const QByteArray& bytes) const
{
    const QString path = (*this)(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    return path;
}

QString Sandbox::MakeDir(const QString& relative) const
{
    const QString path = (*this)(relative);
    if (!QDir().mkpath(path))
        throw std::runtime_error("cannot make " + path.toStdString());
    return path;
}

QByteArray Sandbox::ReadFile(const QString& relative) const
{
    QFile file((*this)(relative));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + relative.toStdString());
    return file.readAll();
}

QString CorpusDir()
{
    const QString dir = QStringLiteral(ORVELLE_CORPUS_DIR);
    return QFileInfo(dir).isDir() ? QDir(dir).canonicalPath() : QString();
}

QByteArray Bmp24(int width, int height, const std::function<unsigned(int x, int y)>& colour)
{
    const int stride = ((width * 24 + 31) / 32) * 4;
    QByteArray bytes(54 + stride * height, '\0');
    auto put32 = [&](int at, quint32 v) { SetU32(bytes, at, v); };
    auto put16 = [&](int at, quint16 v) { SetU16(bytes, at, v); };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, quint32(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, quint32(width));
    put32(22, quint32(height));
    put16(26, 1);
    put16(28, 24);
    for (int y = 0; y < height; ++y) {
        char* row = bytes.data() + 54 + stride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const unsigned c = colour(x, y);
            row[x * 3] = char(c & 0xFF);
            row[x * 3 + 1] = char((c >> 8) & 0xFF);
            row[x * 3 + 2] = char((c >> 16) & 0xFF);
        }
    }
    return bytes;
}

QByteArray PlainBmp24(int width, int height, unsigned colour)
{
    return Bmp24(width, height, [colour](int, int) { return colour; });
}

QByteArray Jpeg(int width, int height, int quality, bool gray,
                const std::function<unsigned(int x, int y)>& colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colour(x, y));
    if (gray)
        image = image.convertToFormat(QImage::Format_Grayscale8);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", quality))
        throw std::runtime_error("no JPEG writer");
    return bytes;
}

void EnsureGuiApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 3;
    static char name[] = "test";
    static char flag[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, flag, platform, nullptr};
    static QGuiApplication app(argc, argv);
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace orvelle::test
