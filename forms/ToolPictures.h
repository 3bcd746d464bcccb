#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace orvelle {

enum class ToolPicture { AddFiles, AddFolder, DeleteFile, Clear, Check };

// A tool button's 16 × 16 picture with its greyed variant, which the button
// shows while it is disabled.
QIcon ToolButtonIcon(ToolPicture picture);

// The program icon: window icon and about box.
QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);

// One of our SVG drawings rendered at size × size; a null pixmap when the
// file is missing or does not parse.
QPixmap RenderDrawing(const QString& file, int size);

// The etched grey look of a picture on a disabled button.
QImage GreyedPicture(const QImage& picture);

} // namespace orvelle
