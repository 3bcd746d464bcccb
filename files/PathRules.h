#pragma once

#include <QString>
#include <QStringView>

namespace orvelle {

// The characters that end a folder name in a path on this platform: "/" here,
// "\", "/" and the drive colon on Windows.
QStringView PathSeparators();

bool IsPathSeparator(QChar c, QStringView separators = PathSeparators());

// The text from the last "." that stands after every separator to the end,
// the dot included; empty when there is none. Walks whole characters, so a
// separator or dot is never found inside another character.
QString ExtractFileExt(const QString& path, QStringView separators = PathSeparators());

// The path with its extension (as above) replaced by ext; a path without one
// gets ext appended.
QString ChangeFileExt(const QString& path, const QString& ext,
                      QStringView separators = PathSeparators());

// folder + separator + name, without doubling the separator of a root such as
// "/" or "C:\"; a bare drive "C:" gets its backslash.
QString JoinPath(const QString& folder, const QString& name,
                 QStringView separators = PathSeparators());

} // namespace orvelle
