#pragma once

#include <QString>

namespace orvelle {

// The user's own folder for the settings: $XDG_CONFIG_HOME/orvelle, or
// ~/.config/orvelle where that variable is unset, empty or not absolute, as
// the XDG base directory rules say.
QString UserSettingsFolder();

// The path whose ".ini" and ".ext" siblings hold the settings. Beside the
// executable whenever its folder can be written, so a portable copy keeps
// its files where they always were; otherwise, as for a program installed
// in a system folder, in the user's settings folder under the executable's
// own name. That folder is made here, and where that fails the writing at
// the end reports it as the settings rules say. Chosen once at start, so
// reading and writing use the same place.
QString SettingsBase(const QString& executablePath);
QString SettingsBase(const QString& executablePath, const QString& userFolder);

} // namespace orvelle
