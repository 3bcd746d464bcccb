#pragma once

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace orvelle {

// Esc is no answer in a box that asks nothing: the key is taken here and
// goes no further, so QDialog does not close the box on it. True when it was.
inline bool TakeEscape(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier)
        return false;
    event->accept();
    return true;
}

// A press, release or double click of the right button. A list's commands
// act on what was selected before its pop-up menu opened, so a view's
// viewport lets these go no further: the right button then selects
// nothing, and the context menu still comes, as Qt sends it apart.
inline bool IsRightButtonEvent(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return static_cast<const QMouseEvent*>(event)->button() == Qt::RightButton;
    default:
        return false;
    }
}

} // namespace orvelle
