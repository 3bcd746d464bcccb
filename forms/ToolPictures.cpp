#include "ToolPictures.h"

namespace orvelle {

QIcon ToolButtonIcon(ToolPicture)
{
    return {};
}

QIcon ProgramIcon()
{
    return {};
}

QPixmap ProgramIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace orvelle
