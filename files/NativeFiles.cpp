#include "NativeFiles.h"

#include <utility>

#include <QCoreApplication>
#include <QFile>

#include "NativePath.h"
#include "PathRules.h"

#ifdef _WIN32
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#else
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#endif

namespace orvelle {

#ifdef _WIN32

std::optional<FileStatus> StatusOf(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return std::nullopt;
    FileStatus status;
    status.kind = info.isDir()    ? EntryKind::Folder
                  : info.isFile() ? EntryKind::File
                                  : EntryKind::Other;
    status.size = static_cast<std::uint64_t>(info.size());
    status.lastWrite = info.lastModified().toLocalTime();
    status.id = IdentifyFile(path).value_or(FileId{});
    return status;
}

bool EntryExists(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && (info.exists() || info.isSymLink());
}

std::unique_ptr<QFile> OpenForReading(const QString& path, Readable kinds)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir() || (kinds == Readable::FilesOnly && !info.isFile()))
        return nullptr;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return nullptr;
    return file;
}

std::unique_ptr<QFile> OpenForWriting(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::WriteOnly | QIODevice::Truncate))
        return nullptr;
    return file;
}

bool RemoveFile(const QString& path)
{
    return !path.isEmpty() && QFile::remove(path);
}

FolderListing ListFolder(const QString& path)
{
    FolderListing listing;
    const QDir dir(path);
    if (path.isEmpty() || !dir.exists())
        return listing;
    listing.opened = true;
    listing.id = IdentifyFile(path);
    const QFileInfoList infos = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& info : infos) {
        EntryKind kind = EntryKind::Other;
        if (info.isSymLink() || info.isJunction())
            kind = EntryKind::Link;
        else if (info.isDir())
            kind = EntryKind::Folder;
        else if (info.isFile())
            kind = EntryKind::File;
        listing.entries.push_back({info.fileName(), kind});
    }
    return listing;
}

WriteOutcome WriteWholeFile(const QString& path, QByteArrayView bytes, DirectWrite fallback)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(fallback == DirectWrite::WhenNoTemporaryFile);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly))
        return WriteOutcome::NotCreated;
    if (file.write(bytes.data(), bytes.size()) != bytes.size())
        return WriteOutcome::NotWritten;
    if (!file.commit())
        return file.error() == QFileDevice::RenameError ? WriteOutcome::NotReplaced
                                                        : WriteOutcome::NotWritten;
    return WriteOutcome::Written;
}

QString ResolveShownPath(const QString& shown)
{
    // Qt shows every Windows name as it is.
    return shown;
}

bool FolderWritable(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

bool MakeFolders(const QString& path)
{
    return !path.isEmpty() && QDir().mkpath(path);
}

QString CurrentFolder()
{
    return QDir::toNativeSeparators(QDir::currentPath());
}

QString ExecutablePath()
{
    return QCoreApplication::applicationFilePath();
}

#else

std::optional<QByteArray> SystemName(const QString& path)
{
    QByteArray name = PathToNative(path);
    if (name.contains('\0'))
        return std::nullopt;
    return name;
}

namespace {

EntryKind KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

FileId IdOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// A file descriptor, closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }

    int Get() const noexcept { return fd_; }
    bool IsOpen() const noexcept { return fd_ >= 0; }
    int Release() noexcept { return std::exchange(fd_, -1); }
    void Reset(int fd) noexcept
    {
        Close();
        fd_ = fd;
    }
    // The result of close(2): a failing close can be the first news of a
    // write that did not reach the disk.
    int Close() noexcept
    {
        if (fd_ < 0)
            return 0;
        return ::close(std::exchange(fd_, -1));
    }

private:
    int fd_;
};

int OpenName(const QByteArray& name, int flags, mode_t mode = 0)
{
    int fd = -1;
    do {
        fd = ::open(name.constData(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int OpenPath(const QString& path, int flags, mode_t mode = 0)
{
    const std::optional<QByteArray> name = SystemName(path);
    if (!name || name->isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    return OpenName(*name, flags, mode);
}

bool StatPath(const QString& path, struct stat& st, bool followLinks)
{
    const std::optional<QByteArray> name = SystemName(path);
    if (!name || name->isEmpty())
        return false;
    return (followLinks ? ::stat(name->constData(), &st) : ::lstat(name->constData(), &st)) == 0;
}

// A QFile on an open descriptor, which it closes.
std::unique_ptr<QFile> Adopt(Descriptor& fd, QIODevice::OpenMode mode)
{
    auto file = std::make_unique<QFile>();
    if (!file->open(fd.Get(), mode, QFileDevice::AutoCloseHandle))
        return nullptr;
    fd.Release();
    return file;
}

bool WriteAll(int fd, QByteArrayView bytes)
{
    const char* from = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, from, static_cast<std::size_t>(left));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        from += put;
        left -= put;
    }
    return true;
}

// What a symbolic link points to, as written in it.
std::optional<QByteArray> ReadLink(const QByteArray& name)
{
    QByteArray target(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t length =
            ::readlink(name.constData(), target.data(), std::size_t(target.size()));
        if (length < 0)
            return std::nullopt;
        if (length < target.size()) {
            target.truncate(length);
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// The name a chain of symbolic links ends at, so that writing through a link
// replaces its target and leaves the link. A loop is given up after as many
// steps as the system itself takes.
QByteArray FollowLinks(QByteArray name)
{
    for (int step = 0; step < 40; ++step) {
        struct stat st {};
        if (::lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return name;
        const std::optional<QByteArray> target = ReadLink(name);
        if (!target || target->isEmpty())
            return name;
        if (target->startsWith('/')) {
            name = *target;
        } else {
            const qsizetype slash = name.lastIndexOf('/');
            name = (slash < 0 ? QByteArray() : name.left(slash + 1)) + *target;
        }
    }
    return name;
}

QByteArray TemporarySuffix()
{
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(".");
    for (int i = 0; i < 6; ++i)
        suffix.append(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))]);
    return suffix;
}

WriteOutcome WriteInPlace(const QByteArray& target, QByteArrayView bytes)
{
    Descriptor fd(OpenName(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd.IsOpen())
        return WriteOutcome::NotCreated;
    if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0 || fd.Close() != 0)
        return WriteOutcome::NotWritten;
    return WriteOutcome::Written;
}

// The entry whose shown text is shown, when exactly one of the folder has it.
std::optional<QString> SoleShownMatch(const QString& folder, const QString& shown)
{
    // Only a name with a replacement character can stand for another.
    if (!shown.contains(QChar(QChar::ReplacementCharacter)))
        return std::nullopt;
    std::optional<QString> match;
    for (const FolderEntry& entry : ListFolder(folder).entries) {
        if (DisplayText(entry.name) != shown)
            continue;
        if (match)
            return std::nullopt; // two names show alike; neither is taken
        match = entry.name;
    }
    return match;
}

} // namespace

std::optional<FileStatus> StatusOf(const QString& path)
{
    struct stat st {};
    if (!StatPath(path, st, true))
        return std::nullopt;
    FileStatus status;
    status.kind = KindOf(st.st_mode);
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.lastWrite = QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 +
                                                      st.st_mtim.tv_nsec / 1000000);
    status.id = IdOf(st);
    return status;
}

bool EntryExists(const QString& path)
{
    struct stat st {};
    return StatPath(path, st, false);
}

std::unique_ptr<QFile> OpenForReading(const QString& path, Readable kinds)
{
    const bool filesOnly = kinds == Readable::FilesOnly;
    // Non-blocking where only files will do, so that a pipe is refused below
    // at once instead of waiting for a writer.
    Descriptor fd(OpenPath(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | (filesOnly ? O_NONBLOCK : 0)));
    if (!fd.IsOpen())
        return nullptr;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode) || (filesOnly && !S_ISREG(st.st_mode)))
        return nullptr;
    if (filesOnly) {
        const int flags = ::fcntl(fd.Get(), F_GETFL);
        if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
            return nullptr;
    }
    return Adopt(fd, QIODevice::ReadOnly);
}

std::unique_ptr<QFile> OpenForWriting(const QString& path)
{
    Descriptor fd(OpenPath(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd.IsOpen())
        return nullptr;
    return Adopt(fd, QIODevice::WriteOnly);
}

bool RemoveFile(const QString& path)
{
    const std::optional<QByteArray> name = SystemName(path);
    return name && !name->isEmpty() && ::unlink(name->constData()) == 0;
}

FolderListing ListFolder(const QString& path)
{
    FolderListing listing;
    const std::optional<QByteArray> name = SystemName(path);
    if (!name || name->isEmpty())
        return listing;
    DIR* dir = ::opendir(name->constData());
    if (!dir)
        return listing;
    listing.opened = true;
    const int fd = ::dirfd(dir);
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        listing.id = IdOf(st);
    // The kind the directory itself records saves a look at every entry,
    // which is most of what a large tree costs to walk.
    while (const dirent* d = ::readdir(dir)) {
        const char* entry = d->d_name;
        if (entry[0] == '.' && (entry[1] == 0 || (entry[1] == '.' && entry[2] == 0)))
            continue;
        EntryKind kind = EntryKind::Other;
        switch (d->d_type) {
        case DT_REG:
            kind = EntryKind::File;
            break;
        case DT_DIR:
            kind = EntryKind::Folder;
            break;
        case DT_LNK:
            kind = EntryKind::Link;
            break;
        case DT_UNKNOWN:
            if (::fstatat(fd, entry, &st, AT_SYMLINK_NOFOLLOW) == 0)
                kind = KindOf(st.st_mode);
            break;
        default:
            break;
        }
        listing.entries.push_back({PathFromNative(entry), kind});
    }
    ::closedir(dir);
    return listing;
}

WriteOutcome WriteWholeFile(const QString& path, QByteArrayView bytes, DirectWrite fallback)
{
    const std::optional<QByteArray> name = SystemName(path);
    if (!name || name->isEmpty())
        return WriteOutcome::NotCreated;
    const QByteArray target = FollowLinks(*name);
    struct stat st {};
    const bool existing = ::stat(target.constData(), &st) == 0;
    if (existing && (S_ISDIR(st.st_mode) || ::access(target.constData(), W_OK) != 0))
        return WriteOutcome::NotCreated;
    // A file with other names keeps them: a new file moved over one name
    // would leave the others with the old bytes.
    if (existing && st.st_nlink > 1 && fallback == DirectWrite::WhenNoTemporaryFile)
        return WriteInPlace(target, bytes);

    Descriptor fd;
    QByteArray temporary;
    int error = 0;
    for (int attempt = 0; attempt < 100 && !fd.IsOpen(); ++attempt) {
        temporary = target + TemporarySuffix();
        fd.Reset(OpenName(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
        error = fd.IsOpen() ? 0 : errno;
        if (error != EEXIST)
            break;
    }
    if (!fd.IsOpen()) {
        if (fallback == DirectWrite::WhenNoTemporaryFile && (error == EACCES || error == EPERM))
            return WriteInPlace(target, bytes);
        return WriteOutcome::NotCreated;
    }
    // The new file stands in for the old one, rights and all; a file the
    // rights cannot be given to is still written.
    if (existing)
        (void)::fchmod(fd.Get(), st.st_mode & 07777);
    if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0 || fd.Close() != 0) {
        ::unlink(temporary.constData());
        return WriteOutcome::NotWritten;
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return WriteOutcome::NotReplaced;
    }
    return WriteOutcome::Written;
}

QString ResolveShownPath(const QString& shown)
{
    if (shown.isEmpty() || EntryExists(shown))
        return shown;
    const QStringList parts = shown.split(u'/');
    const bool absolute = shown.startsWith(u'/');
    QString resolved = absolute ? QStringLiteral("/") : QString();
    qsizetype k = 0;
    for (; k < parts.size(); ++k) {
        const QString& part = parts.at(k);
        if (part.isEmpty())
            continue; // the root, or a doubled or closing separator
        const auto under = [&](const QString& name) {
            return resolved.isEmpty() ? name : JoinPath(resolved, name);
        };
        if (EntryExists(under(part))) {
            resolved = under(part);
            continue;
        }
        const std::optional<QString> match =
            SoleShownMatch(resolved.isEmpty() ? QStringLiteral(".") : resolved, part);
        if (!match)
            break;
        resolved = under(*match);
    }
    if (k == parts.size())
        return resolved;
    const QString rest = parts.mid(k).join(u'/');
    return resolved.isEmpty() ? rest : JoinPath(resolved, rest);
}

bool FolderWritable(const QString& path)
{
    const std::optional<QByteArray> name = SystemName(path);
    struct stat st {};
    // access() also answers EROFS for a folder on a read-only mount, which
    // the permission bits would not show, least of all to root.
    return name && ::stat(name->constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(name->constData(), W_OK | X_OK) == 0;
}

bool MakeFolders(const QString& path)
{
    const std::optional<QByteArray> name = SystemName(path);
    if (!name || name->isEmpty())
        return false;
    // Each ancestor in turn, as mkdir -p does; one that exists already, as
    // a folder, is passed over.
    for (qsizetype at = 1; at <= name->size(); ++at) {
        if (at < name->size() && name->at(at) != '/')
            continue;
        const QByteArray part = name->left(at);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(name->constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString CurrentFolder()
{
    // getcwd's bytes: QDir::currentPath() decodes them lossily.
    std::vector<char> buffer(PATH_MAX + 1);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1U << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return PathFromNative(QByteArrayView(buffer.data()));
}

QString ExecutablePath()
{
#ifdef __linux__
    // The link's bytes: applicationFilePath() decodes them lossily, and the
    // settings beside a program in such a folder would be lost.
    if (const std::optional<QByteArray> target = ReadLink("/proc/self/exe"))
        return PathFromNative(*target);
#endif
    return QCoreApplication::applicationFilePath();
}

#endif

bool PathExists(const QString& path)
{
    return StatusOf(path).has_value();
}

bool IsFolder(const QString& path)
{
    const std::optional<FileStatus> status = StatusOf(path);
    return status && status->kind == EntryKind::Folder;
}

bool IsFile(const QString& path)
{
    const std::optional<FileStatus> status = StatusOf(path);
    return status && status->kind == EntryKind::File;
}

} // namespace orvelle
