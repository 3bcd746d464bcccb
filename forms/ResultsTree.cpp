#include "ResultsTree.h"

#include <memory>
#include <vector>

#include <QList>
#include <QString>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "NativePath.h"

namespace orvelle {

namespace {

constexpr qsizetype kKeyLength = 8;

// Where a node's real path is kept when its text only shows it.
constexpr int kPathRole = Qt::UserRole;

} // namespace

QString NodePath(const QTreeWidgetItem& node)
{
    const QVariant path = node.data(0, kPathRole);
    return path.isValid() ? path.toString() : node.text(0);
}

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
        const QString path = record.mid(kKeyLength);
        auto* node = new QTreeWidgetItem(currentRoot, QStringList{DisplayText(path)});
        if (HoldsRawBytes(path))
            node->setData(0, kPathRole, path);
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
