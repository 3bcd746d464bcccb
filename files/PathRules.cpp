#include "PathRules.h"

namespace orvelle {

QStringView PathSeparators()
{
#ifdef _WIN32
    return u"\\/:";
#else
    return u"/";
#endif
}

bool IsPathSeparator(QChar c, QStringView separators)
{
    return separators.contains(c);
}

namespace {

// Index of the dot that starts the extension, or -1.
qsizetype ExtensionStart(const QString& path, QStringView separators)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == u'.')
            return i;
        if (IsPathSeparator(c, separators))
            return -1;
    }
    return -1;
}

} // namespace

QString ExtractFileExt(const QString& path, QStringView separators)
{
    const qsizetype start = ExtensionStart(path, separators);
    return start < 0 ? QString() : path.mid(start);
}

QString ChangeFileExt(const QString& path, const QString& ext, QStringView separators)
{
    const qsizetype start = ExtensionStart(path, separators);
    return (start < 0 ? path : path.left(start)) + ext;
}

QString JoinPath(const QString& folder, const QString& name, QStringView separators)
{
    // A drive colon ends a name but is no separator between folder and name:
    // "C:" + "a" must give "C:\a", not the drive-relative "C:a".
    // Made at its exact length: a folder scan keeps a million of these.
    const bool separated =
        !folder.isEmpty() && folder.back() != u':' && IsPathSeparator(folder.back(), separators);
    QString path;
    path.reserve(folder.size() + (separated ? 0 : 1) + name.size());
    path.append(folder);
    if (!separated)
        path.append(separators.front());
    path.append(name);
    return path;
}

} // namespace orvelle
