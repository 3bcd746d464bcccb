#include "FolderScan.h"

#include <vector>

#include <QDir>
#include <QFileInfo>

#include "FileIdentity.h"
#include "PathRules.h"

namespace orvelle {

namespace {

// One folder on the walk's current path, its entries read in one go so that
// no directory handle stays open while the walk is deeper down.
struct Frame {
    QString path;
    QFileInfoList entries;
    qsizetype next = 0;
    std::optional<FileId> id;
};

Frame Enter(const QString& path)
{
    Frame frame;
    frame.path = path;
    frame.id = IdentifyFile(path);
    frame.entries = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    return frame;
}

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
        const QFileInfo& entry = top.entries.at(top.next++);
        if (entry.isSymLink() || entry.isJunction())
            continue;
        const QString path = JoinPath(top.path, entry.fileName());
        if (entry.isDir()) {
            if (cancel != nullptr && cancel->load())
                break;
            Frame child = Enter(path);
            if (!OnPath(stack, child.id))
                stack.push_back(std::move(child));
        } else if (entry.isFile() && ExtensionChecked(items, ExtractFileExt(path))) {
            found << path;
        }
    }
    return found;
}

} // namespace orvelle
