#include "StartArguments.h"

#include <QDir>

#include "PathRules.h"

namespace orvelle {

namespace {

// A path as the list keeps it: absolute, so a scan and the details show
// where it is, and without the trailing separator a shell's completion
// adds to a folder. The name itself is left as typed: no "." or ".." is
// resolved and no link followed.
QString ListPath(const QString& argument, const QString& currentFolder)
{
    QString path = QDir::isAbsolutePath(argument) ? argument : JoinPath(currentFolder, argument);
    while (path.size() > 1 && IsPathSeparator(path.back()) &&
           !(path.size() == 3 && path.at(1) == u':'))
        path.chop(1);
    return path;
}

} // namespace

StartRequest ParseStartArguments(const QStringList& arguments, const QString& currentFolder)
{
    StartRequest request;
    bool options = true;
    for (const QString& a : arguments) {
        if (options && a == u"--") {
            options = false;
        } else if (options && (a == u"--help" || a == u"-h")) {
            request.action = StartRequest::Action::Help;
            return request;
        } else if (options && a == u"--version") {
            request.action = StartRequest::Action::Version;
            return request;
        } else if (options && a.size() > 1 && a.startsWith(u'-')) {
            request.action = StartRequest::Action::Wrong;
            request.wrong = a;
            return request;
        } else if (!a.isEmpty()) {
            request.paths << ListPath(a, currentFolder);
        }
    }
    return request;
}

StartRequest::Action TextAskedFor(const QStringList& arguments)
{
    for (const QString& a : arguments) {
        if (a == u"--")
            break;
        if (a == u"--help" || a == u"-h")
            return StartRequest::Action::Help;
        if (a == u"--version")
            return StartRequest::Action::Version;
    }
    return StartRequest::Action::Run;
}

QString StartUsageText()
{
    return QStringLiteral(
        "usage: orvelle [PATH...]\n"
        "Starts Orvelle, which finds duplicate image files, with each PATH in its file\n"
        "list, in the order given: a folder is searched, subfolders included, for the\n"
        "files whose extensions are ticked in the extension list; any other path is\n"
        "added as it is.\n"
        "\n"
        "  --help, -h   print this text and exit\n"
        "  --version    print the version and exit\n"
        "  --           take every argument after it as a path\n"
        "\n"
        "The settings are kept beside the program when its folder can be written, and\n"
        "otherwise in $XDG_CONFIG_HOME/orvelle (~/.config/orvelle).\n");
}

} // namespace orvelle
