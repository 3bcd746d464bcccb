#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

#include "Bitmap.h"
#include "CliCommands.h"
#include "FormatRegistry.h"
#include "NativePath.h"

namespace {

// Standard error carries the tool's own messages only; Qt's notes about the
// environment (no runtime folder and the like) are not for its users.
void QuietQt(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char* argv[])
{
    qInstallMessageHandler(QuietQt);
    orvelle::KeepFreedPixelMemory();
    // Pictures are drawn off screen; no display is needed or used.
    // The arguments by their bytes: a path whose name is not UTF-8 must still
    // reach its file, which QCoreApplication::arguments() would not let it.
    const QStringList args = orvelle::ArgumentsFromNative(argc, argv);
    int qtArgc = 3;
    char programName[] = "orvelle-cli";
    char platformFlag[] = "-platform";
    char platformName[] = "offscreen";
    char* qtArgv[] = {programName, platformFlag, platformName, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (orvelle::cli::NeedsPictures(args))
        app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    else
        app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    orvelle::FormatRegistry::Instance();
    return orvelle::cli::Run(args, stdout, stderr);
}
