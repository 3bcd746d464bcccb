#include "ReadOnlyFolder.h"

#include <utility>

#include <QFile>
#include <QProcess>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvelle::test {

namespace {

bool Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

ReadOnlyFolder::ReadOnlyFolder(QString path) : path_(std::move(path))
{
#ifndef _WIN32
    const QByteArray name = QFile::encodeName(path_);
    if (::geteuid() != 0) {
        ::chmod(name.constData(), 0555);
    } else {
        mounted_ = Run(QStringLiteral("mount"), {QStringLiteral("--bind"), path_, path_});
        if (mounted_)
            Run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro,bind"),
                                          path_});
    }
    ok_ = ::access(name.constData(), W_OK) != 0;
#endif
}

ReadOnlyFolder::~ReadOnlyFolder()
{
#ifndef _WIN32
    if (mounted_)
        Run(QStringLiteral("umount"), {path_});
    else
        ::chmod(QFile::encodeName(path_).constData(), 0755);
#endif
}

} // namespace orvelle::test
