#include "WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace orvelle {

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

} // namespace orvelle
