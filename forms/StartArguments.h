#pragma once

#include <QString>
#include <QStringList>

namespace orvelle {

// What the window program's command line asks for: `orvelle [PATH...]`,
// `--help`, `--version`, and `--` before paths that begin with "-".
struct StartRequest {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    // The paths to put in the file list, in the order given, each absolute
    // against the current folder and without a trailing separator.
    QStringList paths;
    // The option that was not understood.
    QString wrong;
};

// The arguments after the program name (those Qt takes for itself removed).
StartRequest ParseStartArguments(const QStringList& arguments, const QString& currentFolder);

// Help or Version when an argument before "--" asks for that text, which
// is printed before any window exists and whatever else is given (Qt's own
// options are not known yet); Run otherwise.
StartRequest::Action TextAskedFor(const QStringList& arguments);

QString StartUsageText();

} // namespace orvelle
