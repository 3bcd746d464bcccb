#include "SettingsPlace.h"

#include <QByteArray>
#include <QDir>
#include <QtGlobal>

#include "NativeFiles.h"
#include "NativePath.h"
#include "PathRules.h"

namespace orvelle {

namespace {

// An environment variable by its bytes, as a path.
QString PathVariable(const char* name)
{
    return PathFromNative(qgetenv(name));
}

} // namespace

QString UserSettingsFolder()
{
    QString base = PathVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base)) {
        QString home = PathVariable("HOME");
        if (home.isEmpty())
            home = QDir::homePath();
        base = home + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/orvelle");
}

QString SettingsBase(const QString& executablePath)
{
    return SettingsBase(executablePath, UserSettingsFolder());
}

QString SettingsBase(const QString& executablePath, const QString& userFolder)
{
    qsizetype nameAt = executablePath.size();
    while (nameAt > 0 && !IsPathSeparator(executablePath.at(nameAt - 1)))
        --nameAt;
    // The folder as the system takes it: "/" for a program at the root.
    QString folder = executablePath.left(nameAt);
    if (folder.size() > 1 && IsPathSeparator(folder.back()))
        folder.chop(1);
    if (FolderWritable(folder.isEmpty() ? QStringLiteral(".") : folder))
        return executablePath;
    MakeFolders(userFolder);
    return JoinPath(userFolder, executablePath.mid(nameAt));
}

} // namespace orvelle
