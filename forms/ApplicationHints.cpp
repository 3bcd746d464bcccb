#include "ApplicationHints.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QStatusTipEvent>
#include <QWidget>

namespace orvelle {

HintParts SplitHint(const QString& hint)
{
    const qsizetype bar = hint.indexOf(u'|');
    if (bar < 0)
        return {hint, hint};
    return {hint.left(bar), hint.mid(bar + 1)};
}

void ApplyHint(QWidget* control, const QString& hint)
{
    const HintParts parts = SplitHint(hint);
    control->setToolTip(parts.shortPart);
    control->setStatusTip(parts.longPart);
}

void ApplyHint(QAction* item, const QString& hint)
{
    const HintParts parts = SplitHint(hint);
    item->setToolTip(parts.shortPart);
    item->setStatusTip(parts.longPart);
}

ApplicationHints::ApplicationHints(QObject* parent) : QObject(parent)
{
    QCoreApplication::instance()->installEventFilter(this);
}

ApplicationHints::~ApplicationHints()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void ApplicationHints::SetHint(const QString& hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    emit HintChanged();
}

bool ApplicationHints::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        SetHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orvelle
