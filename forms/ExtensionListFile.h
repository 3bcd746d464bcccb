#pragma once

#include <QString>
#include <QStringList>

namespace orvelle {

// The patterns of an extension-list file, one per line, in file order. Lines
// end at CR LF, CR or LF; a zero byte ends the text. Throws EFOpenError when
// the file cannot be opened.
QStringList ReadExtensionList(const QString& path);

// Creates or replaces the file with every pattern followed by CR LF. Throws
// EFCreateError when that fails; the old file then stays as it was.
void WriteExtensionList(const QString& path, const QStringList& patterns);

// True for an existing entry that is not a folder.
bool IsExistingFile(const QString& path);

// Where the settings and the default extension list live: beside the
// settings base (the executable, or its name in the user's settings folder,
// SettingsPlace.h), under its name with ".ini" and ".ext".
QString IniFileFor(const QString& settingsBase);
QString ExtensionListFileFor(const QString& settingsBase);

} // namespace orvelle
