#pragma once

#include <Qt>

class QWidget;

namespace orvelle {

// A dialog's fixed frame: a title bar with a close box, no minimise or
// maximise box.
inline constexpr Qt::WindowFlags kFixedDialogFrame =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowCloseButtonHint;

// Puts the window, frame included, in the middle of its screen's work area.
void CentreOnScreen(QWidget& window);

} // namespace orvelle
