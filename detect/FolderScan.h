#pragma once

#include <atomic>

#include <QString>
#include <QStringList>

#include "FileListRules.h"

namespace orvelle {

// Every file of the tree below folder whose extension passes
// ExtensionChecked, depth first: a sub-folder's files come before the next
// entry of its parent, entries in the order the file system gives them,
// hidden ones included. Symbolic links are passed over (a linked folder is not
// entered, a linked file is not listed under its second name), as are
// sockets, pipes and devices. Folders that cannot be read add nothing. The
// walk keeps its own stack, so no depth of tree can exhaust the call stack,
// and it never enters a folder that is already on its current path, so it
// ends even where a mount makes the tree loop. A set cancel flag ends the
// walk before the next folder is read; what was found until then is returned.
QStringList ScanFolder(const QString& folder, const ExtensionItems& items,
                       const std::atomic<bool>* cancel = nullptr);

} // namespace orvelle
