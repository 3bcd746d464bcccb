#pragma once

#include <QStyledItemDelegate>

namespace orvelle {

// Draws list rows as usual but at one fixed height, so a list shows as many
// entries as its item height promises (or, where the font is taller, the
// font's height).
class FixedRowDelegate final : public QStyledItemDelegate {
public:
    FixedRowDelegate(int rowHeight, QObject* parent);
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int rowHeight_;
};

} // namespace orvelle
