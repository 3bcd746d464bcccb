#include "PaintBox.h"

#include <utility>

#include <QMouseEvent>
#include <QPaintEvent>

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

void PaintBox::paintEvent(QPaintEvent* event)
{
    event->accept();
    if (paint_)
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
