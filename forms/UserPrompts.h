#pragma once

#include <QString>
#include <QStringList>

#include "Errors.h"

class QFileDialog;
class QWidget;

namespace orvelle {

// Every box and shell dialog the windows put in front of the user, in one
// place. The windows only talk to this interface, so tests answer for the
// user by handing the windows a scripted implementation.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // The plain notice: the text, one "OK", no icon, captioned with the
    // application title.
    virtual void ShowMessage(QWidget* owner, const QString& text) = 0;

    // "確認" with a question icon, "はい(&Y)" (the default) and "キャンセル"
    // (also Escape and the close box). True for "はい(&Y)".
    virtual bool Confirm(QWidget* owner, const QString& text) = 0;

    // The error box for an error's message: ErrorBoxText(message), captioned
    // with the application title, a stop icon and one "OK".
    virtual void ShowError(QWidget* owner, const QString& message) = 0;

    // Runs the configured open-file dialog modally; the chosen files in the
    // dialog's order, by their real names (NativePath.h), or nothing when the
    // user cancels.
    virtual QStringList RunOpenDialog(QFileDialog& dialog) = 0;

    // The folder-browsing dialog with the given instruction; the chosen
    // folder by its real name, or empty when the user cancels.
    virtual QString BrowseFolder(QWidget* owner, const QString& instruction) = 0;
};

// The real boxes and dialogs of the platform.
class QtPrompts final : public UserPrompts {
public:
    void ShowMessage(QWidget* owner, const QString& text) override;
    bool Confirm(QWidget* owner, const QString& text) override;
    void ShowError(QWidget* owner, const QString& message) override;
    QStringList RunOpenDialog(QFileDialog& dialog) override;
    QString BrowseFolder(QWidget* owner, const QString& instruction) override;
};

// The application title that captions the plain and error boxes.
QString ApplicationTitle();

} // namespace orvelle
