#pragma once

#include <QString>
#include <QStringList>

class QTreeWidget;
class QTreeWidgetItem;

namespace orvelle {

// Builds the groups from the match records ("%.8d" group number followed by
// the path): a root node per group key appended after the existing roots, one
// child per record in record order; the first record always opens a root
// (current key starts as "0000000A"). Node texts exactly as given, but for a
// path with bytes that are not UTF-8, which shows as DisplayText() gives it
// and keeps its real name beside the text (NodePath).
//
// Only a change of key opens a root, so a key that comes back after another
// one opens a second root with the same text; the check run never writes such
// records, its groups are contiguous. New roots are collapsed.
void BuildResultsTree(QTreeWidget& tree, const QStringList& MatchList);

// The real path of a file node.
QString NodePath(const QTreeWidgetItem& node);

} // namespace orvelle
