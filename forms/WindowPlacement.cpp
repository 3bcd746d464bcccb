#include "WindowPlacement.h"

#include <QScreen>
#include <QWidget>

namespace orvelle {

void CentreOnScreen(QWidget& window)
{
    const QScreen* where = window.screen();
    if (!where)
        return;
    const QRect area = where->availableGeometry();
    const QSize outer = window.frameGeometry().size();
    window.move(area.x() + (area.width() - outer.width()) / 2,
                area.y() + (area.height() - outer.height()) / 2);
}

} // namespace orvelle
