#include "ExactCompare.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include "Errors.h"
#include "FileIdentity.h"

namespace orvelle {

namespace {

constexpr qint64 kBlock = 256 * 1024;

// Opens a file for reading that must already exist and be no folder.
void OpenForReading(QFile& file, const QString& path)
{
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        RaiseFileOpen(path);
}

} // namespace

bool FilesIdentical(const QString& Path1, const QString& Path2)
{
    QFile first(Path1);
    OpenForReading(first, Path1);
    QFile second(Path2);
    OpenForReading(second, Path2);
    // Files have no share modes here: the comparison itself refuses to open
    // a file it already holds.
    const auto id1 = IdentifyOpenFile(first);
    if (id1 && id1 == IdentifyOpenFile(second))
        RaiseFileOpen(Path2);

    if (first.size() != second.size())
        return false;
    // Blocks instead of single bytes give the same answer; a read that ends
    // early or fails counts as a difference.
    std::vector<char> a(kBlock);
    std::vector<char> b(kBlock);
    for (qint64 left = first.size(); left > 0;) {
        const qint64 want = std::min(left, kBlock);
        if (first.read(a.data(), want) != want || second.read(b.data(), want) != want)
            return false;
        if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(want)) != 0)
            return false;
        left -= want;
    }
    return true;
}

} // namespace orvelle
