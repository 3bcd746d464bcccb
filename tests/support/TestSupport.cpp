#include "TestSupport.h"

#include <functional>
#include <stdexcept>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

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
