#include "ExtensionListFile.h"

#include <QByteArray>
#include <QFile>

#include "Errors.h"
#include "NativeFiles.h"
#include "NativePath.h"
#include "PathRules.h"

namespace orvelle {

namespace {

// One pattern per line; CR LF, a lone CR and a lone LF all end a line, and a
// line end at the very end of the text starts no further line.
QStringList SplitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && text.at(end) != u'\r' && text.at(end) != u'\n')
            ++end;
        lines.append(text.mid(start, end - start));
        if (end < size && text.at(end) == u'\r' && end + 1 < size && text.at(end + 1) == u'\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

} // namespace

QStringList ReadExtensionList(const QString& path)
{
    // Only a plain file holds a list: a folder cannot be read, and a pipe
    // would keep the program waiting.
    const std::unique_ptr<QFile> file = OpenForReading(path);
    if (!file)
        RaiseFileOpen(path);
    QByteArray bytes = file->readAll();
    if (file->error() != QFileDevice::NoError)
        throw EReadError(StreamReadText());

    // The text is the bytes before the first zero byte.
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    // By the bytes, as names are: a Shift-JIS pattern matches the Shift-JIS
    // names it was written for and is written back as it was read.
    return SplitLines(PathFromNative(bytes));
}

void WriteExtensionList(const QString& path, const QStringList& patterns)
{
    QByteArray bytes;
    for (const QString& pattern : patterns) {
        bytes.append(PathToNative(pattern));
        bytes.append("\r\n");
    }

    // The old list survives a crash or a full disk; where no new file may be
    // created beside it, the file is rewritten in place.
    if (WriteWholeFile(path, bytes, DirectWrite::WhenNoTemporaryFile) != WriteOutcome::Written)
        RaiseFileCreate(path);
}

bool IsExistingFile(const QString& path)
{
    const std::optional<FileStatus> status = StatusOf(path);
    return status && status->kind != EntryKind::Folder;
}

QString IniFileFor(const QString& settingsBase)
{
    return ChangeFileExt(settingsBase, QStringLiteral(".ini"));
}

QString ExtensionListFileFor(const QString& settingsBase)
{
    return ChangeFileExt(settingsBase, QStringLiteral(".ext"));
}

} // namespace orvelle
