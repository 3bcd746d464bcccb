#include "FolderScan.h"

#include <cstdint>
#include <optional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include "FileIdentity.h"
#include "PathRules.h"

namespace orvelle {

namespace {

enum class Kind { File, Folder, Other };

struct Entry {
    QString name;
    Kind kind = Kind::Other;
};

// One folder on the walk's current path, its entries read in one go so that
// no directory handle stays open while the walk is deeper down.
struct Frame {
    QString path;
    std::vector<Entry> entries;
    std::size_t next = 0;
    std::optional<FileId> id;
};

#ifdef _WIN32

Frame Enter(const QString& path)
{
    Frame frame;
    frame.path = path;
    frame.id = IdentifyFile(path);
    const QFileInfoList infos = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& info : infos) {
        Kind kind = Kind::Other;
        if (info.isSymLink() || info.isJunction())
            kind = Kind::Other;
        else if (info.isDir())
            kind = Kind::Folder;
        else if (info.isFile())
            kind = Kind::File;
        frame.entries.push_back({info.fileName(), kind});
    }
    return frame;
}

#else

Kind KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::File;
    if (S_ISDIR(mode))
        return Kind::Folder;
    return Kind::Other; // links, sockets, pipes, devices
}

// The entries straight from the directory: the kind the directory itself
// records saves a look at every file, which is most of what a large tree
// costs to walk.
Frame Enter(const QString& path)
{
    Frame frame;
    frame.path = path;
    DIR* dir = ::opendir(QFile::encodeName(path).constData());
    if (!dir)
        return frame;
    const int fd = ::dirfd(dir);
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        frame.id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    while (const dirent* d = ::readdir(dir)) {
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        Kind kind = Kind::Other;
        switch (d->d_type) {
        case DT_REG:
            kind = Kind::File;
            break;
        case DT_DIR:
            kind = Kind::Folder;
            break;
        case DT_UNKNOWN:
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                kind = KindOf(st.st_mode);
            break;
        default:
            break;
        }
        frame.entries.push_back({QFile::decodeName(name), kind});
    }
    ::closedir(dir);
    return frame;
}

#endif

bool OnPath(const std::vector<Frame>& stack, const std::optional<FileId>& id)
{
    if (!id)
        return false;
    for (const Frame& frame : stack) {
        if (frame.id == id)
            return true;
    }
    return false;
}

} // namespace

QStringList ScanFolder(const QString& folder, const ExtensionItems& items,
                       const std::atomic<bool>* cancel)
{
    QStringList found;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return found;

    std::vector<Frame> stack;
    stack.push_back(Enter(folder));
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const Entry& entry = top.entries[top.next++];
        if (entry.kind == Kind::Other)
            continue;
        const QString path = JoinPath(top.path, entry.name);
        if (entry.kind == Kind::Folder) {
            if (cancel != nullptr && cancel->load())
                break;
            Frame child = Enter(path);
            if (!OnPath(stack, child.id))
                stack.push_back(std::move(child));
        } else if (ExtensionChecked(items, ExtractFileExt(path))) {
            found << path;
        }
    }
    return found;
}

} // namespace orvelle
