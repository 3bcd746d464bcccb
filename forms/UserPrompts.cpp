#include "UserPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "NativeFiles.h"
#include "RealNameFileDialog.h"

namespace orvelle {

QString ApplicationTitle()
{
    return QStringLiteral("Orvelle");
}

namespace {

// Texts carry file names, which may hold "<" or "&"; they must not be read as
// markup.
void ShowAsWritten(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
}

// A box with one "OK" button; icon NoIcon for the plain notice.
void ShowOkBox(QWidget* owner, QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, ApplicationTitle(), text, QMessageBox::NoButton, owner);
    ShowAsWritten(box);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

} // namespace

void QtPrompts::ShowMessage(QWidget* owner, const QString& text)
{
    ShowOkBox(owner, QMessageBox::NoIcon, text);
}

void QtPrompts::ShowError(QWidget* owner, const QString& message)
{
    ShowOkBox(owner, QMessageBox::Critical, ErrorBoxText(message));
}

bool QtPrompts::Confirm(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), text, QMessageBox::NoButton,
                    owner);
    ShowAsWritten(box);
    // Desktops sort dialog buttons by role (GNOME and macOS put the rejecting
    // one first). Action buttons keep the order they were added in on every
    // desktop, and the default and escape buttons are named explicitly.
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::ActionRole);
    QPushButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::ActionRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == yes;
}

namespace {

// The dialogs answer with the names as they show them.
QStringList RealNames(const QStringList& shown)
{
    QStringList real;
    real.reserve(shown.size());
    for (const QString& name : shown)
        real << ResolveShownPath(name);
    return real;
}

} // namespace

QStringList QtPrompts::RunOpenDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return RealNames(dialog.selectedFiles());
}

QString QtPrompts::BrowseFolder(QWidget* owner, const QString& instruction)
{
    // What QFileDialog::getExistingDirectory does, with a dialog that lets
    // a folder whose name is not UTF-8 be chosen. Qt's dialog has no line
    // for an instruction above its folders, so the instruction is its title.
    RealNameFileDialog dialog(owner, instruction);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return RealNames(dialog.selectedFiles()).value(0);
}

} // namespace orvelle
