#include "FolderScan.h"

#include <optional>
#include <utility>
#include <vector>

#include "FileIdentity.h"
#include "NativeFiles.h"
#include "PathRules.h"

namespace orvelle {

namespace {

// One folder on the walk's current path, its entries read in one go so that
// no directory handle stays open while the walk is deeper down.
struct Frame {
    QString path;
    std::vector<FolderEntry> entries;
    std::size_t next = 0;
    std::optional<FileId> id;
};

Frame Enter(const QString& path)
{
    FolderListing listing = ListFolder(path);
    return Frame{path, std::move(listing.entries), 0, listing.id};
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
    if (folder.isEmpty() || !IsFolder(folder))
        return found;

    std::vector<Frame> stack;
    stack.push_back(Enter(folder));
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const FolderEntry& entry = top.entries[top.next++];
        // Links, sockets, pipes and devices are passed over.
        if (entry.kind != EntryKind::File && entry.kind != EntryKind::Folder)
            continue;
        const QString path = JoinPath(top.path, entry.name);
        if (entry.kind == EntryKind::Folder) {
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
