#pragma once

#include <atomic>

#include <QStringList>

#include "CheckResult.h"

namespace orvelle {

// The exact-mode check: the same records, deletions, first error and list
// after Cancel as comparing every pair byte for byte in visiting order
// (CheckRun with FilesIdentical), derived from classes of equal files
// instead of from n² pairs.
//
// Every entry is looked at once: whether it opens, its size and which file
// it is. Only files that share a size are read, and only until they differ
// (ContentClasses). The outcome then follows from the classes:
//  - An entry that cannot be opened fails the outer loop's first pass,
//    which visits every other entry: at the last such entry in the list
//    (visited first), or at the first entry itself when that one fails.
//  - Otherwise each class is settled in the pass of its first entry (its
//    leader), which takes in every later member under another path text,
//    from the end of the list backwards; a member that is the leader's own
//    file under another name is refused there, after the deletions that
//    came before it in visiting order.
// Cancel ends the run in the state before the pass of the first entry whose
// class is not known yet.
CheckResult RunExactCheck(const QStringList& files, const std::atomic<bool>& cancel,
                          const ProgressSink& progress = {}, int threads = 1);

} // namespace orvelle
