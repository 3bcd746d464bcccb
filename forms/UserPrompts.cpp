#include "UserPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

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

QStringList QtPrompts::RunOpenDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString QtPrompts::BrowseFolder(QWidget* owner, const QString& instruction)
{
    return QFileDialog::getExistingDirectory(owner, instruction, QString(),
                                             QFileDialog::ShowDirsOnly);
}

} // namespace orvelle
