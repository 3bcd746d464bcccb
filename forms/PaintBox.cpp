#include "PaintBox.h"

#include <utility>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QScopedValueRollback>

namespace orvelle {

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {}

void PaintBox::OnPaint(std::function<void()> handler)
{
    paint_ = std::move(handler);
}

void PaintBox::OnDoubleClick(std::function<void()> handler)
{
    doubleClick_ = std::move(handler);
}

QRect PaintBox::Exposed() const
{
    return painting_ ? exposed_ : rect();
}

void PaintBox::paintEvent(QPaintEvent* event)
{
    event->accept();
    if (!paint_)
        return;
    const QScopedValueRollback<QRect> exposed(exposed_, event->rect());
    const QScopedValueRollback<bool> painting(painting_, true);
    paint_();
}

void PaintBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    if (doubleClick_)
        doubleClick_();
}

} // namespace orvelle
