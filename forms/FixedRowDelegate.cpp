#include "FixedRowDelegate.h"

#include <algorithm>

namespace orvelle {

FixedRowDelegate::FixedRowDelegate(int rowHeight, QObject* parent)
    : QStyledItemDelegate(parent), rowHeight_(rowHeight)
{
}

QSize FixedRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // A substitute face may be taller than the one the row height was made
    // for; a row never clips its text, or an underscore in a path would vanish.
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(rowHeight_, option.fontMetrics.height()));
    return size;
}

} // namespace orvelle
