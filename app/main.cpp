#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QScreen>

#include "Bitmap.h"
#include "CheckOptionUnit.h"
#include "Fonts.h"
#include "FormatRegistry.h"
#include "MainUnit.h"
#include "Metafile.h"
#include "NativeFiles.h"
#include "ProgressUnit.h"
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
    if (!HasDisplay()) {
        std::fputs("orvelle: no display to show the window on (DISPLAY is not set)\n", stderr);
        return 1;
    }
    orvelle::KeepFreedPixelMemory();
    QApplication app(argc, argv);
    QApplication::setApplicationName(orvelle::ApplicationTitle());
    QApplication::setWindowIcon(orvelle::ProgramIcon());
    orvelle::RegisterFontSubstitutes();

    orvelle::FormatRegistry::Instance(); // the picture formats, before any window
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        orvelle::SetScreenPixelsPerInch(qRound(screen->logicalDotsPerInchY()));
    orvelle::QtPrompts prompts;
    // By the path's own bytes, so that the settings beside the program are
    // found in a folder whose name is not UTF-8.
    const auto MainForm = std::make_unique<TMainForm>(prompts, orvelle::ExecutablePath());
    const auto ProgressDlg = std::make_unique<TProgressDlg>(MainForm->CancelFlag, prompts);
    const auto CheckOptionDlg = std::make_unique<TCheckOptionDlg>(prompts);
    MainForm->AttachDialogs(ProgressDlg.get(), CheckOptionDlg.get());

    MainForm->show();
    return QApplication::exec();
}
