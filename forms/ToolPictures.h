#pragma once

#include <QIcon>
#include <QPixmap>

namespace orvelle {

enum class ToolPicture { AddFiles, AddFolder, DeleteFile, Clear, Check };

// A tool button's 16 × 16 picture with its greyed variant, which the button
// shows while it is disabled.
QIcon ToolButtonIcon(ToolPicture picture);

// The program icon: window icon and about box.
QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);

} // namespace orvelle
