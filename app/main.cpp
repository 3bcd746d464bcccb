#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include "Bitmap.h"
#include "CheckOptionUnit.h"
#include "Fonts.h"
#include "FormatRegistry.h"
#include "HandlerGuard.h"
#include "MainUnit.h"
#include "Metafile.h"
#include "NativeFiles.h"
#include "ProgressUnit.h"
#include "NativePath.h"
#include "SettingsPlace.h"
#include "StartArguments.h"
#include "ToolPictures.h"
#include "UserPrompts.h"

namespace {

// Qt aborts when it cannot reach a display; say so plainly instead.
bool HasDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
#else
    return true;
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    // The texts asked for print without a window, and so without a display.
    switch (orvelle::TextAskedFor(orvelle::ArgumentsFromNative(argc, argv))) {
    case orvelle::StartRequest::Action::Help:
        std::fputs(orvelle::StartUsageText().toLocal8Bit().constData(), stdout);
        return 0;
    case orvelle::StartRequest::Action::Version:
        std::fputs("orvelle " ORVELLE_VERSION "\n", stdout);
        return 0;
    default:
        break;
    }
    if (!HasDisplay()) {
        std::fputs("orvelle: no display to show the window on (DISPLAY is not set)\n", stderr);
        return 1;
    }
    orvelle::KeepFreedPixelMemory();
    QApplication app(argc, argv);
    QApplication::setApplicationName(orvelle::ApplicationTitle());
    QApplication::setWindowIcon(orvelle::ProgramIcon());
    orvelle::RegisterFontSubstitutes();

    // What is left once Qt has taken its own options: paths, or a mistake.
    const orvelle::StartRequest request = orvelle::ParseStartArguments(
        orvelle::ArgumentsFromNative(argc, argv), orvelle::CurrentFolder());
    if (request.action == orvelle::StartRequest::Action::Wrong) {
        std::fprintf(stderr, "orvelle: unknown option %s\n%s",
                     request.wrong.toLocal8Bit().constData(),
                     orvelle::StartUsageText().toLocal8Bit().constData());
        return 2;
    }

    orvelle::FormatRegistry::Instance(); // the picture formats, before any window
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        orvelle::SetScreenPixelsPerInch(qRound(screen->logicalDotsPerInchY()));
    orvelle::QtPrompts prompts;
    // By the path's own bytes, so that the settings beside the program are
    // found in a folder whose name is not UTF-8.
    const auto MainForm =
        std::make_unique<TMainForm>(prompts, orvelle::SettingsBase(orvelle::ExecutablePath()));
    const auto ProgressDlg = std::make_unique<TProgressDlg>(MainForm->CancelFlag, prompts);
    const auto CheckOptionDlg = std::make_unique<TCheckOptionDlg>(prompts);
    MainForm->AttachDialogs(ProgressDlg.get(), CheckOptionDlg.get());

    MainForm->show();
    if (!request.paths.isEmpty())
        QTimer::singleShot(0, MainForm.get(), [&] {
            orvelle::Guarded(prompts, MainForm.get(), [&] { MainForm->OpenPaths(request.paths); });
        });
    return QApplication::exec();
}
