#include "ResultsTree.h"

#include <memory>
#include <vector>

#include <QList>
#include <QString>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace orvelle {

namespace {

constexpr qsizetype kKeyLength = 8;

} // namespace

void BuildResultsTree(QTreeWidget& tree, const QStringList& MatchList)
{
    // "%.8d" never writes a letter, so no record's key equals the starting key.
    QString currentKey = QStringLiteral("0000000A");
    QTreeWidgetItem* currentRoot = nullptr;
    // The groups are put together outside the tree and handed over at once,
    // so the view lays itself out once, not once per node.
    std::vector<std::unique_ptr<QTreeWidgetItem>> roots;
    for (const QString& record : MatchList) {
        const QString key = record.left(kKeyLength);
        if (!currentRoot || key != currentKey) {
            currentKey = key;
            roots.push_back(std::make_unique<QTreeWidgetItem>(QStringList{key}));
            currentRoot = roots.back().get();
        }
        new QTreeWidgetItem(currentRoot, QStringList{record.mid(kKeyLength)});
    }

    QList<QTreeWidgetItem*> handOver;
    handOver.reserve(qsizetype(roots.size()));
    for (const auto& root : roots)
        handOver.append(root.get());
    tree.addTopLevelItems(handOver);
    for (auto& root : roots)
        root.release(); // the tree owns them now
}

} // namespace orvelle
